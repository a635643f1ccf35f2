"""What a recording is: kind, format, length, encryption, header and markers in one record."""

from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

from ._call import PathLike
from .audio import WaveFormat, duration, kind_of, read_format
from .errors import Error, FormatError
from .files import is_encrypted
from .metadata import DictationHeader, header_class, markers, read_header


@dataclass(frozen=True)
class FileInfo:
    """What :func:`info` tells about a file.

    ``kind`` is "dss", "ds2", "wav", "mp3" or "wma"; ``format`` the wave format
    (the codec format of a DSS/DS2 recording, None when its mode is unknown);
    ``duration`` the length in seconds (for DSS/DS2 the header's); ``encrypted``
    is None for other kinds than DSS/DS2. ``header`` and ``markers`` are None
    when the file carries none; ``header_result`` and ``markers_result`` then
    hold the library's result code that says why.
    """

    path: Path
    kind: str
    format: Optional[WaveFormat]
    duration: Optional[float]
    encrypted: Optional[bool] = None
    header_class: Optional[int] = None
    header: Optional[DictationHeader] = None
    header_result: int = 0
    markers: Optional[list[tuple[float, float]]] = None
    markers_result: int = 0


def info(path: PathLike) -> FileInfo:
    """Kind, wave format, length, encryption, dictation header and markers of a DSS, DS2, WAV, MP3 or WMA file.

    Raises :class:`Error` when the file cannot be read as its kind.
    """
    kind = kind_of(path) or "wav"
    where = Path(os.fsdecode(path))
    if kind == "wma":
        return FileInfo(where, kind, read_format(path), duration(path))
    encrypted = is_encrypted(path) if kind in ("dss", "ds2") else None
    try:
        fmt: Optional[WaveFormat] = read_format(path)
    except FormatError:
        if kind not in ("dss", "ds2"):
            raise
        fmt = None
    header, header_result = None, 0
    try:
        header = read_header(path)
    except Error as e:
        header_result = e.code
    if kind in ("dss", "ds2"):
        length = header.length_ms / 1000.0 if header is not None else None
    else:
        length = duration(path)
    spans, markers_result = None, 0
    try:
        spans = markers(path)
    except Error as e:
        markers_result = e.code
    try:
        cls = header_class(path)
    except Error:
        cls = 0  # as the library answers for a file without a dictation header
    return FileInfo(where, kind, fmt, length, encrypted, cls, header, header_result, spans, markers_result)
