// Pictures: the camera's answer on this desktop, and a picture picked from the photo library.
(function () {
  var camera = vokaru.camera;
  var result = sample.section('Camera', 'Asks for a camera picture (the desktop has no camera), ' +
      'then lets you pick a picture from the photo library, scaled to fit 320 x 320.', function () {
    return camera.getPicture({ sourceType: camera.PictureSourceType.CAMERA }).then(function () {
      return 'Camera: took a picture';
    }, function (error) {
      return 'Camera answered: ' + error;
    });
  });
  var button = document.createElement('button');
  button.textContent = 'Pick a picture';
  var picture = document.createElement('img');
  button.addEventListener('click', function () {
    camera.getPicture({ sourceType: camera.PictureSourceType.PHOTOLIBRARY,
                        destinationType: camera.DestinationType.DATA_URL,
                        targetWidth: 320, targetHeight: 320, correctOrientation: true })
      .then(function (base64) {
        picture.src = 'data:image/jpeg;base64,' + base64;
        sample.show(result, 'Camera: picked a picture', 'ok');
      }, function (error) {
        sample.show(result, 'Camera answered: ' + error, 'failed');
      });
  });
  result.parentNode.appendChild(button);
  result.parentNode.appendChild(picture);
})();
