// The sample app's frame: each section asks a plugin for something once the bridge is ready,
// shows the answer and writes it to the console, where `vokaru --quit-after-load` prints it.
var sample = (function () {
  function show(element, text, kind) {
    element.textContent = text;
    element.className = 'result ' + kind;
    console.log(text);
  }

  // Adds a section titled `title`. `run` returns the text to show, or a Promise of it; a thrown
  // error or a rejected Promise shows as "<title> failed: <reason>".
  function section(title, description, run) {
    var element = document.createElement('section');
    var heading = document.createElement('h2');
    heading.textContent = title;
    var about = document.createElement('p');
    about.textContent = description;
    var result = document.createElement('p');
    result.textContent = title + ': waiting for the answer…';
    result.className = 'result pending';
    element.appendChild(heading);
    element.appendChild(about);
    element.appendChild(result);
    document.getElementById('sections').appendChild(element);
    document.addEventListener('deviceready', function () {
      vokaru.require('vokaru/exec').awaiting(Promise.resolve().then(run)).then(function (text) {
        show(result, text, 'ok');
      }, function (error) {
        var reason = error && error.message ? error.message : JSON.stringify(error);
        show(result, title + ' failed: ' + reason, 'failed');
      });
    });
    return result;
  }

  // vokaru.exec as a Promise.
  function exec(service, action, args) {
    return new Promise(function (resolve, reject) {
      vokaru.exec(resolve, reject, service, action, args || []);
    });
  }

  return { section: section, exec: exec, show: show };
})();

document.addEventListener('pause', function () { console.log('The app went to the background'); });
document.addEventListener('resume', function () { console.log('The app came back'); });
