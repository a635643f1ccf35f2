"""The shared library, its records and the prototypes of its 32 functions.

The library is looked for, in this order, at the path in the environment
variable ``ORVKT_LIBRARY``, beside this package (``cmake --install`` puts a
link to the installed library there), and by the system's loader
(``LD_LIBRARY_PATH``, the loader cache, the default folders).
"""

from __future__ import annotations

import ctypes
import os
import threading
from ctypes import (
    CFUNCTYPE,
    POINTER,
    Structure,
    c_char,
    c_char_p,
    c_int16,
    c_int32,
    c_ssize_t,
    c_uint8,
    c_uint16,
    c_uint32,
    c_void_p,
)
from pathlib import Path

LIBRARY_NAME = "libOrvaneVktapi.so.1"

#: The value a progress callback returns to cancel, and the message code of
#: every progress call.
PROGRESS_CANCEL = 2
PROGRESS_MESSAGE = 224

#: Sizes of the dictation header record: without and with the two extra texts.
HEADER_SIZE_SHORT = 428
HEADER_SIZE_FULL = 488
#: The marker array: 32 pairs of 32-bit millisecond values.
MARKER_COUNT = 32
MARKER_ARRAY_SIZE = 256
#: A DSS header block.
HEADER_BLOCK_SIZE = 512


class WAVEFORMATEX(Structure):
    """The wave format record, packed to 18 bytes."""

    _pack_ = 1
    _fields_ = [
        ("wFormatTag", c_uint16),
        ("nChannels", c_uint16),
        ("nSamplesPerSec", c_uint32),
        ("nAvgBytesPerSec", c_uint32),
        ("nBlockAlign", c_uint16),
        ("wBitsPerSample", c_uint16),
        ("cbSize", c_uint16),
    ]


class ZRM2HeaderInfo(Structure):
    """The caller's record of DSS header blocks 1 and 2 (488 bytes, natural alignment)."""

    _fields_ = [
        ("dwSize", c_uint32),
        ("dwLicenseeId", c_uint32),
        ("achH1Text", c_char * 16),
        ("dwH1Value", c_uint32),
        ("bMoreHeaderBlocks", c_uint8),
        ("bFlag36Clear", c_uint8),
        ("achRecStartDate", c_char * 6),
        ("achRecStartTime", c_char * 6),
        ("achRecEndDate", c_char * 6),
        ("achRecEndTime", c_char * 6),
        ("achLength", c_char * 6),
        ("byH1Byte69", c_uint8),
        ("wH2Version", c_uint16),
        ("wH2Word2", c_uint16),
        ("achH2Bytes4", c_uint8 * 8),
        ("achH2Bytes12", c_uint8 * 4),
        ("wCompressionId", c_uint16),
        ("dwLengthMs", c_uint32),
        ("achH2Field22", c_char * 6),
        ("achH2Field28", c_char * 6),
        ("aachText", (c_char * 30) * 11),
        ("achTextExt1", c_char * 30),
        ("achTextExt2", c_char * 30),
    ]


#: (caller's value, message code, percentage) -> 2 cancels.
ProgressCallback = CFUNCTYPE(c_int32, c_ssize_t, c_uint32, c_uint32)

_u32p = POINTER(c_uint32)
_fmtp = POINTER(WAVEFORMATEX)
_hdrp = POINTER(ZRM2HeaderInfo)
_bytes = POINTER(c_uint8)
_s = c_char_p
_cb = ProgressCallback
_ip = c_ssize_t

