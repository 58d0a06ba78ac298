// The page side of the Vokaru bridge. Include it before the app's own scripts:
//
//   vokaru.exec(success, fail, 'Service', 'action', [args...]);
//   document.addEventListener('deviceready', function () { ... });
//
// Commands wait in a queue until native code pulls them: a navigation to "vkr://ready" (in a
// hidden frame, never loaded) tells it there are some. Answers come back as calls of
// nativeCallback; scripts native code runs come wrapped in nativeEvalAndFetch. Both hand back
// the commands queued meanwhile, so a command sent from a callback needs no further signal.
(function (global) {
  'use strict';
  if (global.vokaru) return;

  var definitions = {};
  var modules = {};

  function define(id, factory) {
    if (definitions[id]) throw new Error('module ' + id + ' already defined');
    definitions[id] = factory;
  }

  function require(id) {
    if (modules[id]) return modules[id].exports;
    var factory = definitions[id];
    if (!factory) throw new Error('module ' + id + ' not found');
    var module = { id: id, exports: {} };
    modules[id] = module;
    factory(require, module.exports, module);
    return module.exports;
  }

  // Document events. "deviceready" is sticky: a listener added after it fired runs at once.
  var stickyFired = {};
  var addDocumentListener = document.addEventListener;
  document.addEventListener = function (type, listener, options) {
    if (stickyFired[type] && typeof listener === 'function') {
      listener.call(document, stickyFired[type]);
      return;
    }
    return addDocumentListener.call(document, type, listener, options);
  };

  function makeEvent(type, data) {
    var event = document.createEvent('Events');
    event.initEvent(type, false, false);
    if (data) {
      for (var key in data) {
        if (Object.prototype.hasOwnProperty.call(data, key)) event[key] = data[key];
      }
    }
    return event;
  }

  // Events fire in the order native code sends them. One sent with `now` set fires before the
  // call returns (native code waits for its listeners); the others may wait for a later turn.
  var waitingEvents = [];
  function dispatchWaitingEvents() {
    while (waitingEvents.length) document.dispatchEvent(waitingEvents.shift());
  }
  function fireDocumentEvent(type, data, now) {
    waitingEvents.push(makeEvent(type, data));
    if (now) {
      dispatchWaitingEvents();
    } else if (waitingEvents.length === 1) {
      setTimeout(dispatchWaitingEvents, 0);
    }
  }

  function fireStickyDocumentEvent(type) {
    var event = makeEvent(type);
    stickyFired[type] = event;
    document.dispatchEvent(event);
  }

  define('vokaru/base64', function (require, exports) {
    exports.fromArrayBuffer = function (buffer) {
      var bytes = new Uint8Array(buffer);
      var text = '';
      for (var i = 0; i < bytes.length; i += 0x8000) {
        text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      }
      return btoa(text);
    };
    exports.toArrayBuffer = function (base64) {
      var text = atob(base64);
      var bytes = new Uint8Array(text.length);
      for (var i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
      return bytes.buffer;
    };
  });

  define('vokaru/exec', function (require, exports) {
    var base64 = require('vokaru/base64');
    var status = {
      NO_RESULT: 0, OK: 1, CLASS_NOT_FOUND: 2, ILLEGAL_ACCESS: 3, INSTANTIATION_ERROR: 4,
      MALFORMED_URL: 5, IO_ERROR: 6, INVALID_ACTION: 7, JSON_ERROR: 8, ERROR: 9
    };
    var queue = [];       // JSON texts of the commands native code has not pulled yet
    var callbacks = {};   // callback id -> {success, fail}
    var nextCallbackId = Math.floor(Math.random() * 1000000000);
    var nativeCalls = 0;  // > 0 while native code runs script here: commands go back with it
    var signalFrame = null;

    function encodeArgument(argument) {
      if (argument instanceof ArrayBuffer) {
        return { VKRType: 'ArrayBuffer', data: base64.fromArrayBuffer(argument) };
      }
      if (ArrayBuffer.isView(argument)) {
        var view = new Uint8Array(argument.buffer, argument.byteOffset, argument.byteLength);
        return { VKRType: 'ArrayBuffer', data: base64.fromArrayBuffer(view.slice().buffer) };
      }
      return argument;
    }

    function decodeMessage(message) {
      if (message && message.VKRType === 'ArrayBuffer') {
        return [base64.toArrayBuffer(message.data)];
      }
      if (message && message.VKRType === 'MultiPart') {
        return message.messages.map(function (part) { return decodeMessage(part)[0]; });
      }
      return [message];
    }

    function signal() {
      if (!signalFrame || !signalFrame.parentNode) {
        signalFrame = document.createElement('iframe');
        signalFrame.style.display = 'none';
        (document.body || document.documentElement).appendChild(signalFrame);
      }
      signalFrame.src = 'vkr://ready';
    }

    // Queues a command for the service's action; success or fail runs with the answer.
    function exec(success, fail, service, action, args) {
      var callbackId = null;
      if (typeof success === 'function' || typeof fail === 'function') {
        callbackId = service + nextCallbackId++;
        callbacks[callbackId] = { success: success, fail: fail };
      }
      var encoded = (args || []).map(encodeArgument);
      queue.push(JSON.stringify([callbackId, service, action, encoded]));
      if (queue.length === 1 && nativeCalls === 0) signal();
    }

    function runForNative(work) {
      nativeCalls++;
      try {
        work();
      } catch (e) {
        console.log('Error in a native call: ' + e);
      } finally {
        nativeCalls--;
      }
      return exports.nativeFetchMessages();
    }

    exports.exec = exec;
    exports.status = status;

    // As exec, for an action that answers once and then again on every change (a watcher): once
    // its first answer has come, its callback no longer counts as awaited.
    exports.listen = function (success, fail, service, action, args) {
      var before = nextCallbackId;
      exec(success, fail, service, action, args);
      var callback = callbacks[service + before];
      if (callback) callback.listener = true;
    };

    // The queued commands as one JSON array text ('' when there are none); the queue empties.
    exports.nativeFetchMessages = function () {
      if (queue.length === 0) return '';
      var batch = '[' + queue.join(',') + ']';
      queue = [];
      return batch;
    };

    exports.nativeCallback = function (callbackId, resultStatus, message, keepCallback) {
      return runForNative(function () {
        var callback = callbacks[callbackId];
        if (!callback) return;
        if (!keepCallback) delete callbacks[callbackId];
        callback.answered = true;
        if (resultStatus === status.OK) {
          if (callback.success) callback.success.apply(null, decodeMessage(message));
        } else if (resultStatus !== status.NO_RESULT) {
          if (callback.fail) callback.fail.apply(null, decodeMessage(message));
        }
      });
    };

    exports.nativeEvalAndFetch = function (script) {
      return runForNative(script);
    };

    // Work that waits on native events rather than on one answer (a sound playing to its end)
    // counts as awaited until its Promise settles; it gives back the same Promise.
    var awaitedWork = 0;
    exports.awaiting = function (promise) {
      awaitedWork++;
      var settle = function () { awaitedWork--; };
      promise.then(settle, settle);
      return promise;
    };

    // Whether answers are still awaited: callbacks kept for later results count too.
    exports.pendingCallbacks = function () {
      return awaitedWork + Object.keys(callbacks).filter(function (id) {
        return !(callbacks[id].listener && callbacks[id].answered);
      }).length;
    };
  });

  // What plugin modules build on. answer() hands the outcome of a Promise to success(value) or
  // fail(reason) (either may be absent) and gives a Promise of the same; a page that handles
  // errors through `fail` need not also catch the Promise.
  function answer(promise, success, fail) {
    var both = promise.then(function (value) {
      if (typeof success === 'function') success(value);
      return value;
    }, function (reason) {
      if (typeof fail === 'function') fail(reason);
      throw reason;
    });
    if (typeof fail === 'function') both.catch(function () {});
    return both;
  }

  // Runs the service's action and answers as answer() does. `toValue` and `toReason` (optional)
  // turn the native answer and error into what the page gets.
  function call(service, action, args, success, fail, toValue, toReason) {
    var outcome = new Promise(function (resolve, reject) {
      require('vokaru/exec').exec(function (message) {
        resolve(toValue ? toValue(message) : message);
      }, function (error) {
        reject(toReason ? toReason(error) : error);
      }, service, action, args);
    });
    return answer(outcome, success, fail);
  }

  global.vokaru = {
    define: define,
    require: require,
    exec: function () { return require('vokaru/exec').exec.apply(null, arguments); },
    call: call,
    answer: answer,
    fireDocumentEvent: fireDocumentEvent
  };

  if (document.readyState === 'loading') {
    addDocumentListener.call(document, 'DOMContentLoaded', function () {
      fireStickyDocumentEvent('deviceready');
    });
  } else {
    fireStickyDocumentEvent('deviceready');
  }
})(window);
