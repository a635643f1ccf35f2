"""The dictation header and the spoken-instruction markers of DSS/DS2, WAV and MP3 files."""

from __future__ import annotations

import ctypes
import dataclasses
import datetime as _dt
import os
import struct
from dataclasses import dataclass, field
from pathlib import Path
from typing import Iterable, Optional, Sequence

from ._call import PathLike, Progress, call, encode_path, run
from ._native import (
    HEADER_BLOCK_SIZE,
    HEADER_SIZE_FULL,
    MARKER_ARRAY_SIZE,
    MARKER_COUNT,
    ZRM2HeaderInfo,
    library,
)

_TEXT_COUNT = 13  # eleven texts of header 2 and the two of the full record
_NO_MARKER = 0xFFFFFFFF
# Six bytes of a date or time field that was never written.
_UNWRITTEN = b"\xff" * 6


def _text(raw: bytes) -> str:
    # Texts come in Windows-1252; bytes that code page leaves undefined are
    # kept as surrogates so that writing the text back restores them.
    return raw.split(b"\0", 1)[0].decode("cp1252", "surrogateescape")


def _text_bytes(text: str, size: int, what: str) -> bytes:
    try:
        raw = text.encode("cp1252", "surrogateescape")
    except UnicodeEncodeError as e:
        raise ValueError(f"{what}: {text!r} has characters outside Windows-1252") from e
    if len(raw) > size or b"\0" in raw:
        raise ValueError(f"{what}: at most {size} characters of Windows-1252, no NUL")
    return raw.ljust(size, b"\0")


def _moment(date: bytes, time: bytes) -> Optional[_dt.datetime]:
    try:
        return _dt.datetime.strptime((date + time).decode("ascii"), "%y%m%d%H%M%S")
    except (UnicodeDecodeError, ValueError):
        return None


def _moment_bytes(value: Optional[_dt.datetime]) -> tuple[bytes, bytes]:
    if value is None:
        return _UNWRITTEN, _UNWRITTEN
    return value.strftime("%y%m%d").encode(), value.strftime("%H%M%S").encode()


def _span(raw: bytes) -> Optional[_dt.timedelta]:
    try:
        text = raw.decode("ascii")
        if len(text) != 6 or not text.isdigit():
            return None
        return _dt.timedelta(hours=int(text[:2]), minutes=int(text[2:4]), seconds=int(text[4:]))
    except UnicodeDecodeError:
        return None


def _span_bytes(value: Optional[_dt.timedelta]) -> bytes:
    if value is None:
        return _UNWRITTEN
    seconds = int(value.total_seconds())
    if not 0 <= seconds <= 99 * 3600 + 59 * 60 + 59:
        raise ValueError("length: between 0 and 99:59:59")
    return b"%02d%02d%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)


