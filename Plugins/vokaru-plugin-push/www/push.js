// Push notifications (service "PushNotification", docs/plugins/push.md). Include after vokaru.js:
//
//   var push = PushNotification.init({ ios: { alert: true, badge: true, senderID: '...' } });
//   push.on('registration', function (data) { data.registrationId; });
//   push.on('notification', function (data) { data.message, data.additionalData, ... });
//   push.on('error', function (error) { error.message; });
//   push.registration.then(function (data) { ... });   // the first registration
//   push.setApplicationIconBadgeNumber(success, fail, 3);
//   push.getApplicationIconBadgeNumber(success, fail);  // also a Promise of the number
//   push.finish(success, fail, data.additionalData.notId);
//   push.unregister(success, fail, ['news']);           // topics; none unregisters the app
//   PushNotification.hasPermission(success, fail);      // {isEnabled: true|false}
//
// Every function takes optional success and error callbacks and returns a Promise as well.
vokaru.define('vokaru-plugin-push/push', function (require, exports) {
  'use strict';

  var SERVICE = 'PushNotification';
  var exec = require('vokaru/exec');

  function Push(options) {
    var self = this;
    this.handlers = { registration: [], notification: [], error: [] };
    this.registration = new Promise(function (resolve, reject) {
      self.settleRegistration = { resolve: resolve, reject: reject };
    });
    this.registration.catch(function () {});
    exec.listen(this.route.bind(this), this.fail.bind(this), SERVICE, 'init', [options || {}]);
  }

  // Adds a handler for 'registration', 'notification' or 'error'.
  Push.prototype.on = function (event, handler) {
    if (this.handlers[event] && typeof handler === 'function') this.handlers[event].push(handler);
    return this;
  };

  Push.prototype.off = function (event, handler) {
    var list = this.handlers[event] || [];
    var index = list.indexOf(handler);
    if (index >= 0) list.splice(index, 1);
    return this;
  };

  Push.prototype.emit = function (event, value) {
    this.handlers[event].slice().forEach(function (handler) { handler(value); });
  };

  // What the kept callback receives: a registration, or a notification.
  Push.prototype.route = function (message) {
    if (message && typeof message.registrationId === 'string') {
      this.settleRegistration.resolve(message);
      this.emit('registration', message);
    } else if (message && typeof message === 'object') {
      this.emit('notification', message);
    }
  };

  Push.prototype.fail = function (message) {
    var error = new Error(typeof message === 'string' ? message : 'push registration failed');
    this.settleRegistration.reject(error);
    this.emit('error', error);
  };

  // Without topics the app unregisters from notifications (answer: "unregistered"); with a list
  // of topic names it leaves those topics and the plugin answers nothing, so the Promise settles
  // at once. Later registrations and notifications come here as well.
  Push.prototype.unregister = function (success, fail, topics) {
    if (Array.isArray(topics) && topics.length > 0) {
      exec.exec(this.route.bind(this), this.fail.bind(this), SERVICE, 'unregister', [topics]);
      return vokaru.answer(Promise.resolve(), success, fail);
    }
    return vokaru.call(SERVICE, 'unregister', [], success, fail);
  };

  Push.prototype.setApplicationIconBadgeNumber = function (success, fail, count) {
    return vokaru.call(SERVICE, 'setApplicationIconBadgeNumber', [{ badge: count }], success, fail);
  };

  Push.prototype.getApplicationIconBadgeNumber = function (success, fail) {
    return vokaru.call(SERVICE, 'getApplicationIconBadgeNumber', [], success, fail);
  };

  // Tells the app the page is done with a notification that came in the background: `id` is its
  // additionalData.notId, or absent for one without.
  Push.prototype.finish = function (success, fail, id) {
    return vokaru.call(SERVICE, 'finish', [id === undefined ? 'handler' : id], success, fail);
  };

  // Registers (see docs/plugins/push.md for the options) and answers the object that hears the
  // outcome and every notification.
  exports.init = function (options) { return new Push(options); };

  exports.hasPermission = function (success, fail) {
    return vokaru.call(SERVICE, 'hasPermission', [], success, fail);
  };
});
window.PushNotification = vokaru.require('vokaru-plugin-push/push');
