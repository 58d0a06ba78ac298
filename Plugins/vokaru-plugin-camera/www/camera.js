// Pictures from the photo library (service "Camera"). Include after vokaru.js:
//
//   vokaru.camera.getPicture({ sourceType: vokaru.camera.PictureSourceType.PHOTOLIBRARY,
//                              destinationType: vokaru.camera.DestinationType.DATA_URL })
//     .then(function (base64) { ... });
//
// Each function takes optional success and failure callbacks and returns a Promise as well.
vokaru.define('vokaru-plugin-camera/camera', function (require, exports) {
  'use strict';

  function call(action, args, success, fail) {
    return vokaru.call('Camera', action, args, success, fail);
  }

  exports.DestinationType = { DATA_URL: 0, FILE_URI: 1, NATIVE_URI: 2 };
  exports.EncodingType = { JPEG: 0, PNG: 1 };
  exports.MediaType = { PICTURE: 0, VIDEO: 1, ALLMEDIA: 2 };
  exports.PictureSourceType = { PHOTOLIBRARY: 0, CAMERA: 1, SAVEDPHOTOALBUM: 2 };
  exports.Direction = { BACK: 0, FRONT: 1 };

  // Options: quality, destinationType, sourceType, targetWidth, targetHeight, encodingType,
  // mediaType, allowEdit, correctOrientation, saveToPhotoAlbum, popoverOptions, cameraDirection.
  // Absent ones take the native defaults.
  exports.getPicture = function (options, success, fail) {
    var o = options || {};
    var args = [o.quality, o.destinationType, o.sourceType, o.targetWidth, o.targetHeight,
                o.encodingType, o.mediaType, o.allowEdit, o.correctOrientation, o.saveToPhotoAlbum,
                o.popoverOptions, o.cameraDirection];
    args = args.map(function (value) { return value === undefined ? null : value; });
    return call('takePicture', args, success, fail);
  };

  // Removes the temporary pictures that getPicture wrote.
  exports.cleanup = function (success, fail) {
    return call('cleanup', [], success, fail);
  };
});
vokaru.camera = vokaru.require('vokaru-plugin-camera/camera');
