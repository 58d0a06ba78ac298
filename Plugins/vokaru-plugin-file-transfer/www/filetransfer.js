// File transfers (service "FileTransfer"). Include after vokaru.js:
//
//   var transfers = vokaru.fileTransfer;
//   transfers.download('https://example.org/a.pdf', 'vkrfile://localhost/persistent/a.pdf',
//                      { onprogress: function (e) { ... } })
//     .then(function (entry) { ... });                 // the file plugin's entry of the file
//   transfers.upload('vkrfile://localhost/persistent/photo.jpg', 'https://example.org/up',
//                    { fileKey: 'photo', params: { album: 'x' } })
//     .then(function (result) { ... });                // {responseCode, response, headers, bytesSent}
//   transfers.abort(id);
//
// Each transfer takes optional success and failure callbacks and returns a Promise as well; the
// Promise's `id` (or options.id) names the transfer for abort(). Failures are
// FileTransferError objects: {code, source, target, http_status, body}.
vokaru.define('vokaru-plugin-file-transfer/filetransfer', function (require, exports) {
  'use strict';

  var counter = 0;

  function FileTransferError(answer) {
    answer = answer || {};
    this.code = answer.code === undefined ? null : answer.code;
    this.source = answer.source === undefined ? null : answer.source;
    this.target = answer.target === undefined ? null : answer.target;
    this.http_status = answer.http_status === undefined ? null : answer.http_status;
    this.body = answer.body === undefined ? null : answer.body;
  }
  FileTransferError.FILE_NOT_FOUND_ERR = 1;
  FileTransferError.INVALID_URL_ERR = 2;
  FileTransferError.CONNECTION_ERR = 3;
  FileTransferError.ABORT_ERR = 4;
  FileTransferError.NOT_MODIFIED_ERR = 5;

  function isProgress(message) {
    return message !== null && typeof message === 'object' &&
        typeof message.lengthComputable === 'boolean' && 'loaded' in message;
  }

  function orNull(value) { return value === undefined ? null : value; }

  // Runs the action; progress events go to onprogress, the last answer settles the Promise.
  function transfer(action, args, id, options, success, fail) {
    var outcome = new Promise(function (resolve, reject) {
      vokaru.exec(function (message) {
        if (isProgress(message)) {
          if (typeof options.onprogress === 'function') options.onprogress(message);
        } else {
          resolve(message);
        }
      }, function (error) {
        reject(new FileTransferError(error));
      }, 'FileTransfer', action, args);
    });
    var answered = vokaru.answer(outcome, success, fail);
    answered.id = id;
    return answered;
  }

  function idOf(options) {
    return options.id === undefined ? 'transfer-' + Date.now() + '-' + (++counter) : options.id;
  }

  // Sends the file at `source` ("vkrfile:" or "file:" URL, device path or base64 "data:" URL)
  // to `server`. Options: fileKey ("file"), fileName ("image.jpg"), mimeType ("image/jpeg"),
  // params (form fields; "__cookie" sets the Cookie header), headers (a "Content-Type" among
  // them sends the file alone instead of a form), chunkedMode (true), httpMethod ("POST"),
  // trustAllHosts (false), id, onprogress.
  exports.upload = function (source, server, options, success, fail) {
    options = options || {};
    var id = idOf(options);
    return transfer('upload', [source, server, orNull(options.fileKey), orNull(options.fileName),
                               orNull(options.mimeType), orNull(options.params),
                               !!options.trustAllHosts,
                               options.chunkedMode === undefined ? true : !!options.chunkedMode,
                               orNull(options.headers), id, orNull(options.httpMethod)],
                    id, options, success, fail);
  };

  // Fetches `source` into `target` ("vkrfile:" or "file:" URL, or a device path). Options:
  // headers, trustAllHosts (false), id, onprogress.
  exports.download = function (source, target, options, success, fail) {
    options = options || {};
    var id = idOf(options);
    return transfer('download', [source, target, !!options.trustAllHosts, id,
                                 orNull(options.headers)],
                    id, options, success, fail);
  };

  // Stops the transfer; it fails with ABORT_ERR. Unknown ids are ignored.
  exports.abort = function (id) {
    vokaru.exec(null, null, 'FileTransfer', 'abort', [id]);
  };

  exports.FileTransferError = FileTransferError;
});
vokaru.fileTransfer = vokaru.require('vokaru-plugin-file-transfer/filetransfer');
