// Push notifications: registers, shows the registration id and every notification that arrives,
// sets the badge and reads it back. Without a sender id the registration id is the device token;
// with one (typed below and kept in the page's storage; point VOKARU_IID_BASE_URL at a local
// identity service) the app registers with the identity service and starts the messaging service.
(function () {
  var stored = window.localStorage ? localStorage.getItem('sample.push.senderID') || '' : '';
  var push = null;
  var result = sample.section('Push', 'Registers for notifications, shows the registration id ' +
      'and what arrives, and sets the badge.', function () {
    push = PushNotification.init({ ios: { alert: true, badge: true, sound: true,
                                          senderID: stored } });
    push.on('notification', function (data) {
      var text = data.message || JSON.stringify(data.additionalData);
      sample.show(result, 'Push notification: ' + text, 'ok');
      if (!data.additionalData.foreground) push.finish(null, null, data.additionalData.notId);
    });
    return push.registration.then(function (data) {
      return push.setApplicationIconBadgeNumber(null, null, 3).then(function () {
        return push.getApplicationIconBadgeNumber();
      }).then(function (badge) {
        return PushNotification.hasPermission().then(function (permission) {
          return 'Push registered' + (stored ? ' for sender ' + stored : '') + ': ' +
              data.registrationId.slice(0, 16) + '… (badge ' + badge + ', notifications ' +
              (permission.isEnabled ? 'enabled' : 'disabled') + ')';
        });
      });
    });
  });
  var form = document.createElement('form');
  var input = document.createElement('input');
  input.placeholder = 'sender id (empty: the device token)';
  input.value = stored;
  var button = document.createElement('button');
  button.textContent = 'Register again';
  form.appendChild(input);
  form.appendChild(button);
  form.addEventListener('submit', function (event) {
    event.preventDefault();
    if (window.localStorage) localStorage.setItem('sample.push.senderID', input.value);
    location.reload();
  });
  result.parentNode.appendChild(form);
})();
