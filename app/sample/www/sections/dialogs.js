// Native dialogs: an alert, a confirm and a prompt, one after the other, and a beep.
(function () {
  var dialogs = vokaru.dialogs;
  var result = sample.section('Dialogs', 'Shows native alert, confirm and prompt dialogs and ' +
      'answers what was chosen; Beep plays the app\'s beep twice.', function () {
    return 'Dialogs: press Show dialogs';
  });
  function button(title, onClick) {
    var element = document.createElement('button');
    element.textContent = title;
    element.addEventListener('click', onClick);
    result.parentNode.appendChild(element);
  }
  button('Show dialogs', function () {
    var answers = [];
    dialogs.alert('This is a native alert.', 'Dialogs', 'Next').then(function (button) {
      answers.push('alert ' + button);
      return dialogs.confirm('Go on to the prompt?', 'Dialogs', ['Yes', 'No']);
    }).then(function (button) {
      answers.push('confirm ' + button);
      return dialogs.prompt('Your name?', 'Dialogs', ['OK', 'Cancel'], 'Ada');
    }).then(function (answer) {
      answers.push('prompt ' + answer.buttonIndex + ' "' + answer.input1 + '"');
      sample.show(result, 'Dialogs answered: ' + answers.join(', '), 'ok');
    });
  });
  button('Beep', function () { dialogs.beep(2); });
})();
