// The page side of the media capture plugin (service "Capture"). Include after vokaru.js:
//
//   var capture = vokaru.require('vokaru-plugin-media-capture.Capture');
//   capture.captureAudio({ duration: 10 }).then(function (files) { ... });
//
// It is also reachable as navigator.device.capture. Each capture answers an array with one
// media file description ({name, fullPath, localURL, type, size, lastModifiedDate}), or fails
// with {code} (Capture.CAPTURE_*).
vokaru.define('vokaru-plugin-media-capture.Capture', function (require, exports, module) {
  'use strict';

  function call(action, args, success, fail) {
    return vokaru.call('Capture', action, args, success, fail);
  }

  var capture = {
    CAPTURE_INTERNAL_ERR: 0,
    CAPTURE_APPLICATION_BUSY: 1,
    CAPTURE_INVALID_ARGUMENT: 2,
    CAPTURE_NO_MEDIA_FILES: 3,
    CAPTURE_NOT_SUPPORTED: 20,

    // Filled by getMediaModes(): arrays of {type, height, width}, or null where the machine
    // cannot capture that kind.
    supportedImageModes: null,
    supportedVideoModes: null,
    supportedAudioModes: null,

    // options: duration (seconds; 0 or absent records without a limit).
    captureAudio: function (options, success, fail) {
      return call('captureAudio', [options || {}], success, fail);
    },
    captureImage: function (options, success, fail) {
      return call('captureImage', [options || {}], success, fail);
    },
    // options: duration (seconds).
    captureVideo: function (options, success, fail) {
      return call('captureVideo', [options || {}], success, fail);
    },
    // {codecs, bitrate, height, width, duration} of the file at fullPath; the MIME type is found
    // from the file's extension when not given.
    getFormatData: function (fullPath, mimeType, success, fail) {
      var args = mimeType ? [fullPath, mimeType] : [fullPath];
      return call('getFormatData', args, success, fail);
    },
    // Asks native code for the supported modes; it answers through setSupportedModes.
    getMediaModes: function () {
      vokaru.exec(null, null, 'Capture', 'getMediaModes', []);
    },
    // Called by native code.
    setSupportedModes: function (modes) {
      capture.supportedImageModes = modes.image;
      capture.supportedVideoModes = modes.video;
      capture.supportedAudioModes = modes.audio;
    }
  };

  navigator.device = navigator.device || {};
  navigator.device.capture = capture;
  module.exports = capture;
});

// Native code calls navigator.device.capture: make it exist as soon as the module is loaded.
vokaru.require('vokaru-plugin-media-capture.Capture');
