"""python -m orvkt.batch on a local Dask cluster of two worker processes."""

from __future__ import annotations

import csv
import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import PASSWORD, cli

distributed = pytest.importorskip("distributed") if os.environ.get("CI") != "true" else __import__("distributed")

# 20 recordings of every kind in two folder levels, one of them broken.
TREE = (["dss"] * 5 + ["ds2"] * 3 + ["lp"] * 2 + ["secret"] + ["wav"] * 2 + ["stereo"] + ["mp3"] * 3
        + ["wma"] * 2 + ["broken"])


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None, silence_logs=40,
                                  local_directory=str(tmp_path_factory.mktemp("dask"))) as c:
        yield c


def expected_outputs(rec: dict[str, Path], folder: Path) -> dict[str, bytes]:
    """What `orvkt` makes of each kind of recording at 16000 Hz."""
    out = {}
    for kind in set(TREE) - {"broken"}:
        dst = folder / f"{kind}.wav"
        if kind == "stereo":
            cli("stereo", "mix", rec[kind], dst)
        elif kind == "wav":
            shutil.copyfile(rec[kind], dst)  # already 16-bit mono at 16000 Hz
        else:
            password = ["--password-stdin"] if kind == "secret" else []
            cli("convert", rec[kind], dst, "--rate", 16000, *password, stdin=PASSWORD + "\n")
        out[kind] = dst.read_bytes()
    return out


def run_batch(src: Path, dst: Path, address: str, password_file: Path) -> tuple[int, str]:
    run = subprocess.run([sys.executable, "-m", "orvkt.batch", str(src), str(dst), "--to", "wav", "--rate", "16000",
                          "--scheduler", address, "--password-file", str(password_file), "-q"],
                         capture_output=True, text=True, timeout=300)
    return run.returncode, run.stdout + run.stderr


def test_batch_converts_a_tree_writes_its_manifest_and_resumes(rec, tmp_path, cluster):
    src, dst = tmp_path / "archive", tmp_path / "converted"
    kinds = {}
    for i, kind in enumerate(TREE):
        rel = Path(f"box{i % 2}") / (f"year{i % 3}" if i % 4 else "") / f"r{i:02d}{rec[kind].suffix}"
        (src / rel).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(rec[kind], src / rel)
        kinds[rel.as_posix()] = kind
    password_file = tmp_path / "password"
    password_file.write_text(PASSWORD + "\n")
    expected = expected_outputs(rec, tmp_path)

    status, text = run_batch(src, dst, cluster.scheduler_address, password_file)
    assert status == 1, text  # one file failed
    assert "20 files: 19 converted, 0 skipped, 1 failed" in text

    with open(dst / "orvkt-manifest.csv", newline="") as f:
        rows = {r["source"]: r for r in csv.DictReader(f)}
    with open(dst / "orvkt-manifest.jsonl") as f:
        lines = [json.loads(line) for line in f]
    assert sorted(rows) == sorted(kinds) and sorted(r["source"] for r in lines) == sorted(kinds)
    for line in lines:
        row = rows[line["source"]]
        assert {k: str("" if v is None else v) for k, v in line.items()} == row
        kind = kinds[line["source"]]
        out = dst / line["destination"]
        assert line["destination"] == re.sub(r"\.\w+$", ".wav", line["source"])
        if kind == "broken":
            assert (line["code"], line["message"]) == (14, "file cannot be opened or is not a valid file of its kind")
            assert not out.exists()
        else:
            assert (line["code"], line["message"]) in ((0, "success"), (0, "copied: already in the wanted format"))
            assert out.read_bytes() == expected[kind], line["source"]
            assert line["duration"] == pytest.approx(len(expected[kind]) / 32000, abs=0.05)
    assert len({line["worker"] for line in lines}) == 2

    # Second run: only the source that changed is converted again (and the
    # broken one is tried again); nothing else is touched.
    touched = next(s for s, k in kinds.items() if k == "dss")
    os.utime(src / touched, ns=(1_000_000_000, 1_000_000_000))
    before = {p: p.stat().st_mtime_ns for p in dst.rglob("*.wav")}
    status, text = run_batch(src, dst, cluster.scheduler_address, password_file)
    assert "20 files: 1 converted, 18 skipped, 1 failed" in text, text
    changed = {p for p in before if p.stat().st_mtime_ns != before[p]}
    assert changed == {dst / re.sub(r"\.\w+$", ".wav", touched)}
    with open(dst / "orvkt-manifest.jsonl") as f:
        assert len(f.readlines()) == 20


def test_plan_gives_a_destination_to_one_source_only(tmp_path):
    from orvkt.batch import plan

    src = tmp_path / "src"
    src.mkdir()
    for name in ("memo.dss", "memo.wav", "memo.MP3", "other.wma", "notes.txt"):
        (src / name).write_bytes(b"x")
    work = plan(src, tmp_path / "dst", "wav")
    assert [t.relative_source for t in work.tasks] == ["memo.MP3", "other.wma"]
    assert [(r.source, r.code, r.message) for r in work.refused] == [
        ("memo.dss", -1, "destination is made from memo.MP3"),
        ("memo.wav", -1, "destination is made from memo.MP3")]
