// Vibration (service "Vibration"). Include after vokaru.js:
//
//   vokaru.vibration.vibrate();
//
// Every call asks for the platform's one vibration; a duration or pattern has no effect. A Linux
// desktop has no vibrator: the call is accepted and nothing happens. There is no answer.
vokaru.define('vokaru-plugin-vibration/vibration', function (require, exports) {
  'use strict';

  exports.vibrate = function () {
    vokaru.exec(null, null, 'Vibration', 'vibrate', []);
  };
});
vokaru.vibration = vokaru.require('vokaru-plugin-vibration/vibration');
