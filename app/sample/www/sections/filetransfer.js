// File transfer: downloads a small file (a data URL here, so the sample needs no network; any
// http(s) URL works the same) into the app's documents, with progress events, and reads it back.
sample.section('File transfer', 'Downloads a file into the app\'s documents with the file ' +
    'transfer plugin, counting its progress events, and reads it back.', function () {
  var text = 'Downloaded by the sample app';
  var source = 'data:text/plain;base64,' + btoa(text);
  var events = 0;
  return vokaru.fileTransfer.download(source,
      'vkrfile://localhost/persistent/sample/downloaded.txt',
      { onprogress: function () { events++; } }).then(function (entry) {
    return resolveLocalFileSystemURL(entry.nativeURL).then(function (file) {
      return file.file();
    }).then(function (file) {
      return file.readAsText();
    }).then(function (read) {
      if (read !== text) throw new Error('read back "' + read + '"');
      return 'File transfer downloaded ' + entry.fullPath + ' (' + events +
          ' progress events): "' + read + '"';
    });
  });
});
