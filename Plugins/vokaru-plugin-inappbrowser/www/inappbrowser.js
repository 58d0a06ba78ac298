// The in-app browser, page side. Include it after vokaru.js; config.xml maps the service
// "InAppBrowser" to the native plugin (its answers reach only callback ids of that service).
//
//   var iab = vokaru.require('vokaru-plugin-inappbrowser.inappbrowser');
//   iab.open('https://example.org/', '_blank', 'location=no', function (event) { ... })
//     .then(function () { return iab.executeScript('document.title'); })
//     .then(function (values) { ... });
//
// Every function answers a Promise; the ones that take a callback call it as well.
vokaru.define('vokaru-plugin-inappbrowser.inappbrowser', function (require, exports) {
  var SERVICE = 'InAppBrowser';

  function call(action, args, callback) {
    return new Promise(function (resolve, reject) {
      vokaru.exec(function (value) {
        if (callback) callback(value);
        resolve(value);
      }, function (error) {
        reject(error instanceof Error ? error : new Error(String(error)));
      }, SERVICE, action, args);
    });
  }

  // Opens the URL: target '_self' (the app's own web view), '_system' (another program) or any
  // other name (the browser window); `options` is the "key=value,..." text. The Promise settles
  // with the native answer; then `onEvent` receives {type: 'loadstart'|'loadstop'|'loaderror'|
  // 'exit', url, code, message} for the window's life.
  exports.open = function (url, target, options, onEvent) {
    return new Promise(function (resolve, reject) {
      vokaru.exec(function (event) {
        if (event && event.type) {
          if (onEvent) onEvent(event);
        } else {
          resolve();
        }
      }, function (error) {
        if (error && error.type) {
          if (onEvent) onEvent(error);
        } else {
          reject(new Error(String(error)));
        }
      }, SERVICE, 'open', [url, target || '_self', options || '']);
    });
  };

  // Shows a window opened with hidden=yes; closes the window (an 'exit' event follows).
  exports.show = function () { vokaru.exec(null, null, SERVICE, 'show', []); };
  exports.close = function () { vokaru.exec(null, null, SERVICE, 'close', []); };

  // Runs script in the window's page; the Promise gets an array holding its value.
  exports.executeScript = function (code, callback) {
    return call('injectScriptCode', [code], callback);
  };
  // Adds a script file, or style sheet text or file; the Promise settles once it has loaded.
  exports.injectScriptFile = function (url, callback) {
    return call('injectScriptFile', [url], callback);
  };
  exports.insertCSS = function (css, callback) {
    return call('injectStyleCode', [css], callback);
  };
  exports.insertCSSFile = function (url, callback) {
    return call('injectStyleFile', [url], callback);
  };
});
