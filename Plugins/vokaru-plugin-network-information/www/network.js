// Network information (service "NetworkStatus"). Include after vokaru.js:
//
//   vokaru.network.type;                           // "wifi", "none", ... ("unknown" at first)
//   vokaru.network.getInfo().then(function (type) { ... });
//   document.addEventListener('offline', ...); document.addEventListener('online', ...);
//   vokaru.network.onchange = function (type) { ... };
//
// The module asks for the connection type once the bridge is ready and then hears every change:
// it keeps `type` current, calls `onchange`, and fires "offline" when the type becomes "none"
// and "online" when it leaves "none".
vokaru.define('vokaru-plugin-network-information/network', function (require, exports) {
  'use strict';

  exports.type = 'unknown';
  exports.onchange = null;
  var waiting = [];
  var known = false;

  function changed(type) {
    var before = exports.type;
    exports.type = type;
    var first = !known;
    known = true;
    waiting.splice(0).forEach(function (resolve) { resolve(type); });
    if (first || before === type) return;
    if (typeof exports.onchange === 'function') exports.onchange(type);
    if (type === 'none') vokaru.fireDocumentEvent('offline');
    else if (before === 'none') vokaru.fireDocumentEvent('online');
  }

  // The current type, once it is known.
  exports.getInfo = function (success, fail) {
    var type = known ? Promise.resolve(exports.type)
                     : new Promise(function (resolve) { waiting.push(resolve); });
    return vokaru.answer(type, success, fail);
  };

  // Connection types, as the plugin names them.
  exports.Connection = {
    UNKNOWN: 'unknown', WIFI: 'wifi', CELL_2G: '2g', CELL_3G: '3g',
    CELL_4G: '4g', CELL: 'cellular', NONE: 'none'
  };

  require('vokaru/exec').listen(changed, null, 'NetworkStatus', 'getConnectionInfo', []);
});
vokaru.network = vokaru.require('vokaru-plugin-network-information/network');