# Argument types of every export; all of them return a 32-bit result code.
PROTOTYPES: dict[str, tuple] = {
    "ORVKTDSSToWAV": (_s, _s, _fmtp, _cb, _ip, _s),
    "ORVKTDSSToWAVEx": (_s, _s, _fmtp, _cb, c_int32, c_void_p, c_void_p, _s),
    "ORVKTWAVToDSS": (_s, _s, _fmtp, c_int16, _cb, _ip),
    "ORVKTDSSToDSS": (_s, _s, _fmtp, _cb, _ip, _s),
    "ORVKTWAVToWAV": (_s, _s, _fmtp, _cb, _ip),
    "ORVKTMP3ToWAV": (_s, _s, _fmtp, _cb, _ip),
    "ORVKTWMAToWAV": (_s, _s, _fmtp, _cb, _ip),
    "ORVKTWMFConvertToWAV": (_s, _s, _fmtp, _cb, _ip),
    "ORVKTReadWAVFormat": (_s, c_void_p, c_uint32),
    "ORVKTWAVGetSndDataLength": (_s, _u32p),
    "ORVKTReadDSSHeader": (_s, _bytes),
    "ORVKTIsValidZRM2File": (_s, _u32p),
    "ORVKTReadZRM2Header": (_s, _hdrp),
    "ORVKTWriteZRM2Header": (_s, _hdrp),
    "ORVKTCopyDSSHeaders": (_s, _s, c_int32, c_int32),
    "ORVKTReadSpokenInstructionMarkers": (_s, _bytes),
    "ORVKTWriteSpokenInstructionMarkers": (_s, _bytes),
    "ORVKTExtractSpokenInstructionMarkers": (_s, _s),
    "ORVKTWAVSeperateSpokenInstructions": (_s, _s, c_int32, c_int32, _cb, _ip),
    "ORVKTSplitDSSFile": (_s, _s, _s, _s, c_uint32, c_uint32, c_uint32, _u32p, _cb, _ip),
    "ORVKTJoinDSS": (_s, _s, _cb, _ip, c_int32, c_int32),
    "ORVKTRepairIndexMarkers": (_s, _s),
    "ORVKTSplitMP3File": (_s, _s, _s, c_uint32, c_uint32, c_uint32, _u32p, _cb, _ip),
    "ORVKTIsEncryptedDSSFile": (_s, _u32p),
    "ORVKTCheckDSSFilePassword": (_s, _s),
    "ORVKTDecryptDSSFile": (_s, _s, _s),
    "ORVKTEncryptDSSFile": (_s, _s, _s),
    "ORVKTCreateDSSTemplate": (_s, _s, c_uint8),
    "ORVKTWAVSplitStereo": (_s, _s, _s, _cb, _ip),
    "ORVKTWAVMixStereo": (_s, _s, _cb, _ip),
    "ORVKTCopyFile": (_s, _s, c_int32),
    "ORVKTDeleteFile": (_s,),
}


def library_candidates() -> list[str]:
    """Where the library is looked for, in order (see the module's text)."""
    candidates = []
    explicit = os.environ.get("ORVKT_LIBRARY")
    if explicit:
        candidates.append(explicit)
    beside = Path(__file__).resolve().parent / LIBRARY_NAME
    if beside.exists():
        # The link's target, so that the library finds its trace component
        # in its own folder ($ORIGIN) rather than beside the link.
        candidates.append(os.path.realpath(beside))
    candidates.append(LIBRARY_NAME)
    return candidates


_lock = threading.Lock()
_library: ctypes.CDLL | None = None


def library() -> ctypes.CDLL:
    """The loaded library with every export's prototype set (loaded once, on first use).

    Raises OSError naming every place looked at when the library cannot be loaded.
    """
    global _library
    with _lock:
        if _library is not None:
            return _library
        tried = []
        explicit = bool(os.environ.get("ORVKT_LIBRARY"))
        for i, candidate in enumerate(library_candidates()):
            try:
                lib = ctypes.CDLL(candidate)
            except OSError as e:
                tried.append(f"{candidate}: {e}")
                # A path given on purpose that fails is an error, not a hint.
                if explicit and i == 0:
                    break
                continue
            for name, argtypes in PROTOTYPES.items():
                function = getattr(lib, name)
                function.argtypes = argtypes
                function.restype = c_uint32
            _library = lib
            return lib
        raise OSError("libOrvaneVktapi.so.1 could not be loaded: " + "; ".join(tried))
