// Network information: the connection type, and each change of it as it happens; and a button
// that asks for a vibration (accepted without effect on a desktop, which has no vibrator).
(function () {
  var result = sample.section('Network', 'Shows the connection type and its changes; Vibrate ' +
      'asks the device to vibrate (a desktop has none).', function () {
    return vokaru.network.getInfo().then(function (type) {
      return 'Network connection type: ' + type;
    });
  });
  vokaru.network.onchange = function (type) {
    sample.show(result, 'Network connection type changed to: ' + type, 'ok');
  };
  var button = document.createElement('button');
  button.textContent = 'Vibrate';
  button.addEventListener('click', function () { vokaru.vibration.vibrate(); });
  result.parentNode.appendChild(button);
})();
