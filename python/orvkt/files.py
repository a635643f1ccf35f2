"""Encryption, templates, splitting and joining, index repair, stereo tools, copy and delete."""

from __future__ import annotations

import ctypes
import os
import re
from pathlib import Path
from typing import Iterable, Optional, Union

from ._call import PathLike, Progress, call, encode_password, run
from ._native import library
from .errors import PasswordError

Password = Union[str, bytes]

# One printf integer conversion, as the library's piece masks take it.
_CONVERSION = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|j|z|t)?([diouxX])")
_COMPRESSION_MODES = {"sp": 0, "lp": 4, "qp": 6}


def _b(path: PathLike) -> bytes:
    return os.fsencode(path)


def encrypt(src: PathLike, dst: PathLike, password: Password) -> None:
    """Writes a password-protected copy of a plain DSS/DS2 recording of the library's own family
    (``dst`` must be ``.ds2``)."""
    s, d, pw = _b(src), _b(dst), encode_password(password)
    run(lambda cb: library().ORVKTEncryptDSSFile(s, d, pw), path=src, creates=[dst])


def decrypt(src: PathLike, dst: PathLike, password: Password) -> None:
    """Writes a plain copy of an encrypted DS2 recording (``dst`` ``.ds2``, or ``.dss`` unless quality play)."""
    s, d, pw = _b(src), _b(dst), encode_password(password)
    run(lambda cb: library().ORVKTDecryptDSSFile(s, d, pw), path=src, creates=[dst])


def check_password(path: PathLike, password: Password) -> bool:
    """True when ``password`` opens the encrypted DS2 recording; False when it is wrong, or
    when the recording is not encrypted (the library refuses any password for it).

    Other failures (no such file, not a DSS/DS2 file) raise.
    """
    try:
        call("ORVKTCheckDSSFilePassword", _b(path), encode_password(password), path=path)
    except PasswordError:
        return False
    return True


def is_encrypted(path: PathLike) -> bool:
    """True when a DSS/DS2 recording is password-protected."""
    result = ctypes.c_uint32()
    call("ORVKTIsEncryptedDSSFile", _b(path), ctypes.byref(result), path=path)
    return bool(result.value)


def create_template(path: PathLike, mode: Union[str, int] = "sp", *, password: Optional[Password] = None) -> None:
    """Creates an empty DSS/DS2 recording with three header blocks.

    ``mode`` is "sp" (standard play), "lp" (long play, id 4), "qp" (quality
    play, ``.ds2`` only) or a compression id 0-255; a ``password`` protects it
    (``.ds2`` only).
    """
    ident = _COMPRESSION_MODES[mode] if isinstance(mode, str) else int(mode)
    if not 0 <= ident <= 255:
        raise ValueError("compression id 0 to 255")
    p, pw = _b(path), encode_password(password)
    run(lambda cb: library().ORVKTCreateDSSTemplate(p, pw, ident), path=path, creates=[path])


def default_mask(src: PathLike) -> str:
    """The piece names of a split by default: "memo.dss" -> "memo_%03d.dss"."""
    stem, ext = os.path.splitext(os.path.basename(os.fsdecode(src)))
    return stem.replace("%", "%%") + "_%03d" + ext.replace("%", "%%")


def piece_name(mask: str, number: int) -> str:
    """The name a mask gives piece ``number`` (printf-style, one integer placeholder)."""
    out, at = [], 0
    for m in re.finditer(r"%%|" + _CONVERSION.pattern, mask):
        out.append(mask[at:m.start()])
        text = m.group(0)
        if text == "%%":
            out.append("%")
        else:
            conversion = re.sub(r"(hh|h|ll|l|j|z|t)(?=[diouxX]$)", "", text)
            out.append((conversion[:-1] + "d" if conversion[-1] in "iu" else conversion) % number)
        at = m.end()
    out.append(mask[at:])
    return "".join(out)


def _pieces(folder: str, mask: str, last: int) -> list[Path]:
    names: list[Path] = []
    for n in range(1, last + 1):
        p = Path(folder or ".", piece_name(mask, n))
        if not names or names[-1] != p:
            names.append(p)
    return names


