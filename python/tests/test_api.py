"""Every function once on real files, against what the command-line tool does with the same files."""

from __future__ import annotations

import datetime
import json
import os
import shutil
import subprocess
import sys
import wave
from pathlib import Path

import pytest

import orvkt
from conftest import BUILD, PASSWORD, cli, cli_json, require


def twin_folders(tmp: Path, rec: dict[str, Path], *kinds: str) -> tuple[Path, Path]:
    """Two folders with copies of the same recordings: one for Python, one for the CLI."""
    folders = tmp / "py", tmp / "c"
    for folder in folders:
        folder.mkdir()
        for kind in kinds:
            shutil.copyfile(rec[kind], folder / rec[kind].name)
            shutil.copystat(rec[kind], folder / rec[kind].name)
            (folder / rec[kind].name).chmod(0o644)
    return folders


def audio_of(path: Path) -> bytes:
    with wave.open(str(path)) as w:
        return w.readframes(w.getnframes())


def comparable(path: Path) -> bytes:
    """The file's bytes; a DSS/DS2 file made from a WAV file takes its recording start from
    the WAV copy's creation time, which differs between the twin folders: blanked."""
    data = bytearray(path.read_bytes())
    if path.suffix.lower() in (".dss", ".ds2") and len(data) >= 50:
        data[38:50] = b"0" * 12
    return bytes(data)


def same_files(a: Path, b: Path) -> None:
    names = sorted(p.name for p in a.iterdir())
    assert names == sorted(p.name for p in b.iterdir())
    for name in names:
        assert comparable(a / name) == comparable(b / name), name


@pytest.mark.parametrize("kind, out, kwargs, args", [
    ("dss", "o.wav", {}, []),
    ("dss", "o.wav", {"rate": 16000}, ["--rate", "16000"]),
    ("secret", "o.wav", {"password": PASSWORD}, ["--password-stdin"]),
    ("lp", "o.wav", {"format": "pcm8", "rate": 11025}, ["--format", "pcm8", "--rate", "11025"]),
    ("wav", "o.dss", {}, []),
    ("wav", "o.ds2", {"format": "qp"}, ["--format", "qp"]),
    ("wav", "o.dss", {"format": "lp", "headers": 1}, ["--format", "lp", "--headers", "1"]),
    ("dss", "o.ds2", {"format": "qp"}, ["--format", "qp"]),
    ("wav", "o.wav", {"rate": 8000}, ["--rate", "8000"]),
    ("mp3", "o.wav", {"rate": 16000}, ["--rate", "16000"]),
    ("wma", "o.wav", {}, []),
])
def test_convert_writes_what_the_cli_writes(rec, tmp_path, kind, out, kwargs, args):
    py, c = twin_folders(tmp_path, rec, kind)
    src = rec[kind].name
    assert orvkt.convert(py / src, py / out, **kwargs) == py / out
    cli("convert", c / src, c / out, *args, stdin=PASSWORD + "\n")
    same_files(py, c)


