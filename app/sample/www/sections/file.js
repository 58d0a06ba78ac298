// The file plugin through its page module: writes a note into the app's documents, reads it back
// and lists the folder.
sample.section('File', 'The page writes a note with the file plugin, reads it back and lists ' +
    'the folder it is in.', function () {
  var note = 'Written by the sample app at ' + new Date().toISOString();
  var folder;
  var entry;
  return requestFileSystem(LocalFileSystem.PERSISTENT, 0).then(function (fileSystem) {
    return fileSystem.root.getDirectory('sample', { create: true });
  }).then(function (directory) {
    folder = directory;
    return folder.getFile('note.txt', { create: true });
  }).then(function (file) {
    entry = file;
    return entry.createWriter();
  }).then(function (writer) {
    return writer.write(note);
  }).then(function () {
    return entry.file();
  }).then(function (file) {
    return file.readAsText();
  }).then(function (text) {
    if (text !== note) throw new Error('read back "' + text + '"');
    return folder.createReader().readEntries();
  }).then(function (entries) {
    var names = entries.map(function (item) { return item.name; }).sort();
    return 'File read back "' + note + '"; ' + folder.fullPath + ' holds ' + names.join(', ');
  });
});
