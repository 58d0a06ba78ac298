// The page side of the media plugin (service "Media"): a Media object plays or records one
// sound. Include after vokaru.js:
//
//   var Media = vokaru.require('vokaru-plugin-media.Media');
//   var beep = new Media('sounds/beep.wav', onEnd, onError, onStatus);
//   beep.play();
//
// Native code reports states, durations, positions and errors through Media.onStatus.
vokaru.define('vokaru-plugin-media.Media', function (require, exports, module) {
  'use strict';

  var objects = {};
  var counter = 0;

  // Actions answered through onStatus pass no callbacks, so that none waits for an answer.
  function exec(success, fail, action, args) {
    vokaru.exec(success || null, fail || null, 'Media', action, args);
  }

  // A sound at `src` (a web-folder path, "documents://…", a "vkrfile:" URL or an http(s) URL).
  // successCallback runs when playing or recording ends; errorCallback gets {code, message};
  // statusCallback gets each new state (Media.MEDIA_*).
  function Media(src, successCallback, errorCallback, statusCallback) {
    this.id = 'media-' + Date.now() + '-' + (++counter);
    this.src = src;
    this.successCallback = successCallback;
    this.errorCallback = errorCallback;
    this.statusCallback = statusCallback;
    this._duration = -1;
    this._position = -1;
    this._state = Media.MEDIA_NONE;
    objects[this.id] = this;
    exec(function () {}, null, 'create', [this.id, this.src]);
  }

  Media.MEDIA_STATE = 1;
  Media.MEDIA_DURATION = 2;
  Media.MEDIA_POSITION = 3;
  Media.MEDIA_ERROR = 9;

  Media.MEDIA_NONE = 0;
  Media.MEDIA_STARTING = 1;
  Media.MEDIA_RUNNING = 2;
  Media.MEDIA_PAUSED = 3;
  Media.MEDIA_STOPPED = 4;

  Media.MEDIA_ERR_ABORTED = 1;
  Media.MEDIA_ERR_DECODE = 3;
  Media.MEDIA_ERR_NONE_SUPPORTED = 4;

  Media.get = function (id) { return objects[id]; };

  // options: playAudioWhenScreenIsLocked (boolean), numberOfLoops (integer).
  Media.prototype.play = function (options) {
    exec(null, null, 'startPlayingAudio', [this.id, this.src, options || {}]);
  };
  Media.prototype.pause = function () { exec(null, null, 'pausePlayingAudio', [this.id]); };
  Media.prototype.stop = function () { exec(null, null, 'stopPlayingAudio', [this.id]); };
  Media.prototype.seekTo = function (milliseconds) {
    exec(null, null, 'seekToAudio', [this.id, milliseconds]);
  };
  Media.prototype.setVolume = function (volume) { exec(null, null, 'setVolume', [this.id, volume]); };
  Media.prototype.setRate = function (rate) { exec(null, null, 'setRate', [this.id, rate]); };
  Media.prototype.getDuration = function () { return this._duration; };

  // The position in seconds (-1 while not playing), to the callback and as a Promise.
  Media.prototype.getCurrentPosition = function (success, fail) {
    var self = this;
    return new Promise(function (resolve, reject) {
      exec(function (position) {
        self._position = position;
        if (success) success(position);
        resolve(position);
      }, function (error) {
        if (fail) fail(error);
        reject(error);
      }, 'getCurrentPositionAudio', [self.id]);
    });
  };

  // Records into `src`, which must end in ".wav".
  Media.prototype.startRecord = function () {
    exec(null, null, 'startRecordingAudio', [this.id, this.src]);
  };
  Media.prototype.stopRecord = function () { exec(null, null, 'stopRecordingAudio', [this.id]); };

  Media.prototype.release = function () {
    exec(null, null, 'release', [this.id]);
    delete objects[this.id];
  };

  // Called by native code with the media id, a message type and its value.
  Media.onStatus = function (id, type, value) {
    var media = objects[id];
    if (!media) return;
    if (type === Media.MEDIA_STATE) {
      media._state = value;
      if (value === Media.MEDIA_STOPPED && media.successCallback) media.successCallback();
      if (media.statusCallback) media.statusCallback(value);
    } else if (type === Media.MEDIA_DURATION) {
      media._duration = value;
    } else if (type === Media.MEDIA_POSITION) {
      media._position = value;
    } else if (type === Media.MEDIA_ERROR) {
      if (media.errorCallback) media.errorCallback(value);
    }
  };

  module.exports = Media;
});