# (Python call in folder d, CLI arguments in folder d, recordings needed)
OPERATIONS = {
    "split": (lambda d: orvkt.split(d / "speech.dss", 1, overlap=0, mask="p%02d.dss"),
              lambda d: ["split", d / "speech.dss", "-l", 1, "-m", "p%02d.dss"], ["dss"]),
    "split_mp3": (lambda d: orvkt.split(d / "speech.mp3", 1, count=2),
                  lambda d: ["split", d / "speech.mp3", "-l", 1, "-n", 2], ["mp3"]),
    "join": (lambda d: orvkt.join([d / "speech.dss", d / "speech.dss"], d / "j.dss"),
             lambda d: ["join", d / "j.dss", d / "speech.dss", d / "speech.dss"], ["dss"]),
    "repair_index": (lambda d: orvkt.repair_index(d / "speech.ds2", d / "r.ds2"),
                     lambda d: ["repair-index", d / "speech.ds2", d / "r.ds2"], ["ds2"]),
    "decrypt": (lambda d: orvkt.decrypt(d / "secret.ds2", d / "plain.ds2", PASSWORD),
                lambda d: ["decrypt", d / "secret.ds2", d / "plain.ds2", "--password-stdin"], ["secret"]),
    "split_stereo": (lambda d: orvkt.split_stereo(d / "stereo.wav", d / "l.wav", d / "r.wav"),
                     lambda d: ["stereo", "split", d / "stereo.wav", d / "l.wav", d / "r.wav"], ["stereo"]),
    "mix_stereo": (lambda d: orvkt.mix_stereo(d / "stereo.wav", d / "m.wav"),
                   lambda d: ["stereo", "mix", d / "stereo.wav", d / "m.wav"], ["stereo"]),
    "separate": (lambda d: orvkt.separate_instructions(d / "marked.wav", d / "s.wav"),
                 lambda d: ["separate", d / "marked.wav", d / "s.wav"], ["marked"]),
    "template": (lambda d: orvkt.create_template(d / "t.ds2", "qp"),
                 lambda d: ["template", d / "t.ds2", "--mode", "qp"], []),
    "copy_headers": (lambda d: orvkt.copy_headers(d / "speech.dss", d / "speech.wav", markers=False),
                     lambda d: ["header", "copy", d / "speech.dss", d / "speech.wav", "--no-markers"],
                     ["dss", "wav"]),
    "extract_markers": (lambda d: orvkt.extract_markers(d / "marked.wav", d / "carrier.wav"),
                        lambda d: ["markers", "extract", d / "marked.wav", d / "carrier.wav"], ["marked"]),
    "set_markers": (lambda d: orvkt.set_markers(d / "speech.dss", [(0.25, 0.5), (1.0, 1.999)]),
                    lambda d: ["markers", "set", d / "speech.dss", "250-500", "1000-1999"], ["dss"]),
}


@pytest.mark.parametrize("name", sorted(OPERATIONS))
def test_operation_writes_what_the_cli_writes(rec, tmp_path, name):
    python_call, cli_args, kinds = OPERATIONS[name]
    py, c = twin_folders(tmp_path, rec, *kinds)
    result = python_call(py)
    printed = cli(*cli_args(c), stdin=PASSWORD + "\n").stdout.split()
    same_files(py, c)
    if name in ("split", "split_mp3"):
        assert [p.name for p in result] == [Path(p).name for p in printed] and len(result) > 1


@pytest.mark.parametrize("kind", ["dss", "ds2", "lp", "secret", "wav", "mp3", "wma", "marked"])
def test_info_tells_what_the_cli_tells(rec, kind):
    mine, theirs = orvkt.info(rec[kind]), cli_json("info", rec[kind])
    assert mine.kind == theirs["kind"]
    fmt = theirs.get("format") or theirs.get("codec_format")
    assert (mine.format.tag, mine.format.rate, mine.format.bytes_per_second) == \
        (fmt["format_tag"], fmt["samples_per_sec"], fmt["avg_bytes_per_sec"])
    assert mine.duration == pytest.approx(theirs["length_ms"] / 1000, abs=0.001)
    assert mine.encrypted == theirs.get("encrypted")
    if kind == "wma":
        return
    assert mine.header_class == theirs["zrm2_class"]
    assert (mine.header_result, mine.markers_result) == (theirs["header_result"], theirs["markers_result"])
    if mine.markers is not None:
        assert [(round(s * 1000), round(e * 1000)) for s, e in mine.markers] == \
            [(m["start_ms"], m["end_ms"]) for m in theirs["markers"]]
    if mine.header is not None:
        h, j = mine.header, theirs["header"]
        assert (h.licensee_id, h.compression_id, h.length_ms, h.texts) == \
            (j["licensee_id"], j["compression_id"], j["length_ms"], j["texts"])
        start = h.recording_start.strftime("%y%m%d%H%M%S") if h.recording_start else ""
        assert start == j["record_start_date"] + j["record_start_time"]


