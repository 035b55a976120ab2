"""The exceptions of the brivane module; each carries the text and exit code the brivane command gives."""

import os


class BrivaneError(Exception):
    """A failure the library reported; `exit_code` is the brivane command's code for it."""

    exit_code = 1

    def __init__(self, message, exit_code=None):
        super().__init__(message)
        if exit_code is not None:
            self.exit_code = exit_code


class FileError(BrivaneError, OSError):
    """An input file is missing or cannot be read."""

    exit_code = 3


class NotAMediumError(BrivaneError):
    """The input is not a medium, WAV file or profile the library takes."""

    exit_code = 4


class NoDeviceError(BrivaneError):
    """No audio device could be opened."""

    exit_code = 5


class FormatError(BrivaneError):
    """The audio's format does not suit the operation (a speed change takes 16-bit mono or stereo)."""

    exit_code = 6


def input_error(path, what):
    """FileError when path cannot be read, else NotAMediumError saying what it is not."""
    name = os.fsdecode(path)
    try:
        open(path, "rb").close()
    except OSError as error:
        return FileError("%s: %s" % (name, error.strerror))
    return NotAMediumError("%s: %s" % (name, what))
