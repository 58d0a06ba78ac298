// The splash screen covered the app while it started and faded once this page had loaded.
(function () {
  var result = sample.section('Splash screen', 'The launch image covered the app until this ' +
      'page had loaded, then faded; Show splash brings it back for two seconds.', function () {
    return 'Splash screen: hidden once the page loaded';
  });
  var button = document.createElement('button');
  button.textContent = 'Show splash';
  button.addEventListener('click', function () {
    vokaru.splashscreen.show();
    setTimeout(vokaru.splashscreen.hide, 2000);
  });
  result.parentNode.appendChild(button);
})();
