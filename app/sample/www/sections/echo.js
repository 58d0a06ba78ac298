// The app's own Echo plugin answers what the page sends it; opening the app with a URL shows here.
(function () {
  var result = sample.section('Echo', 'The page sends a message to the app\'s Echo plugin, ' +
      'which answers it from native code.', function () {
    var sent = 'Hello from the page, ' + new Date().toISOString();
    return sample.exec('Echo', 'echo', [sent]).then(function (answer) {
      return 'Echo answered: ' + answer;
    });
  });
  window.handleOpenURL = function (url) { sample.show(result, 'Opened with ' + url, 'ok'); };
})();
