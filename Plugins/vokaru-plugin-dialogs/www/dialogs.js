// Native dialogs and the beep (service "Notification"). Include after vokaru.js:
//
//   vokaru.dialogs.confirm('Delete it?', 'Files', ['Delete', 'Keep'])
//     .then(function (button) { ... });   // 1 for 'Delete', 2 for 'Keep'
//
// Dialog functions take optional success and failure callbacks and return a Promise as well.
vokaru.define('vokaru-plugin-dialogs/dialogs', function (require, exports) {
  'use strict';

  function call(action, args, success, fail) {
    return vokaru.call('Notification', action, args, success, fail);
  }

  function orNull(value) { return value === undefined ? null : value; }

  // Answers the button's number (1).
  exports.alert = function (message, title, buttonLabel, success, fail) {
    return call('alert', [orNull(message), orNull(title), orNull(buttonLabel)], success, fail);
  };

  // Answers the number of the button chosen, counting from 1 in the order given.
  exports.confirm = function (message, title, buttonLabels, success, fail) {
    return call('confirm', [orNull(message), orNull(title), orNull(buttonLabels)], success, fail);
  };

  // Answers { buttonIndex: number from 1, input1: the text typed }.
  exports.prompt = function (message, title, buttonLabels, defaultText, success, fail) {
    return call('prompt', [orNull(message), orNull(title), orNull(buttonLabels),
                           orNull(defaultText)], success, fail);
  };

  // Beeps `count` times (once by default); answers nothing.
  exports.beep = function (count) {
    vokaru.exec(null, null, 'Notification', 'beep', [count === undefined ? 1 : count]);
  };
});
vokaru.dialogs = vokaru.require('vokaru-plugin-dialogs/dialogs');
