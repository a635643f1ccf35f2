"""Shared fixtures: the built library and CLI, and recordings of every kind made once per run.

The recordings are made by the command-line tool (or shipped in tests/data),
never by the package under test, so that each test compares the package
with the C side.
"""

from __future__ import annotations

import json
import os
import shutil
import subprocess
from pathlib import Path

import pytest

REPO = Path(os.environ.get("ORVKT_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BUILD = Path(os.environ.get("ORVKT_BUILD_DIR", REPO / "build"))
CLI = Path(os.environ.get("ORVKT_CLI", BUILD / "orvkt"))
DATA = REPO / "tests" / "data"
PASSWORD = "s3cret-pw"

os.environ.setdefault("ORVKT_LIBRARY", str(BUILD / "libOrvaneVktapi.so.1"))
# Processes the tests start (CLI runs, Dask workers) import the package from here.
os.environ["PYTHONPATH"] = os.pathsep.join(
    p for p in (str(Path(__file__).resolve().parents[1]), os.environ.get("PYTHONPATH")) if p)


def cli(*args: object, stdin: str | None = None, check: bool = True) -> subprocess.CompletedProcess:
    """Runs the command-line tool quietly; its exit status is the library's result code."""
    run = subprocess.run([str(CLI), "-q", *map(str, args)], input=stdin, capture_output=True, text=True)
    if check and run.returncode != 0:
        raise AssertionError(f"orvkt {args} gave {run.returncode}: {run.stderr}")
    return run


def cli_json(*args: object) -> dict:
    return json.loads(cli(*args, "--json").stdout)


def require(program: str) -> None:
    if shutil.which(program) is None:
        if os.environ.get("CI") == "true":
            raise AssertionError(f"{program} is needed by the tests")
        pytest.skip(f"{program} not installed")


def speech(folder: Path, name: str, text: str, rate: int = 16000) -> Path:
    """espeak-ng speech as 16-bit mono PCM at ``rate`` Hz."""
    require("espeak-ng")
    require("sox")
    raw, out = folder / (name + "_raw.wav"), folder / (name + ".wav")
    subprocess.run(["espeak-ng", "-w", str(raw), text], check=True, capture_output=True)
    subprocess.run(["sox", str(raw), "-r", str(rate), "-b", "16", "-c", "1", str(out)], check=True)
    raw.unlink()
    return out


@pytest.fixture(scope="session")
def rec(tmp_path_factory: pytest.TempPathFactory) -> dict[str, Path]:
    """One recording of every kind, read-only for the tests (copy before changing one)."""
    if not CLI.exists():
        pytest.fail(f"{CLI} missing: build the project first")
    d = tmp_path_factory.mktemp("recordings")
    r = {"wav": speech(d, "speech", "Please type this letter to the insurance office before Friday.")}
    r["dss"], r["ds2"] = d / "speech.dss", d / "speech.ds2"
    cli("convert", r["wav"], r["dss"])
    cli("convert", r["wav"], r["ds2"], "--format", "qp")
    r["lp"] = d / "speech_lp.dss"
    shutil.copy(DATA / "speech_lp.dss", r["lp"])
    r["secret"] = d / "secret.ds2"
    cli("encrypt", r["ds2"], r["secret"], "--password-stdin", stdin=PASSWORD + "\n")
    r["mp3"], r["wma"] = d / "speech.mp3", d / "speech.wma"
    shutil.copy(DATA / "speech_mono.mp3", r["mp3"])
    shutil.copy(DATA / "speech_stereo.wma", r["wma"])
    r["stereo"] = d / "stereo.wav"
    subprocess.run(["sox", "-M", str(r["wav"]), str(r["wav"]), str(r["stereo"])], check=True)
    # A WAV file with a dictation header and markers, for the instruction tools.
    r["marked"] = d / "marked.wav"
    cli("convert", r["dss"], r["marked"])
    cli("markers", "set", r["marked"], "500-1200", "2000-2600")
    r["broken"] = d / "broken.dss"
    r["broken"].write_bytes(b"this is no dictation file\n" * 100)
    for p in r.values():
        p.chmod(0o444)
    return r


@pytest.fixture
def work(tmp_path: Path, rec: dict[str, Path]) -> dict[str, Path]:
    """Writable copies of the recordings in the test's own folder."""
    out = {}
    for kind, p in rec.items():
        out[kind] = tmp_path / p.name
        shutil.copyfile(p, out[kind])
    return out
