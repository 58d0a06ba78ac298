// The in-app browser opens a page of the app in its window, runs a script there and closes again.
(function () {
  var iab = vokaru.require('vokaru-plugin-inappbrowser.inappbrowser');
  sample.section('In-app browser', 'The page opens one of its own pages in the browser window, ' +
      'runs a script in it, shows what the script answered and closes the window.', function () {
    return new Promise(function (resolve, reject) {
      var seen = [];
      iab.open('sections/inappbrowser-page.html', '_blank', '', function (event) {
        seen.push(event.type);
        if (event.type === 'loadstop') {
          iab.executeScript('document.title').then(function (values) {
            iab.close();
            resolve('The browser window showed "' + values[0] + '" (' + seen.join(', ') + ')');
          }, reject);
        } else if (event.type === 'loaderror') {
          iab.close();
          reject(new Error(event.message));
        }
      }).catch(reject);
    });
  });
})();