@dataclass
class DictationHeader:
    """The dictation header of a recording: DSS header blocks 1 and 2 as named fields.

    Dates and times are naive ``datetime`` values (two-digit years as
    1969-2068), None where the file holds no valid date; ``length`` is the
    HHMMSS length field as a ``timedelta``, ``length_ms`` the length in
    milliseconds; texts are ``str`` (Windows-1252 in the record: header 1's
    text holds 16 characters, each of the 13 texts 30). Fields that are left
    unchanged are written back exactly as they were read.
    """

    licensee_id: int = 3
    header1_text: str = ""
    header1_value: int = 0
    more_header_blocks: bool = True
    flag36_clear: bool = True
    recording_start: Optional[_dt.datetime] = None
    recording_end: Optional[_dt.datetime] = None
    length: Optional[_dt.timedelta] = None
    header1_byte69: int = 0
    header2_version: int = 0
    header2_word2: int = 0
    header2_bytes4: bytes = bytes(8)
    #: Header 2 bytes 12-15; the library does not write them.
    header2_bytes12: bytes = bytes(4)
    compression_id: int = 0
    length_ms: int = 0
    downloaded: Optional[_dt.datetime] = None
    texts: list[str] = field(default_factory=lambda: [""] * _TEXT_COUNT)
    #: The record as read (488 bytes), so that writing keeps what no field shows.
    raw: bytes = field(default=b"", repr=False, compare=False)

    @classmethod
    def from_record(cls, record: ZRM2HeaderInfo) -> "DictationHeader":
        """The fields of a C record (full form), decoded."""
        r = record
        texts = [_text(bytes(t)) for t in r.aachText] + [_text(r.achTextExt1), _text(r.achTextExt2)]
        return cls(
            licensee_id=r.dwLicenseeId,
            header1_text=_text(r.achH1Text),
            header1_value=r.dwH1Value,
            more_header_blocks=bool(r.bMoreHeaderBlocks),
            flag36_clear=bool(r.bFlag36Clear),
            recording_start=_moment(r.achRecStartDate, r.achRecStartTime),
            recording_end=_moment(r.achRecEndDate, r.achRecEndTime),
            length=_span(r.achLength),
            header1_byte69=r.byH1Byte69,
            header2_version=r.wH2Version,
            header2_word2=r.wH2Word2,
            header2_bytes4=bytes(r.achH2Bytes4),
            header2_bytes12=bytes(r.achH2Bytes12),
            compression_id=r.wCompressionId,
            length_ms=r.dwLengthMs,
            downloaded=_moment(r.achH2Field22, r.achH2Field28),
            texts=texts,
            raw=bytes(r),
        )

    def to_record(self) -> ZRM2HeaderInfo:
        """The C record, starting from the bytes read and changing only what differs from them."""
        if self.raw:
            record = ZRM2HeaderInfo.from_buffer_copy(self.raw)
            before = DictationHeader.from_record(record)
        else:
            record = ZRM2HeaderInfo()
            before = None
        record.dwSize = HEADER_SIZE_FULL

        def changed(name: str) -> bool:
            return before is None or getattr(before, name) != getattr(self, name)

        if len(self.texts) != _TEXT_COUNT:
            raise ValueError(f"texts: {_TEXT_COUNT} texts, not {len(self.texts)}")
        for name, c_name in (("licensee_id", "dwLicenseeId"), ("header1_value", "dwH1Value"),
                             ("more_header_blocks", "bMoreHeaderBlocks"), ("flag36_clear", "bFlag36Clear"),
                             ("header1_byte69", "byH1Byte69"), ("header2_version", "wH2Version"),
                             ("header2_word2", "wH2Word2"), ("compression_id", "wCompressionId"),
                             ("length_ms", "dwLengthMs")):
            if changed(name):
                setattr(record, c_name, int(getattr(self, name)))
        if changed("header1_text"):
            record.achH1Text = _text_bytes(self.header1_text, 16, "header1_text")
        for name, c_date, c_time in (("recording_start", "achRecStartDate", "achRecStartTime"),
                                     ("recording_end", "achRecEndDate", "achRecEndTime"),
                                     ("downloaded", "achH2Field22", "achH2Field28")):
            if changed(name):
                date, time = _moment_bytes(getattr(self, name))
                setattr(record, c_date, date)
                setattr(record, c_time, time)
        if changed("length"):
            record.achLength = _span_bytes(self.length)
        for name, c_name, size in (("header2_bytes4", "achH2Bytes4", 8), ("header2_bytes12", "achH2Bytes12", 4)):
            value = bytes(getattr(self, name))
            if len(value) != size:
                raise ValueError(f"{name}: {size} bytes")
            if changed(name):
                getattr(record, c_name)[:] = list(value)
        for i, text in enumerate(self.texts):
            if before is not None and before.texts[i] == text:
                continue
            raw = _text_bytes(text, 30, f"texts[{i}]")
            if i < 11:
                ctypes.memmove(ctypes.addressof(record.aachText[i]), raw, 30)
            else:
                setattr(record, "achTextExt1" if i == 11 else "achTextExt2", raw)
        return record

    def replace(self, **changes: object) -> "DictationHeader":
        """A copy with some fields changed (the bytes read stay for the others)."""
        return dataclasses.replace(self, **changes)


def read_header(path: PathLike) -> DictationHeader:
    """The dictation header of a DSS/DS2, WAV or MP3 file (the full record, 13 texts)."""
    record = ZRM2HeaderInfo()
    record.dwSize = HEADER_SIZE_FULL
    call("ORVKTReadZRM2Header", encode_path(path), ctypes.byref(record), path=path)
    return DictationHeader.from_record(record)


