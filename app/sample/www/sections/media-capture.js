// The media capture plugin reads the format of the bundled sound and tells which capture modes
// this machine offers; a button opens the recorder screen.
(function () {
  var capture = vokaru.require('vokaru-plugin-media-capture.Capture');

  function modeText(modes) {
    return modes ? modes.map(function (m) { return m.type; }).join(', ') : 'none';
  }

  var result = sample.section('Media capture', 'The page asks for the format of a bundled ' +
      'sound and for the capture modes of this machine. "Record" opens the recorder screen.',
      function () {
        capture.getMediaModes();
        var sound = location.pathname.replace(/[^/]*$/, '') + 'sounds/beep.wav';
        return capture.getFormatData(decodeURIComponent(sound)).then(function (format) {
          return 'Media capture: the bundled sound lasts ' + format.duration.toFixed(2) +
              ' s at ' + format.bitrate + ' bit/s; picture modes: ' +
              modeText(capture.supportedImageModes) + '; video modes: ' +
              modeText(capture.supportedVideoModes);
        });
      });

  var button = document.createElement('button');
  button.textContent = 'Record';
  button.addEventListener('click', function () {
    capture.captureAudio({ duration: 10 }).then(function (files) {
      sample.show(result, 'Recorded ' + files[0].name + ' (' + files[0].size + ' bytes)', 'ok');
    }, function (error) {
      var why = error.code === capture.CAPTURE_NOT_SUPPORTED ?
          'this machine has no microphone' : 'error ' + error.code;
      sample.show(result, 'Nothing recorded: ' + why, 'failed');
    });
  });
  result.parentNode.appendChild(button);
})();
