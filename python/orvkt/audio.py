"""Conversions, wave formats, lengths, and recordings loaded as sample arrays."""

from __future__ import annotations

import ctypes
import os
import struct
import sys
import tempfile
from array import array
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Optional, Union

from ._call import PathLike, Progress, call, encode_password, encode_path, run
from ._native import WAVEFORMATEX, library

try:  # numpy is optional: without it load() answers with an array.array
    import numpy
except ImportError:  # pragma: no cover - depends on the machine
    numpy = None

FORMAT_PCM = 0x0001
FORMAT_MPEG_LAYER3 = 0x0055
FORMAT_DSS_SP = 0x0121
FORMAT_DSS_LP = 0xFFFC

#: Sampling rates (Hz) the conversions take for a PCM result.
PCM_RATES = (8000, 11025, 12000, 16000, 22050, 32000, 44100)

# Codec formats of the three compression modes a WAV file converts into:
# (samples per second, bytes per second, block size in bytes).
_DSS_MODES = {"sp": (12000, 1750, 42), "lp": (8000, 1167, 42), "qp": (16000, 3563, 57)}


@dataclass(frozen=True)
class WaveFormat:
    """A wave format record.

    ``rate`` is in samples per second (Hz), ``bytes_per_second`` the average
    data rate, ``block_align`` the bytes of one block (one sample frame for
    PCM), ``bits`` the bits per sample (0 for the DSS codecs), ``extra`` the
    number of extra bytes the record announces (``cbSize``).
    """

    tag: int
    channels: int
    rate: int
    bytes_per_second: int
    block_align: int
    bits: int
    extra: int = 0

    @classmethod
    def pcm(cls, rate: int, bits: int = 16, channels: int = 1) -> "WaveFormat":
        """Linear PCM at ``rate`` Hz, ``bits`` (8 or 16) per sample."""
        align = channels * bits // 8
        return cls(FORMAT_PCM, channels, rate, rate * align, align, bits)

    @classmethod
    def dss(cls, mode: str) -> "WaveFormat":
        """The codec format of a compression mode: "sp" (standard play, 12000 Hz),
        "lp" (standard play at the 8000 Hz clock) or "qp" (quality play, 16000 Hz, .ds2 only)."""
        try:
            rate, per_second, block = _DSS_MODES[mode]
        except KeyError:
            raise ValueError(f"unknown compression mode {mode!r} (sp, lp or qp)") from None
        return cls(FORMAT_DSS_SP, 1, rate, per_second, block, 0)

    @classmethod
    def from_c(cls, f: WAVEFORMATEX) -> "WaveFormat":
        """The record's seven fixed fields."""
        return cls(f.wFormatTag, f.nChannels, f.nSamplesPerSec, f.nAvgBytesPerSec, f.nBlockAlign,
                   f.wBitsPerSample, f.cbSize)

    def to_c(self) -> WAVEFORMATEX:
        """The C record (18 bytes, packed)."""
        return WAVEFORMATEX(self.tag, self.channels, self.rate, self.bytes_per_second, self.block_align,
                            self.bits, self.extra)

    @property
    def name(self) -> str:
        """A short description: "PCM 16-bit", "DSS SP", "DSS LP", "MPEG layer 3", ..."""
        if self.tag == FORMAT_PCM:
            return f"PCM {self.bits}-bit"
        return {FORMAT_DSS_SP: "DSS SP", FORMAT_DSS_LP: "DSS LP", FORMAT_MPEG_LAYER3: "MPEG layer 3"}.get(
            self.tag, f"tag 0x{self.tag:04X}")


def kind_of(path: PathLike) -> str:
    """A file's kind as its extension says (case ignored): "dss", "ds2", "wav", "mp3", "wma" or ""."""
    ext = os.path.splitext(os.fsdecode(path))[1].lower()
    return {".dss": "dss", ".ds2": "ds2", ".wav": "wav", ".mp3": "mp3", ".wma": "wma"}.get(ext, "")


def read_format(path: PathLike) -> WaveFormat:
    """The wave format of a file: a WAV file's own, the codec format of a DSS/DS2
    recording, MPEG layer 3 for an MP3 file, and the 16-bit mono PCM a WMA file
    converts into."""
    # Room for any extended record; the fixed 18 bytes are what is returned.
    buffer = ctypes.create_string_buffer(256)
    call("ORVKTReadWAVFormat", encode_path(path), buffer, len(buffer), path=path)
    return WaveFormat.from_c(WAVEFORMATEX.from_buffer_copy(buffer.raw[: ctypes.sizeof(WAVEFORMATEX)]))