def split(src: PathLike, length: int, *, overlap: int = 0, count: Optional[int] = None,
          out_dir: Optional[PathLike] = None, mask: Optional[str] = None, password: Optional[Password] = None,
          progress: Optional[Progress] = None) -> list[Path]:
    """Cuts a DSS/DS2 recording (frames copied, never decoded) or an MP3 recording into
    pieces of ``length`` seconds, overlapping by ``overlap`` seconds, at most
    ``count`` of them (the last takes the rest).

    Pieces go into ``out_dir`` (default: the source's folder) under names made
    by ``mask`` (printf style with one integer placeholder numbered from 1;
    default "NAME_%03d.EXT"). An encrypted source needs its ``password``; the
    pieces are encrypted with it. Returns the pieces in order. Cancelled or
    interrupted, the split leaves no piece behind.
    """
    if int(length) != length or int(overlap) != overlap or length < 0 or overlap < 0:
        raise ValueError("length and overlap are whole, non-negative seconds")
    folder = os.fsdecode(out_dir) if out_dir is not None else os.path.dirname(os.fsdecode(src))
    mask = mask or default_mask(src)
    last = ctypes.c_uint32()
    limit = 0xFFFFFFFF if count is None else int(count)
    s, f, m, pw = _b(src), os.fsencode(folder), os.fsencode(mask), encode_password(password)
    lib = library()
    mp3 = os.path.splitext(os.fsdecode(src))[1].lower() == ".mp3"
    if mp3 and password is not None:
        raise ValueError("an MP3 recording takes no password")
    listing = set(os.listdir(folder or ".")) if os.path.isdir(folder or ".") else set()

    def invoke(cb: object) -> int:
        if mp3:
            return lib.ORVKTSplitMP3File(s, f, m, int(length), int(overlap), limit, ctypes.byref(last), cb, 0)
        return lib.ORVKTSplitDSSFile(s, f, m, pw, int(length), int(overlap), limit, ctypes.byref(last), cb, 0)

    def remove_new_pieces() -> None:
        # The out count is not written when the split stops: the numbered
        # names that were not in the folder before are its pieces.
        previous = None
        for n in range(1, 1_000_000):
            p = Path(folder or ".", piece_name(mask, n))
            if p == previous or not p.exists():
                break
            if p.name not in listing:
                p.unlink()
            previous = p

    run(invoke, path=src, progress=progress, cleanup=remove_new_pieces)
    return _pieces(folder, mask, last.value)


def join(sources: Iterable[PathLike], dst: PathLike, *, progress: Optional[Progress] = None) -> Path:
    """Appends DSS/DS2 recordings of one compression mode, in order, into ``dst``.

    Headers come from the first source, the end date and time from the last.
    File names may not contain "?".
    """
    names = [os.fsdecode(s) for s in sources]
    if any("?" in n for n in names):
        raise ValueError("file names to join may not contain '?'")
    listing, d = os.fsencode("?".join(names)), _b(dst)
    run(lambda cb: library().ORVKTJoinDSS(listing, d, cb, 0, 0, 100), path=dst, progress=progress,
        creates=[dst])
    return Path(os.fsdecode(dst))


def repair_index(src: PathLike, dst: PathLike) -> None:
    """Copies a DSS/DS2 recording with its index tables rebuilt from its instruction markers
    (the long index only into a ``.ds2`` destination)."""
    s, d = _b(src), _b(dst)
    run(lambda cb: library().ORVKTRepairIndexMarkers(s, d), path=src, creates=[dst])


def copy(src: PathLike, dst: PathLike, *, write_through: bool = False) -> None:
    """Verified copy (free-space check, CRC-32 comparison); ``dst`` must not exist."""
    s, d = _b(src), _b(dst)
    run(lambda cb: library().ORVKTCopyFile(s, d, int(write_through)), path=src, creates=[dst])


def delete(path: PathLike) -> None:
    """Deletes a file through a temporary name; read-only files are kept (FileError 39)."""
    call("ORVKTDeleteFile", _b(path), path=path)


def split_stereo(src: PathLike, left: PathLike, right: PathLike, *, progress: Optional[Progress] = None) -> None:
    """Splits a stereo PCM WAV file into two mono files (the left file carries the second channel,
    as the library's channel order has it)."""
    s, l_, r = _b(src), _b(left), _b(right)
    run(lambda cb: library().ORVKTWAVSplitStereo(s, l_, r, cb, 0), path=src, progress=progress,
        creates=[left, right])


def mix_stereo(src: PathLike, dst: PathLike, *, progress: Optional[Progress] = None) -> None:
    """Mixes a 16-bit stereo WAV file into a mono one (L/2 + R/2)."""
    s, d = _b(src), _b(dst)
    run(lambda cb: library().ORVKTWAVMixStereo(s, d, cb, 0), path=src, progress=progress, creates=[dst])
