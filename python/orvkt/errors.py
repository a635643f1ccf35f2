"""Result codes of the library and the exceptions that carry them.

``RESULTS`` holds the library's result-code table (code -> constant name and
message); the test suite compares it with the C table, so both say the same.
"""

from __future__ import annotations

import os
from typing import Optional, Union

#: code -> (constant name, message), as the library's own table has them.
RESULTS: dict[int, tuple[str, str]] = {
    0: ("VKT_OK", "success"),
    2: ("VKT_CANCELLED", "cancelled"),
    10: ("VKT_ERR", "general failure"),
    12: ("VKT_ERR_CODEC", "codec stream could not be opened"),
    13: ("VKT_ERR_FILE_NAME", "file name missing, or file or path not found"),
    14: ("VKT_ERR_OPEN_FILE", "file cannot be opened or is not a valid file of its kind"),
    15: ("VKT_ERR_WRITE_FILE", "writing the file failed"),
    16: ("VKT_ERR_READ_FILE", "reading the file failed"),
    18: ("VKT_ERR_INVALID_COMPRESSIONID", "invalid compression id"),
    19: ("VKT_ERR_COMPRESSIONID_NOT_SUPPORTED", "compression id not supported"),
    20: ("VKT_ERR_OUT_OF_MEMORY", "out of memory"),
    21: ("VKT_ERR_INVALID_WAVFMT", "wave format missing or invalid"),
    22: ("VKT_ERR_WAVFMT_TOO_SMALL", "wave format buffer too small"),
    23: ("VKT_ERR_SAME_WAVFMT", "source and destination formats are identical"),
    24: ("VKT_ERR_INVALID_CHUNKINFO", "chunk record missing"),
    25: ("VKT_ERR_BUFFER_TOO_SMALL", "buffer too small or no header information"),
    26: ("VKT_ERR_CHUNK_NOT_FOUND", "wanted chunk or header block not present"),
    27: ("VKT_ERR_CONVERSION", "a conversion step failed"),
    32: ("VKT_ERR_NULL_CUEPOINT", "cue point record missing"),
    36: ("VKT_ERR_INVALID_PARAM", "invalid parameter"),
    37: ("VKT_ERR_DEST_EXISTS", "destination file exists already"),
    38: ("VKT_ERR_INVALID_CONTENT", "file content not usable for this operation"),
    39: ("VKT_ERR_FILE_READONLY", "file is read-only"),
    40: ("VKT_ERR_COPY_FAILED", "copying failed"),
    41: ("VKT_ERR_DELETE_FAILED", "deleting failed"),
    42: ("VKT_ERR_VERIFY", "verification failed: copy differs from source"),
    43: ("VKT_ERR_OUT_OF_DISKSPACE", "out of disk space"),
    44: ("VKT_ERR_PASSWORD", "wrong or missing password"),
    45: ("VKT_ERR_NOT_STEREO", "source is not a 16-bit stereo PCM file"),
    46: ("VKT_ERR_MEDIA_READER", "media reader failed"),
    47: ("VKT_ERR_NO_ID3_HEADER", "no ID3v2 tag or dictation header in the MP3 file"),
    48: ("VKT_ERR_LICENSEE", "licensee id does not allow encryption"),
}

OK = 0
CANCELLED = 2


def message_of(code: int) -> str:
    """The library's message for a result code ("unknown result code" for others)."""
    entry = RESULTS.get(code)
    return entry[1] if entry else "unknown result code"


def name_of(code: int) -> Optional[str]:
    """The constant's name of a result code (``VKT_ERR_PASSWORD``), or None."""
    entry = RESULTS.get(code)
    return entry[0] if entry else None


class Error(Exception):
    """A call of the library failed.

    ``code`` is the library's result code, ``message`` its text from the
    library's table, ``path`` the file the call was about (or None).
    """

    def __init__(self, code: int, path: Union[str, os.PathLike, None] = None) -> None:
        self.code = code
        self.message = message_of(code)
        self.path = os.fspath(path) if path is not None else None
        where = f"{self.path}: " if self.path is not None else ""
        super().__init__(f"{where}{code} {self.message}")

    @property
    def name(self) -> Optional[str]:
        """The result code's constant name, e.g. ``VKT_ERR_OPEN_FILE``."""
        return name_of(self.code)


class Cancelled(Error):
    """The progress callback (or Ctrl-C) stopped the operation (code 2)."""


class FileError(Error):
    """A file could not be found, opened, read, written, copied or deleted."""


class FormatError(Error):
    """A file's content, compression mode or wave format is not what the operation needs."""


class PasswordError(Error):
    """The password is missing, invalid or wrong (code 44)."""


_KINDS: dict[int, type[Error]] = {CANCELLED: Cancelled, 44: PasswordError}
_KINDS.update(dict.fromkeys((13, 14, 15, 16, 37, 39, 40, 41, 42, 43), FileError))
_KINDS.update(dict.fromkeys((12, 18, 19, 21, 22, 23, 24, 25, 26, 27, 32, 38, 45, 46, 47, 48), FormatError))


def error_for(code: int, path: Union[str, os.PathLike, None] = None) -> Error:
    """The exception of the right kind for a non-zero result code."""
    return _KINDS.get(code, Error)(code, path)