def duration(path: PathLike) -> float:
    """A recording's length in seconds (millisecond resolution).

    WAV, MP3 and WMA files are measured (a WMA file is decoded for it); a
    DSS/DS2 recording's length is the one its header states.
    """
    if kind_of(path) in ("dss", "ds2"):
        from .metadata import read_header

        return read_header(path).length_ms / 1000.0
    ms = ctypes.c_uint32()
    call("ORVKTWAVGetSndDataLength", encode_path(path), ctypes.byref(ms), path=path)
    return ms.value / 1000.0


def _natural_rate(src: PathLike) -> int:
    try:
        return read_format(src).rate or 12000
    except Exception:
        return 12000


def wanted_format(src: PathLike, dst: PathLike, format: Union[str, WaveFormat, None] = None,
                  rate: Optional[int] = None) -> WaveFormat:
    """The wave format a conversion of ``src`` into ``dst`` asks for, as ``orvkt convert`` chooses it.

    ``format`` is "pcm16", "pcm8", "sp", "lp", "qp" or a WaveFormat; by default
    16-bit PCM for a WAV destination and standard play for a DSS/DS2 one.
    ``rate`` (Hz) applies to PCM results; by default the source's own rate.
    """
    if isinstance(format, WaveFormat):
        return format
    to_dss = kind_of(dst) in ("dss", "ds2")
    name = format or ("sp" if to_dss else "pcm16")
    if name in _DSS_MODES:
        if rate:
            raise ValueError("rate applies to PCM formats only")
        return WaveFormat.dss(name)
    if name not in ("pcm16", "pcm8"):
        raise ValueError(f"unknown format {name!r} (pcm16, pcm8, sp, lp or qp)")
    if to_dss:
        raise ValueError("a DSS/DS2 destination takes format sp, lp or qp")
    return WaveFormat.pcm(rate or _natural_rate(src), 8 if name == "pcm8" else 16)


def scratch_files(dst: PathLike) -> list[str]:
    """The library's temporary files beside a conversion's destination."""
    d = os.fsdecode(dst)
    folder, name = os.path.split(d)
    stem = os.path.splitext(name)[0]
    return [os.path.join(folder, f"~{stem}.vkt"), os.path.join(folder, f"~{stem}1"), d + "_tmp.wav"]


def convert(src: PathLike, dst: PathLike, format: Union[str, WaveFormat, None] = None, *,
            rate: Optional[int] = None, headers: int = 3, progress: Optional[Progress] = None,
            password: Union[str, bytes, None] = None) -> Path:
    """Converts ``src`` into ``dst``; the extensions choose the operation.

    DSS/DS2 -> WAV, WAV -> DSS/DS2, DSS/DS2 -> DSS/DS2 (change of mode),
    WAV -> WAV (change of width, rate or codec), MP3 or WMA -> WAV (mono).
    ``format`` and ``rate`` (Hz) as in :func:`wanted_format`; ``headers`` is
    the number of header blocks (1 to 3) of a new DSS/DS2 file; ``password``
    opens an encrypted DS2 source. ``progress(percent)`` is called with
    0..100 and cancels when it returns a true value (raising
    :class:`Cancelled`). A cancelled or interrupted conversion leaves
    neither its destination nor a temporary file. Returns ``dst`` as a Path.
    """
    src_kind, dst_kind = kind_of(src), kind_of(dst)
    dss_kinds = ("dss", "ds2")
    if not src_kind or dst_kind not in ("wav", "dss", "ds2"):
        raise ValueError("convert works between .dss/.ds2 and .wav files, and from .mp3/.wma to .wav")
    if src_kind in ("mp3", "wma") and dst_kind != "wav":
        raise ValueError("an MP3 or WMA recording converts to .wav only")
    if not 1 <= headers <= 3:
        raise ValueError("headers takes 1, 2 or 3")
    fmt = wanted_format(src, dst, format, rate).to_c()
    lib = library()
    s, d, pw = encode_path(src), encode_path(dst), encode_password(password)
    ref = ctypes.byref(fmt)
    if src_kind == "mp3":
        invoke = lambda cb: lib.ORVKTMP3ToWAV(s, d, ref, cb, 0)  # noqa: E731
    elif src_kind == "wma":
        invoke = lambda cb: lib.ORVKTWMAToWAV(s, d, ref, cb, 0)  # noqa: E731
    elif src_kind in dss_kinds and dst_kind == "wav":
        invoke = lambda cb: lib.ORVKTDSSToWAV(s, d, ref, cb, 0, pw)  # noqa: E731
    elif src_kind == "wav" and dst_kind in dss_kinds:
        invoke = lambda cb: lib.ORVKTWAVToDSS(s, d, ref, headers, cb, 0)  # noqa: E731
    elif src_kind in dss_kinds:
        invoke = lambda cb: lib.ORVKTDSSToDSS(s, d, ref, cb, 0, pw)  # noqa: E731
    else:
        invoke = lambda cb: lib.ORVKTWAVToWAV(s, d, ref, cb, 0)  # noqa: E731
    run(invoke, path=src, progress=progress, creates=[dst, *scratch_files(dst)])
    return Path(os.fsdecode(dst))


