"""The exceptions of the quern package.

A raised error of the library is quern.Error: the VB error number, the source that raised it and
the description, as a late-bound client sees them. It is also an OSError, so code that handles
file errors the usual way catches it: errno is set where the number means a condition the
operating system has a code for, filename is the path argument of the failing member.
"""

import errno as _errno

# VB error number -> errno. Only numbers that name a condition of the file system are mapped;
# argument and automation errors (5, 6, 13, 91, 438, 449, 450 ...) have no errno, as a
# ValueError would not. 75 ("path/file access error") is what the library raises for any
# failure of a file operation that is not "not found" or "denied", so it is the general EIO.
# 71 ("disk not ready") is a drive without its medium.
ERRNO_OF_NUMBER = {
    52: _errno.EINVAL,  # bad file name or number
    53: _errno.ENOENT,  # file not found
    55: _errno.EBUSY,  # file already open
    57: _errno.EIO,  # device I/O error
    58: _errno.EEXIST,  # file already exists
    61: _errno.ENOSPC,  # disk full
    67: _errno.EMFILE,  # too many files
    68: _errno.ENODEV,  # device unavailable
    70: _errno.EACCES,  # permission denied
    71: getattr(_errno, "ENOMEDIUM", _errno.ENODEV),  # disk not ready
    74: _errno.EXDEV,  # cannot rename with a different drive
    75: _errno.EIO,  # path/file access error
    76: _errno.ENOENT,  # path not found
}


class Error(OSError):
    """A raised error of the library: .number (the VB error number), .source (the class that
    raised it) and .description, and as an OSError .errno (or None) and .filename (the path
    argument of the member that failed, or None). As OSError(errno.ENOENT, ...) is a
    FileNotFoundError, an Error whose errno Python has a subclass for is also an instance of
    that subclass: `except FileNotFoundError` catches error 53."""

    def __new__(cls, number, source="", description="", filename=None):
        if cls is Error:
            cls = _ERROR_OF_ERRNO.get(ERRNO_OF_NUMBER.get(number), cls)
        # OSError would read the arguments as (errno, strerror, filename): it gets none.
        return super().__new__(cls)

    def __init__(self, number, source="", description="", filename=None):
        super().__init__()
        self.args = (number, source, description)
        self.number = number
        self.source = source
        self.description = description
        self.errno = ERRNO_OF_NUMBER.get(number)
        self.strerror = description
        self.filename = filename

    def __str__(self):
        where = f", {self.source}" if self.source else ""
        name = f": {self.filename!r}" if self.filename is not None else ""
        return f"{self.description}{name} (error {self.number}{where})"

    def __reduce__(self):
        # Error itself picks the subclass again, so a pickled error names only public classes.
        cls = Error if type(self) in _ERROR_OF_ERRNO.values() else type(self)
        return (cls, (self.number, self.source, self.description, self.filename))


def _error_with(base):
    """Error and one of OSError's own subclasses, shown as quern.Error in tracebacks."""
    return type("Error", (Error, base), {"__module__": "quern", "__qualname__": "Error",
                                         "__doc__": Error.__doc__})


# errno -> the class of an Error with that errno, for the subclasses Python raises by errno.
_ERROR_OF_ERRNO = {
    _errno.ENOENT: _error_with(FileNotFoundError),
    _errno.EACCES: _error_with(PermissionError),
    _errno.EEXIST: _error_with(FileExistsError),
}


class ItemError(Error, IndexError, KeyError):
    """obj[key] found nothing: the collection's own error, also an IndexError and a KeyError so
    that Python code that looks things up can catch it the usual way."""

    __str__ = Error.__str__


Error.__module__ = ItemError.__module__ = "quern"
