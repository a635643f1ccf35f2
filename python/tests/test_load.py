"""load() gives the samples `orvkt convert` writes, and leaves no temporary file."""

from __future__ import annotations

import tempfile
import wave
from array import array

import numpy
import pytest

import orvkt
from orvkt import audio
from conftest import PASSWORD, cli


def cli_samples(src, tmp_path, rate, password):
    out = tmp_path / "cli.wav"
    if src.name == "stereo.wav":  # the conversion refuses a mere change of channels
        cli("stereo", "mix", src, out)
    else:
        args = ["--rate", rate] if rate else []
        args += ["--password-stdin"] if password else []
        cli("convert", src, out, *args, stdin=PASSWORD + "\n")
    with wave.open(str(out)) as w:
        assert (w.getnchannels(), w.getsampwidth()) == (1, 2)
        return numpy.frombuffer(w.readframes(w.getnframes()), "<i2"), w.getframerate()


@pytest.mark.parametrize("kind, rate", [
    ("dss", 16000), ("ds2", 16000), ("lp", 16000), ("secret", 16000), ("wav", 8000), ("mp3", 16000),
    ("wma", 16000), ("stereo", 16000), ("dss", None), ("wav", 16000),
])
def test_load_gives_the_samples_of_a_cli_conversion(rec, tmp_path, kind, rate):
    pw = PASSWORD if kind == "secret" else None
    if (kind, rate) == ("wav", 16000):  # already 16-bit mono at 16000 Hz: read as it is
        with wave.open(str(rec["wav"])) as w:
            expected, expected_rate = numpy.frombuffer(w.readframes(w.getnframes()), "<i2"), 16000
    else:
        expected, expected_rate = cli_samples(rec[kind], tmp_path, rate, pw)
    pcm = orvkt.load(rec[kind], rate, "int16", password=pw)
    assert pcm.dtype == numpy.int16 and pcm.ndim == 1 and len(pcm) > expected_rate
    assert numpy.array_equal(pcm, expected)
    floats = orvkt.load(rec[kind], rate, password=pw)
    assert floats.dtype == numpy.float32
    assert numpy.array_equal(floats, expected.astype(numpy.float32) / 32768)


def test_load_without_numpy_gives_arrays(rec, monkeypatch):
    expected = orvkt.load(rec["dss"], 16000, "int16")
    monkeypatch.setattr(audio, "numpy", None)
    pcm = orvkt.load(rec["dss"], 16000, "int16")
    assert isinstance(pcm, array) and pcm.typecode == "h" and pcm.tolist() == expected.tolist()
    floats = orvkt.load(rec["dss"], 16000)
    assert floats.typecode == "f" and floats[:100].tolist() == (expected[:100] / 32768).tolist()


def test_load_removes_its_temporary_files(rec, tmp_path, monkeypatch):
    monkeypatch.setattr(tempfile, "tempdir", str(tmp_path))
    orvkt.load(rec["ds2"])
    with pytest.raises(orvkt.PasswordError):
        orvkt.load(rec["secret"], password="wrong-pw")
    with pytest.raises(orvkt.Cancelled):
        orvkt.load(rec["mp3"], progress=lambda p: p >= 50)
    with pytest.raises(ValueError):
        orvkt.load(rec["dss"], dtype="int8")
    assert list(tmp_path.iterdir()) == []
