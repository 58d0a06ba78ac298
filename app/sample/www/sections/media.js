// The media plugin plays a sound bundled with the app, records a few seconds and plays them back.
(function () {
  var Media = vokaru.require('vokaru-plugin-media.Media');

  // Starts `media` with `start` and settles once it stops (or fails with {code, message}).
  function untilStopped(media, start) {
    return new Promise(function (resolve, reject) {
      media.statusCallback = function (state) {
        if (state === Media.MEDIA_STOPPED) resolve();
      };
      media.errorCallback = function (error) {
        reject(new Error(error.message || 'media error ' + error.code));
      };
      start();
    });
  }

  function playAndRelease(media) {
    return untilStopped(media, function () { media.play(); }).then(function () {
      var seconds = media.getDuration();
      media.release();
      return seconds;
    }, function (error) {
      media.release();
      throw error;
    });
  }

  sample.section('Media', 'The page plays a sound bundled with the app, records three seconds ' +
      'from the microphone and plays them back.', function () {
    var played;
    return playAndRelease(new Media('sounds/beep.wav')).then(function (seconds) {
      played = 'played the bundled sound (' + seconds.toFixed(2) + ' s)';
      var recording = new Media('sample-recording.wav');
      return untilStopped(recording, function () {
        recording.startRecord();
        setTimeout(function () { recording.stopRecord(); }, 3000);
      }).then(function () {
        recording.release();
        return playAndRelease(new Media('sample-recording.wav'));
      }, function (error) {
        recording.release();
        return Promise.reject(new Error(played + ', but could not record: ' + error.message));
      });
    }).then(function (seconds) {
      return 'Media ' + played + ', recorded and played back ' + seconds.toFixed(1) + ' s';
    }, function (error) {
      throw played ? error : new Error('could not play the bundled sound: ' + error.message);
    });
  });
})();
