#!/usr/bin/env python3
"""Throughput of `python -m orvkt.batch`: files per second for N one-minute DSS files.

    ORVKT_LIBRARY=build/libOrvaneVktapi.so.1 PYTHONPATH=python \\
        python3 bench/batch_bench.py --files 200 --workers 1 2

Makes one minute of espeak-ng speech, encodes it once into a standard-play
DSS file and copies it N times; then converts the tree to 16 kHz WAV with
the batch on a local Dask cluster of 1, 2, ... worker processes, and, for
comparison, in one Python thread without Dask. Prints the load average
before and after, since the figures mean little on a busy machine.
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import orvkt
from orvkt.batch import run_batch

TEXT = ("The patient was seen today in the clinic for a follow up of the left knee. "
        "She reports less pain on stairs and no swelling since the last visit. ")


def one_minute_of_dss(folder: Path) -> Path:
    raw, wav, dss = folder / "raw.wav", folder / "minute.wav", folder / "minute.dss"
    subprocess.run(["espeak-ng", "-w", str(raw), TEXT * 12], check=True)
    # The text lasts well over a minute: cut to exactly 60 s of 16-bit mono at 16 kHz.
    subprocess.run(["sox", str(raw), "-r", "16000", "-b", "16", "-c", "1", str(wav), "trim", "0", "60"], check=True)
    orvkt.convert(wav, dss, "sp")
    return dss


def load_average() -> str:
    return " ".join(Path("/proc/loadavg").read_text().split()[:3])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=200)
    parser.add_argument("--workers", type=int, nargs="+", default=[1, 2])
    parser.add_argument("--rate", type=int, default=16000)
    a = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="orvkt-batch-bench-") as scratch:
        folder = Path(scratch)
        dss = one_minute_of_dss(folder)
        src = folder / "archive"
        for i in range(a.files):
            (src / f"box{i % 10}").mkdir(parents=True, exist_ok=True)
            shutil.copyfile(dss, src / f"box{i % 10}" / f"memo{i:04d}.dss")
        print(f"{a.files} DSS files of {orvkt.duration(dss):.1f} s each (standard play), to WAV at {a.rate} Hz")
        print(f"load average before: {load_average()}")

        start, cpu = time.perf_counter(), time.process_time()
        serial = folder / "serial"
        serial.mkdir()
        for p in sorted(src.rglob("*.dss")):
            orvkt.convert(p, serial / (p.stem + ".wav"), rate=a.rate)
        seconds, cpu = time.perf_counter() - start, time.process_time() - cpu
        # CPU time does not depend on what else runs on the machine.
        print(f"one thread, no Dask: {seconds:6.1f} s, {a.files / seconds:6.2f} files/s, "
              f"{cpu / a.files * 1000:.0f} ms CPU per file")

        for n in a.workers:
            dst = folder / f"out{n}"
            start = time.perf_counter()
            summary = run_batch(src, dst, "wav", rate=a.rate, workers=n, show_progress=False)
            wall = time.perf_counter() - start
            assert summary.converted == a.files, summary
            print(f"batch, {n} worker(s): {summary.seconds:6.1f} s converting, {summary.files_per_second:6.2f} files/s"
                  f" ({wall:.1f} s with the cluster's start and stop)")
            shutil.rmtree(dst)
        print(f"load average after: {load_average()}, {os.cpu_count()} cores")


if __name__ == "__main__":
    main()
