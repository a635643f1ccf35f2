"""Dictation recordings (DSS, DS2, WAV, MP3, WMA) in Python, over libOrvaneVktapi.so.1.

Every function takes file names as ``str``, ``bytes`` or ``os.PathLike``,
raises :class:`Error` (or one of its kinds) when the library reports a
failure, and releases the GIL while the library works, so threads convert
files side by side. Functions with ``progress`` call it with a percentage
(0..100) and stop when it returns a true value; Ctrl-C during a call stops
the call, removes what it was writing and raises KeyboardInterrupt.

    import orvkt
    orvkt.convert("memo.dss", "memo.wav", rate=16000)
    audio = orvkt.load("memo.ds2", password="secret")   # float32 samples at 16 kHz
"""

from ._native import library, library_candidates
from .audio import (
    PCM_RATES,
    WaveFormat,
    convert,
    decode_media,
    duration,
    kind_of,
    load,
    read_format,
    read_wav_data,
    wanted_format,
)
from .describe import FileInfo, info
from .errors import RESULTS, Cancelled, Error, FileError, FormatError, PasswordError, message_of
from .files import (
    check_password,
    copy,
    create_template,
    decrypt,
    delete,
    encrypt,
    is_encrypted,
    join,
    mix_stereo,
    piece_name,
    repair_index,
    split,
    split_stereo,
)
from .metadata import (
    DictationHeader,
    copy_headers,
    extract_markers,
    header_block,
    header_class,
    markers,
    read_header,
    separate_instructions,
    set_markers,
    write_header,
)

__version__ = "1.0.0"

__all__ = [
    "PCM_RATES", "RESULTS", "Cancelled", "DictationHeader", "Error", "FileError", "FileInfo", "FormatError",
    "PasswordError", "WaveFormat", "check_password", "convert", "copy", "copy_headers", "create_template",
    "decode_media", "decrypt", "delete", "duration", "encrypt", "extract_markers", "header_block",
    "header_class", "info", "is_encrypted", "join", "kind_of", "library", "library_candidates", "load",
    "markers", "message_of", "mix_stereo", "piece_name", "read_format", "read_header", "read_wav_data",
    "repair_index", "separate_instructions", "set_markers", "split", "split_stereo", "wanted_format",
    "write_header",
]