def test_header_fields_round_trip_and_keep_unknown_bytes(work):
    dss = work["dss"]
    before = dss.read_bytes()
    orvkt.write_header(dss, orvkt.read_header(dss))
    assert dss.read_bytes() == before, "writing an unchanged header changes nothing"

    header = orvkt.read_header(dss)
    texts = list(header.texts)
    texts[0], texts[12] = "Dr. Müller, Befund ½", "x" * 30
    when = datetime.datetime(2031, 2, 3, 4, 5, 6)
    orvkt.write_header(dss, header.replace(texts=texts, recording_start=when, header1_text="Ärztin"))
    seen = cli_json("header", "get", dss)
    assert seen["texts"][0] == "Dr. Müller, Befund ½" and seen["texts"][12] == "x" * 30
    assert (seen["record_start_date"], seen["record_start_time"], seen["header1_text"]) == \
        ("310203", "040506", "Ärztin")
    again = orvkt.read_header(dss)
    assert again.recording_start == when and again.recording_end == header.recording_end
    with pytest.raises(ValueError):
        orvkt.write_header(dss, header.replace(texts=["x" * 31] + texts[1:]))
    with pytest.raises(ValueError):
        orvkt.write_header(dss, header.replace(header1_text="漢字"))


def test_markers_in_seconds(work):
    orvkt.set_markers(work["wav"], [(0.5, 1.25), (2.0, 2.0)])
    assert orvkt.markers(work["wav"]) == [(0.5, 1.25), (2.0, 2.0)]
    assert [(m["start_ms"], m["end_ms"]) for m in cli_json("markers", "get", work["wav"])] == [(500, 1250), (2000, 2000)]
    orvkt.set_markers(work["wav"], [])
    assert orvkt.markers(work["wav"]) == []
    for bad in ([(2.0, 1.0)], [(-1.0, 1.0)], [(0.0, 1.0)] * 33):
        with pytest.raises(ValueError):
            orvkt.set_markers(work["wav"], bad)


def test_encryption_round_trip_and_checks(work, tmp_path):
    secret = tmp_path / "mine.ds2"
    orvkt.encrypt(work["ds2"], secret, PASSWORD)
    assert orvkt.is_encrypted(secret) and not orvkt.is_encrypted(work["ds2"])
    assert "encrypted" in cli("is-encrypted", secret).stdout
    assert orvkt.check_password(secret, PASSWORD) and not orvkt.check_password(secret, "wrong-pw")
    assert cli("check-password", secret, "--password-stdin", stdin=PASSWORD + "\n").returncode == 0
    cli("convert", secret, tmp_path / "c.wav", "--password-stdin", stdin=PASSWORD + "\n")
    cli("convert", work["ds2"], tmp_path / "plain.wav")
    assert audio_of(tmp_path / "c.wav") == audio_of(tmp_path / "plain.wav")


def test_copy_delete_and_raw_header(work, tmp_path):
    copy = tmp_path / "copy.wav"
    orvkt.copy(work["wav"], copy, write_through=True)
    assert copy.read_bytes() == work["wav"].read_bytes()
    orvkt.delete(copy)
    assert not copy.exists()
    work["dss"].chmod(0o444)
    with pytest.raises(orvkt.FileError) as e:
        orvkt.delete(work["dss"])
    assert e.value.code == 39 and work["dss"].exists()
    assert orvkt.header_block(work["ds2"]) == work["ds2"].read_bytes()[:512]


def test_decode_media_keeps_rate_and_channels(rec, tmp_path):
    require("ffprobe")
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", str(rec["wma"])],
                           capture_output=True, text=True, check=True)
    stream = json.loads(probe.stdout)["streams"][0]
    fmt = orvkt.decode_media(rec["wma"], tmp_path / "d.wav")
    assert (fmt.channels, fmt.rate, fmt.bits) == (stream["channels"], int(stream["sample_rate"]), 16)
    assert orvkt.read_format(tmp_path / "d.wav") == fmt


@pytest.mark.skipif(os.environ.get("ORVKT_PYTHON_INSTALLED") == "0", reason="built without the Python package's install")
def test_installed_package_finds_the_installed_library(tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(prefix)], check=True, capture_output=True)
    packages = list(prefix.glob("lib/python3*/*-packages/orvkt/__init__.py"))
    assert len(packages) == 1
    env = {k: v for k, v in os.environ.items() if k not in ("ORVKT_LIBRARY", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = str(packages[0].parents[1])
    run = subprocess.run([sys.executable, "-c", "import orvkt; orvkt.library(); print(orvkt.__file__)"],
                         env=env, capture_output=True, text=True, cwd=tmp_path)
    assert run.returncode == 0, run.stderr
    assert run.stdout.startswith(str(prefix))