def write_header(path: PathLike, header: DictationHeader) -> None:
    """Writes the dictation header into a DSS/DS2, WAV or MP3 file."""
    record = header.to_record()
    call("ORVKTWriteZRM2Header", encode_path(path), ctypes.byref(record), path=path)


def header_block(path: PathLike) -> bytes:
    """Header block 1 of a DSS/DS2 file: its 512 bytes as stored."""
    block = (ctypes.c_uint8 * HEADER_BLOCK_SIZE)()
    call("ORVKTReadDSSHeader", encode_path(path), block, path=path)
    return bytes(block)


def header_class(path: PathLike) -> int:
    """What the library's dictation-header check says of a file (its class number)."""
    result = ctypes.c_uint32()
    call("ORVKTIsValidZRM2File", encode_path(path), ctypes.byref(result), path=path)
    return result.value


def copy_headers(src: PathLike, dst: PathLike, *, header: bool = True, markers: bool = True) -> None:
    """Copies the dictation header (blocks 1 and 2) and/or the markers (block 3) from ``src`` into ``dst``."""
    call("ORVKTCopyDSSHeaders", encode_path(src), encode_path(dst), int(header), int(markers), path=dst)


def markers(path: PathLike) -> list[tuple[float, float]]:
    """The spoken-instruction markers of a file as (start, end) pairs in seconds."""
    array = (ctypes.c_uint8 * MARKER_ARRAY_SIZE)()
    call("ORVKTReadSpokenInstructionMarkers", encode_path(path), array, path=path)
    out = []
    for start, end in struct.iter_unpack("<II", bytes(array)):
        if start == _NO_MARKER:
            break
        out.append((start / 1000.0, end / 1000.0))
    return out


def set_markers(path: PathLike, spans: Iterable[Sequence[float]]) -> None:
    """Replaces a file's markers by (start, end) pairs in seconds (millisecond resolution, at most 32).

    An empty list clears them.
    """
    pairs = [(round(s * 1000), round(e * 1000)) for s, e in spans]
    if len(pairs) > MARKER_COUNT:
        raise ValueError(f"at most {MARKER_COUNT} markers")
    for s, e in pairs:
        if not 0 <= s <= e < _NO_MARKER:
            raise ValueError(f"marker ({s / 1000}, {e / 1000}): start and end not in order or out of range")
    blob = b"".join(struct.pack("<II", s, e) for s, e in pairs).ljust(MARKER_ARRAY_SIZE, b"\xff")
    array = (ctypes.c_uint8 * MARKER_ARRAY_SIZE).from_buffer_copy(blob)
    call("ORVKTWriteSpokenInstructionMarkers", encode_path(path), array, path=path)


def extract_markers(src: PathLike, dst: PathLike) -> None:
    """Copies the markers of ``src`` into ``dst`` (created as an empty WAV carrier when missing)."""
    s, d = encode_path(src), encode_path(dst)
    run(lambda cb: library().ORVKTExtractSpokenInstructionMarkers(s, d), path=src, creates=[dst])


def instruction_name(dst: PathLike) -> Path:
    """The name of the instruction file beside a dictation file: "memo.wav" -> "memo_i.wav"."""
    d = Path(os.fsdecode(dst))
    return d.with_name(d.stem + "_i" + d.suffix)


def separate_instructions(src: PathLike, dst: PathLike, *, dictation: bool = True, instruction: bool = True,
                          progress: Optional[Progress] = None) -> tuple[Optional[Path], Optional[Path]]:
    """Cuts a WAV recording along its markers: the dictation into ``dst``, the
    spoken instructions into ``dst`` with "_i" added to its name.

    ``dst`` equal to ``src`` replaces the source. Returns the two files written
    (None for the one not asked for).
    """
    d = Path(os.fsdecode(dst))
    i = instruction_name(d)
    outputs = [d, i, Path(str(d) + "~temp"), Path(str(i) + "~temp")]
    s = encode_path(src)
    run(lambda cb: library().ORVKTWAVSeperateSpokenInstructions(s, encode_path(d), int(dictation),
                                                                  int(instruction), cb, 0),
        path=src, progress=progress, creates=outputs)
    return (d if dictation else None, i if instruction else None)