def decode_media(src: PathLike, dst: PathLike, *, progress: Optional[Progress] = None) -> WaveFormat:
    """Decodes an MP3 or WMA file into a WAV file as it is (its rate, channels kept, 16-bit).

    Returns the format written.
    """
    result = WAVEFORMATEX()
    s, d = encode_path(src), encode_path(dst)
    lib = library()
    run(lambda cb: lib.ORVKTWMFConvertToWAV(s, d, ctypes.byref(result), cb, 0), path=src, progress=progress,
        creates=[dst])
    return WaveFormat.from_c(result)


def read_wav_data(path: PathLike) -> tuple[WaveFormat, bytes]:
    """The format and the raw ``data`` chunk of a RIFF/WAVE file."""
    with open(path, "rb") as f:
        blob = f.read()
    if len(blob) < 12 or blob[:4] != b"RIFF" or blob[8:12] != b"WAVE":
        raise ValueError(f"{os.fsdecode(path)}: not a RIFF/WAVE file")
    fmt: Optional[WaveFormat] = None
    at = 12
    while len(blob) - at >= 8:
        ident, size = blob[at:at + 4], struct.unpack_from("<I", blob, at + 4)[0]
        body = blob[at + 8: at + 8 + size]
        if ident == b"fmt " and len(body) >= 16:
            fields = struct.unpack_from("<HHIIHH", body)
            fmt = WaveFormat(*fields, struct.unpack_from("<H", body, 16)[0] if len(body) >= 18 else 0)
        elif ident == b"data":
            if fmt is None:
                raise ValueError(f"{os.fsdecode(path)}: data chunk before the format chunk")
            return fmt, body
        at += 8 + size + (size & 1)
    raise ValueError(f"{os.fsdecode(path)}: no data chunk")


def _samples(data: bytes, dtype: str) -> Any:
    if numpy is not None:
        pcm = numpy.frombuffer(data, dtype="<i2")
        if dtype == "int16":
            return pcm.astype(numpy.int16)
        return (pcm.astype(dtype) / 32768.0).astype(dtype)
    pcm = array("h", data)
    if sys.byteorder == "big":  # pragma: no cover
        pcm.byteswap()
    if dtype == "int16":
        return pcm
    return array("f" if dtype == "float32" else "d", (v / 32768.0 for v in pcm))


def load(path: PathLike, rate: Optional[int] = 16000, dtype: str = "float32", *,
         password: Union[str, bytes, None] = None, progress: Optional[Progress] = None) -> Any:
    """A recording's audio as one channel of samples for a speech recogniser.

    DSS/DS2 (``password`` for an encrypted one), WAV, MP3 and WMA files are
    converted by the library into 16-bit mono PCM at ``rate`` Hz (None: the
    recording's own rate) in a temporary WAV file, which is always removed.
    Returns a 1-D numpy array of ``dtype`` ("float32" or "float64": samples
    scaled to [-1, 1); "int16": as stored); without numpy an ``array.array``
    of typecode "f", "d" or "h" with the same values.
    """
    if dtype not in ("float32", "float64", "int16"):
        raise ValueError(f"unknown dtype {dtype!r} (float32, float64 or int16)")
    target = WaveFormat.pcm(rate) if rate else None
    mix_only = False
    if kind_of(path) == "wav":
        own = read_format(path)
        target = target or WaveFormat.pcm(own.rate)
        if own == target:
            return _samples(read_wav_data(path)[1], dtype)
        # The conversion mixes a 16-bit stereo file first and then finds
        # nothing left to do (23) when the rate is already the wanted one.
        mix_only = (own.tag, own.channels, own.bits, own.rate) == (FORMAT_PCM, 2, 16, target.rate)
    with tempfile.TemporaryDirectory(prefix="orvkt-load-") as folder:
        wav = os.path.join(folder, "audio.wav")
        if mix_only:
            from .files import mix_stereo

            mix_stereo(path, wav, progress=progress)
        else:
            convert(path, wav, target or "pcm16", password=password, progress=progress)
        return _samples(read_wav_data(wav)[1], dtype)
