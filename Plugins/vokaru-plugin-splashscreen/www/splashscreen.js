// The splash screen (service "SplashScreen"). Include after vokaru.js:
//
//   vokaru.splashscreen.hide();   // with the "AutoHideSplashScreen" preference false
//
// Neither call answers.
vokaru.define('vokaru-plugin-splashscreen/splashscreen', function (require, exports) {
  'use strict';
  exports.show = function () { vokaru.exec(null, null, 'SplashScreen', 'show', []); };
  exports.hide = function () { vokaru.exec(null, null, 'SplashScreen', 'hide', []); };
});
vokaru.splashscreen = vokaru.require('vokaru-plugin-splashscreen/splashscreen');
