// The file plugin's page side: window.requestFileSystem, window.resolveLocalFileSystemURL and the
// entries they give. Include it after vokaru.js. Every operation is one action of the "File"
// service (docs/plugins/file.md): it takes success and error callbacks (both optional) and
// returns a Promise as well. Errors are FileError objects carrying the plugin's error code.
(function (global) {
  'use strict';
  if (global.resolveLocalFileSystemURL) return;

  var LocalFileSystem = { TEMPORARY: 0, PERSISTENT: 1 };

  var errorNames = {
    1: 'NOT_FOUND_ERR', 2: 'SECURITY_ERR', 3: 'ABORT_ERR', 4: 'NOT_READABLE_ERR',
    5: 'ENCODING_ERR', 6: 'NO_MODIFICATION_ALLOWED_ERR', 7: 'INVALID_STATE_ERR',
    8: 'SYNTAX_ERR', 9: 'INVALID_MODIFICATION_ERR', 10: 'QUOTA_EXCEEDED_ERR',
    11: 'TYPE_MISMATCH_ERR', 12: 'PATH_EXISTS_ERR'
  };

  // An error of a file operation: `code` is one of the constants below (null when the plugin
  // answered a text instead, which then is the message).
  function FileError(answer) {
    var known = typeof answer === 'number';
    this.code = known ? answer : null;
    if (known) {
      this.message = errorNames[answer] || 'file error ' + answer;
    } else {
      this.message = answer === undefined || answer === null ? 'the operation failed'
                                                             : String(answer);
    }
  }
  Object.keys(errorNames).forEach(function (code) { FileError[errorNames[code]] = Number(code); });
  FileError.prototype.toString = function () { return 'FileError: ' + this.message; };

  function call(action, args, success, fail, toValue) {
    return vokaru.call('File', action, args, success, fail, toValue, function (answer) {
      return new FileError(answer);
    });
  }

  // Each name of the path escaped, so that "%", "#", "?" and spaces stay part of the name.
  function escapePath(path) {
    return path.split('/').map(encodeURIComponent).join('/');
  }

  function FileSystem(name, root) {
    this.name = name;
    this.root = entryOf(root || { isDirectory: true, fullPath: '/', name: '', filesystemName: name },
                        this);
  }

  // The entry object for the plugin's entry dictionary.
  function entryOf(entry, fileSystem) {
    if (!fileSystem || fileSystem.name !== entry.filesystemName) {
      var isRoot = entry.fullPath === '/';
      fileSystem = new FileSystem(entry.filesystemName, isRoot ? entry : null);
      if (isRoot) return fileSystem.root;
    }
    return entry.isDirectory ? new DirectoryEntry(entry, fileSystem)
                             : new FileEntry(entry, fileSystem);
  }

  function Entry(entry, fileSystem) {
    this.isFile = !!entry.isFile;
    this.isDirectory = !!entry.isDirectory;
    this.name = entry.name;
    this.fullPath = entry.fullPath;
    this.filesystem = fileSystem;
    this.nativeURL = entry.nativeURL || null;
  }

  // The entry's "vkrfile:" URL: it names the entry to the plugin, and the web view loads it.
  Entry.prototype.toInternalURL = function () {
    return 'vkrfile://localhost/' + encodeURIComponent(this.filesystem.name) +
        escapePath(this.fullPath);
  };
  Entry.prototype.toURL = Entry.prototype.toInternalURL;

  Entry.prototype.toEntry = function (entry) { return entryOf(entry, this.filesystem); };

  // {modificationTime: Date, size: bytes (0 for a directory)}.
  Entry.prototype.getMetadata = function (success, fail) {
    return call('getFileMetadata', [this.toInternalURL()], success, fail, function (metadata) {
      return { modificationTime: new Date(metadata.lastModifiedDate), size: metadata.size };
    });
  };

  // `metadata`: {"com.apple.MobileBackup": 1} marks the entry as not for backup, 0 unmarks it.
  Entry.prototype.setMetadata = function (success, fail, metadata) {
    return call('setMetadata', [this.toInternalURL(), metadata || {}], success, fail);
  };

  // Into the directory entry `parent`, as `newName` (the entry's own name when absent).
  Entry.prototype.moveTo = function (parent, newName, success, fail) {
    return call('moveTo', [this.toInternalURL(), parent.toInternalURL(), newName || null],
                success, fail, this.toEntry.bind(this));
  };

  Entry.prototype.copyTo = function (parent, newName, success, fail) {
    return call('copyTo', [this.toInternalURL(), parent.toInternalURL(), newName || null],
                success, fail, this.toEntry.bind(this));
  };

  Entry.prototype.remove = function (success, fail) {
    return call('remove', [this.toInternalURL()], success, fail);
  };

  Entry.prototype.getParent = function (success, fail) {
    return call('getParent', [this.toInternalURL()], success, fail, this.toEntry.bind(this));
  };

  function DirectoryEntry(entry, fileSystem) { Entry.call(this, entry, fileSystem); }
  DirectoryEntry.prototype = Object.create(Entry.prototype);
  DirectoryEntry.prototype.constructor = DirectoryEntry;

  DirectoryEntry.prototype.createReader = function () { return new DirectoryReader(this); };

  // `path` relative to this directory (or absolute in its file system); `options`:
  // {create: true} makes it when missing, {create: true, exclusive: true} fails when it exists.
  DirectoryEntry.prototype.getFile = function (path, options, success, fail) {
    return call('getFile', [this.toInternalURL(), path, options || null], success, fail,
                this.toEntry.bind(this));
  };

  DirectoryEntry.prototype.getDirectory = function (path, options, success, fail) {
    return call('getDirectory', [this.toInternalURL(), path, options || null], success, fail,
                this.toEntry.bind(this));
  };

  DirectoryEntry.prototype.removeRecursively = function (success, fail) {
    return call('removeRecursively', [this.toInternalURL()], success, fail);
  };

  // Reads the directory's entries: the first call gives them all, later calls an empty list.
  function DirectoryReader(directory) {
    this.directory = directory;
    this.done = false;
  }
  DirectoryReader.prototype.readEntries = function (success, fail) {
    if (this.done) return vokaru.answer(Promise.resolve([]), success, fail);
    var directory = this.directory;
    var reader = this;
    return call('readEntries', [directory.toInternalURL()], success, fail, function (entries) {
      reader.done = true;
      return entries.map(directory.toEntry, directory);
    });
  };

  function FileEntry(entry, fileSystem) { Entry.call(this, entry, fileSystem); }
  FileEntry.prototype = Object.create(Entry.prototype);
  FileEntry.prototype.constructor = FileEntry;

  // A snapshot of the file (name, size, modification time) whose contents it reads.
  FileEntry.prototype.file = function (success, fail) {
    var entry = this;
    return call('getFileMetadata', [this.toInternalURL()], success, fail, function (metadata) {
      return new VokaruFile(entry, metadata);
    });
  };

  // A writer at the start of the file; the file must exist (getFile with {create: true}).
  FileEntry.prototype.createWriter = function (success, fail) {
    var entry = this;
    return call('getFileMetadata', [this.toInternalURL()], success, fail, function (metadata) {
      return new FileWriter(entry, metadata.size);
    });
  };

  // The bytes from `start` to `end` (exclusive) of a file; slice() narrows the range.
  function VokaruFile(entry, metadata, start, end) {
    this.name = metadata.name;
    this.fullPath = entry.fullPath;
    this.localURL = entry.toInternalURL();
    this.type = metadata.type || null;
    this.lastModified = metadata.lastModifiedDate;
    this.lastModifiedDate = new Date(metadata.lastModifiedDate);
    this.start = start || 0;
    this.end = end === undefined ? metadata.size : end;
    this.size = this.end - this.start;
    this.entry = entry;
    this.metadata = metadata;
  }

  // As Blob.slice: negative offsets count from the end.
  VokaruFile.prototype.slice = function (start, end) {
    var size = this.size;
    function clamp(offset, fallback) {
      if (offset === undefined) return fallback;
      return offset < 0 ? Math.max(size + offset, 0) : Math.min(offset, size);
    }
    var from = clamp(start, 0);
    var to = Math.max(clamp(end, size), from);
    return new VokaruFile(this.entry, this.metadata, this.start + from, this.start + to);
  };

  // Text (UTF-8, the only encoding the plugin reads), a data: URL, an ArrayBuffer, or a text
  // with one character per byte.
  VokaruFile.prototype.readAsText = function (encoding, success, fail) {
    return call('readAsText', [this.localURL, encoding || 'UTF-8', this.start, this.end],
                success, fail);
  };
  ['readAsDataURL', 'readAsArrayBuffer', 'readAsBinaryString'].forEach(function (action) {
    VokaruFile.prototype[action] = function (success, fail) {
      return call(action, [this.localURL, this.start, this.end], success, fail);
    };
  });

  // Writes and truncates the file at `position`; `length` is the file's size as far as this
  // writer knows. onwrite / onerror and onwriteend, when set, run as each operation ends.
  function FileWriter(entry, length) {
    this.fileName = entry.name;
    this.localURL = entry.toInternalURL();
    this.length = length;
    this.position = 0;
    this.onwrite = null;
    this.onerror = null;
    this.onwriteend = null;
  }

  FileWriter.prototype.settle = function (answer) {
    var writer = this;
    return answer.then(function (value) {
      if (typeof writer.onwrite === 'function') writer.onwrite(value);
      if (typeof writer.onwriteend === 'function') writer.onwriteend(value);
      return value;
    }, function (error) {
      if (typeof writer.onerror === 'function') writer.onerror(error);
      if (typeof writer.onwriteend === 'function') writer.onwriteend(error);
      throw error;
    });
  };

  // Replaces the file's content from the position on with `data` (text, written as UTF-8, an
  // ArrayBuffer, a typed array or a Blob); answers the number of bytes written.
  FileWriter.prototype.write = function (data, success, fail) {
    var writer = this;
    var bytes = typeof Blob !== 'undefined' && data instanceof Blob ? data.arrayBuffer()
                                                                    : Promise.resolve(data);
    var written = bytes.then(function (content) {
      return call('write', [writer.localURL, content, writer.position], null, null,
                  function (count) {
                    writer.position += count;
                    writer.length = writer.position;
                    return count;
                  });
    });
    return vokaru.answer(this.settle(written), success, fail);
  };

  // Cuts the file to `size` bytes.
  FileWriter.prototype.truncate = function (size, success, fail) {
    var writer = this;
    var truncated = call('truncate', [this.localURL, size], null, null, function (newSize) {
      writer.length = newSize;
      writer.position = Math.min(writer.position, newSize);
      return newSize;
    });
    return vokaru.answer(this.settle(truncated), success, fail);
  };

  // Moves the position; a negative offset counts from the end.
  FileWriter.prototype.seek = function (offset) {
    var position = offset < 0 ? this.length + offset : offset;
    this.position = Math.max(0, Math.min(position, this.length));
  };

  // `type`: LocalFileSystem.TEMPORARY (the app's tmp/) or PERSISTENT (its Documents/); `size`:
  // the bytes the app means to store (QUOTA_EXCEEDED_ERR when the disk has less free).
  function requestFileSystem(type, size, success, fail) {
    return call('requestFileSystem', [type, size || 0], success, fail, function (answer) {
      return new FileSystem(answer.name, answer.root);
    });
  }

  // The entry a "vkrfile:" (or "file:") URL names.
  function resolveLocalFileSystemURL(url, success, fail) {
    return call('resolveLocalFileSystemURI', [url], success, fail, entryOf);
  }

  global.LocalFileSystem = LocalFileSystem;
  global.FileError = FileError;
  global.requestFileSystem = requestFileSystem;
  global.resolveLocalFileSystemURL = resolveLocalFileSystemURL;
})(window);
