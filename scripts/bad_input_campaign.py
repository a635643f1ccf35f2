#!/usr/bin/env python3
"""Calls every export of the library with damaged files and bad arguments and
counts what happened: result codes, crashes, hangs, changed sources and files
left behind.

Each call runs in a worker process; a worker that dies is a crash (the call
is recorded and a new worker takes the next call), a call that does not
return within the time limit is a hang. Every call works in a folder of its
own holding a fresh copy of its source, so that what a call leaves behind
and whether it changed its source can be seen.

    scripts/bad_input_campaign.py --library build/libOrvaneVktapi.so.1
                                  [--mutants 40] [--seed 1] [--timeout 30]

Prints one summary (JSON) on stdout; with --log, one line per call into the
named file. Exit status 1 when a call crashed, hung, changed a source it
only reads or left a temporary file.
"""

from __future__ import annotations

import argparse
import hashlib
import json
import math
import os
import random
import select
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
PASSWORD = b"campaign1"

# Exports that change their source in place: a changed source is their job.
IN_PLACE = {"ORVKTWriteZRM2Header", "ORVKTWriteSpokenInstructionMarkers",
            "ORVKTDeleteFile"}


# ---------------------------------------------------------------- worker side

def worker(library: str) -> None:
    """Reads one call per line from stdin, answers one result per line."""
    sys.path.insert(0, str(ROOT / "python"))
    os.environ["ORVKT_LIBRARY"] = library
    from ctypes import byref, c_uint32, create_string_buffer, cast, c_void_p
    from orvkt import _native as native

    lib = native.library()

    def fmt(record):
        if record is None:
            return None
        f = native.WAVEFORMATEX(*record)
        return byref(f)

    for line in sys.stdin:
        job = json.loads(line)
        folder = Path(job["dir"])
        # Relative names (an empty folder name makes one) land in the call's folder, not here.
        os.chdir(folder)
        before = {p.name for p in folder.iterdir()}
        src = folder / job["src"] if job.get("src") else None
        src_hash = hashlib.sha256(src.read_bytes()).hexdigest() if src and src.is_file() else None
        args = []
        for kind, value in job["args"]:
            if kind in ("path", "str", "list"):
                args.append(None if value is None else os.fsencode(value))
            elif kind == "fmt":
                args.append(fmt(value))
            elif kind == "u32p":
                args.append(None if value is None else byref(c_uint32(0)))
            elif kind == "buf":
                args.append(None if value is None else cast(create_string_buffer(value), native._bytes))
            elif kind == "vbuf":
                args.append(None if value is None else cast(create_string_buffer(value), c_void_p))
            elif kind == "hdr":
                if value is None:
                    args.append(None)
                else:
                    h = native.ZRM2HeaderInfo()
                    h.dwSize = value
                    args.append(byref(h))
            elif kind == "cb":
                args.append(native.ProgressCallback())
            else:
                args.append(value)
        rc = getattr(lib, job["op"])(*args)
        after = {p.name for p in folder.iterdir()}
        scratch = sorted(n for n in after - before
                         if n.startswith("~") or ".vkt" in n or "~temp" in n or "_tmp." in n)
        changed = bool(src_hash and src.is_file()
                       and hashlib.sha256(src.read_bytes()).hexdigest() != src_hash)
        print(json.dumps({"rc": rc, "scratch": scratch, "changed": changed}), flush=True)


# ---------------------------------------------------------------- seed files

def tone_wav(path: Path, rate: int, seconds: float, channels: int = 1) -> None:
    n = int(rate * seconds)
    frames = bytearray()
    for i in range(n):
        v = int(9000 * math.sin(2 * math.pi * 440 * i / rate) * (1 + 0.3 * math.sin(i / 900)))
        frames += struct.pack("<h", v) * channels
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * 2 * channels, 2 * channels, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(frames)) + bytes(frames)
    path.write_bytes(b"RIFF" + struct.pack("<I", len(body)) + body)


def make_seeds(library: str, folder: Path) -> dict[str, Path]:
    sys.path.insert(0, str(ROOT / "python"))
    os.environ["ORVKT_LIBRARY"] = library
    from ctypes import byref
    from orvkt import _native as native

    lib = native.library()
    seeds = {"mono.wav": folder / "mono.wav", "stereo.wav": folder / "stereo.wav"}
    tone_wav(seeds["mono.wav"], 12000, 3.0)
    tone_wav(seeds["stereo.wav"], 16000, 2.0, channels=2)
    wav16 = folder / "mono16.wav"
    tone_wav(wav16, 16000, 3.0)
    sp = native.WAVEFORMATEX(0x0121, 1, 12000, 1750, 42, 0, 0)
    qp = native.WAVEFORMATEX(0x0121, 1, 16000, 3563, 57, 0, 0)
    cb = native.ProgressCallback()
    for name, src, f in (("sp.dss", seeds["mono.wav"], sp), ("sp.ds2", seeds["mono.wav"], sp),
                         ("qp.ds2", wav16, qp)):
        seeds[name] = folder / name
        rc = lib.ORVKTWAVToDSS(os.fsencode(src), os.fsencode(seeds[name]), byref(f), 2, cb, 0)
        if rc:
            raise SystemExit(f"seed {name}: result {rc}")
    # A recording with two spoken instructions (in header 3, so three header blocks), and its
    # WAV with the markers as cue points.
    seeds["marked.dss"] = folder / "marked.dss"
    rc = lib.ORVKTWAVToDSS(os.fsencode(seeds["mono.wav"]), os.fsencode(seeds["marked.dss"]), byref(sp), 3, cb, 0)
    blob = struct.pack("<IIII", 400, 900, 1500, 2200).ljust(256, b"\xff")
    rc = rc or lib.ORVKTWriteSpokenInstructionMarkers(os.fsencode(seeds["marked.dss"]),
                                                      (native.c_uint8 * 256).from_buffer_copy(blob))
    seeds["marked.wav"] = folder / "marked.wav"
    pcm = native.WAVEFORMATEX(1, 1, 16000, 32000, 2, 16, 0)
    rc = rc or lib.ORVKTDSSToWAV(os.fsencode(seeds["marked.dss"]), os.fsencode(seeds["marked.wav"]),
                                 byref(pcm), cb, 0, None)
    if rc:
        raise SystemExit(f"seed marked.*: result {rc}")
    seeds["enc.ds2"] = folder / "enc.ds2"
    rc = lib.ORVKTEncryptDSSFile(os.fsencode(seeds["qp.ds2"]), os.fsencode(seeds["enc.ds2"]), PASSWORD)
    if rc:
        raise SystemExit(f"seed enc.ds2: result {rc}")
    data = ROOT / "tests" / "data"
    for name in ("speech_lp.dss", "speech_mono.mp3", "speech_mono.wma", "dictation_v24.mp3"):
        shutil.copy(data / name, folder / name)
        seeds[name] = folder / name
    return seeds


# ---------------------------------------------------------------- mutations

EXTREMES = (0, 0xFFFFFFFF, 0x7FFFFFFF, 0xFFFFFFF0, 0x80000000, 1)


def mutate(data: bytes, rng: random.Random) -> bytes:
    b = bytearray(data)
    way = rng.randrange(6)
    if way == 0:  # a few bytes anywhere
        for _ in range(rng.randint(1, 8)):
            b[rng.randrange(len(b))] = rng.randrange(256)
    elif way == 1:  # bytes of the headers
        for _ in range(rng.randint(1, 6)):
            b[rng.randrange(min(len(b), 1536))] = rng.randrange(256)
    elif way == 2:  # cut short
        del b[rng.randrange(1, len(b)):]
    elif way == 3:  # a size or count field at its extreme
        at = rng.randrange(0, min(len(b), 2048) - 4) & ~1
        b[at:at + 4] = struct.pack("<I", rng.choice(EXTREMES))
    elif way == 4:  # a block of zeros
        at = rng.randrange(len(b))
        b[at:at + 512] = bytes(len(b[at:at + 512]))
    else:  # bytes inserted
        at = rng.randrange(len(b))
        b[at:at] = bytes(rng.randrange(256) for _ in range(rng.randint(1, 700)))
    return bytes(b)


PCM16 = (1, 1, 16000, 32000, 2, 16, 0)
PCM8 = (1, 1, 8000, 16000, 2, 16, 0)
SP = (0x0121, 1, 12000, 1750, 42, 0, 0)
QP = (0x0121, 1, 16000, 3563, 57, 0, 0)


def calls_for(name: str) -> list[tuple[str, list, list]]:
    """(export, arguments, names of outputs) for a source called `name`."""
    P = lambda v: ("path", v)
    S = lambda v: ("str", v)
    cb = [("cb", None), ("int", 0)]
    ext = name.rsplit(".", 1)[-1]
    pw = S(PASSWORD.decode()) if name.startswith("enc") else S(None)
    reads = [("ORVKTCopyFile", [P(name), P("copy." + ext), ("int", 1)])]
    if ext in ("dss", "ds2"):
        return reads + [
            ("ORVKTIsValidZRM2File", [P(name), ("u32p", 1)]),
            ("ORVKTReadZRM2Header", [P(name), ("hdr", 488)]),
            ("ORVKTReadDSSHeader", [P(name), ("buf", 512)]),
            ("ORVKTReadSpokenInstructionMarkers", [P(name), ("buf", 256)]),
            ("ORVKTIsEncryptedDSSFile", [P(name), ("u32p", 1)]),
            ("ORVKTCheckDSSFilePassword", [P(name), S(PASSWORD.decode())]),
            ("ORVKTDSSToWAV", [P(name), P("out.wav"), ("fmt", PCM16)] + cb + [pw]),
            ("ORVKTDSSToDSS", [P(name), P("out.dss"), ("fmt", SP)] + cb + [pw]),
            ("ORVKTSplitDSSFile", [P(name), P("."), S("piece%d." + ext), pw, ("int", 1000),
                                   ("int", 0), ("int", 0), ("u32p", 1)] + cb),
            ("ORVKTJoinDSS", [("list", name + "?" + name), P("joined." + ext)] + cb + [("int", 0), ("int", 0)]),
            ("ORVKTRepairIndexMarkers", [P(name), P("repaired." + ext)]),
            ("ORVKTEncryptDSSFile", [P(name), P("enc_out.ds2"), S("secret1")]),
            ("ORVKTDecryptDSSFile", [P(name), P("dec_out.ds2"), S(PASSWORD.decode())]),
        ]
    if ext == "wav":
        return reads + [
            ("ORVKTReadWAVFormat", [P(name), ("vbuf", 64), ("int", 64)]),
            ("ORVKTWAVGetSndDataLength", [P(name), ("u32p", 1)]),
            ("ORVKTReadSpokenInstructionMarkers", [P(name), ("buf", 256)]),
            ("ORVKTWAVToDSS", [P(name), P("out.dss"), ("fmt", SP), ("int", 2)] + cb),
            ("ORVKTWAVToDSS", [P(name), P("out.ds2"), ("fmt", QP), ("int", 2)] + cb),
            ("ORVKTWAVToWAV", [P(name), P("out.wav"), ("fmt", PCM8)] + cb),
            ("ORVKTWAVSplitStereo", [P(name), P("left.wav"), P("right.wav")] + cb),
            ("ORVKTWAVMixStereo", [P(name), P("mixed.wav")] + cb),
            ("ORVKTWAVSeperateSpokenInstructions", [P(name), P("dict.wav"), ("int", 1), ("int", 0)] + cb),
        ]
    if ext == "mp3":
        return reads + [
            ("ORVKTMP3ToWAV", [P(name), P("out.wav"), ("fmt", PCM16)] + cb),
            ("ORVKTReadZRM2Header", [P(name), ("hdr", 488)]),
            ("ORVKTSplitMP3File", [P(name), P("."), S("piece%d.mp3"), ("int", 1000), ("int", 0),
                                   ("int", 0), ("u32p", 1)] + cb),
        ]
    return reads + [
        ("ORVKTWMAToWAV", [P(name), P("out.wav"), ("fmt", PCM16)] + cb),
        ("ORVKTWMFConvertToWAV", [P(name), P("out.wav"), ("fmt", PCM16)] + cb),
    ]


# Names inside the call's folder; devzero and devnull are device nodes made there.
BAD_PATHS = [None, "", "missing/x.dss", "adir", "x" * 5000, "devzero", "devnull"]
BAD_STRINGS = [None, "", "abc", "p" * 5000, "../escape%d.dss"]


def bad_argument_calls(seed_names: list[str]) -> list[tuple[str, list]]:
    """Each pointer or name argument of each call replaced by a bad value, and
    the format records replaced by damaged ones."""
    out = []
    seen = set()
    for name in seed_names:
        for op, args in calls_for(name):
            for i, (kind, value) in enumerate(args):
                variants = []
                if kind in ("path", "list"):
                    variants = [("path", v) for v in BAD_PATHS]
                elif kind == "str":
                    variants = [("str", v) for v in BAD_STRINGS]
                elif kind in ("u32p", "buf", "vbuf", "hdr", "fmt"):
                    variants = [(kind, None)]
                    if kind == "hdr":
                        variants += [("hdr", 0), ("hdr", 427), ("hdr", 0xFFFFFFFF)]
                    if kind == "fmt":
                        variants += [("fmt", (1, 0, 16000, 32000, 2, 16, 0)),
                                     ("fmt", (1, 1, 0, 0, 2, 16, 0)),
                                     ("fmt", (1, 1, 0xFFFFFFFF, 0xFFFFFFF0, 2, 16, 0)),
                                     ("fmt", (0x0121, 1, 44100, 1750, 42, 0, 0)),
                                     ("fmt", (0x7777, 1, 16000, 32000, 2, 16, 0))]
                elif kind == "int":
                    variants = [("int", v) for v in (0xFFFFFFFF, 0x7FFFFFFF)]
                for v in variants:
                    key = (op, i, json.dumps(v))
                    if key in seen:
                        continue
                    seen.add(key)
                    out.append((name, op, args[:i] + [v] + args[i + 1:]))
    return out


# ---------------------------------------------------------------- parent side

def in_folder(folder: Path, kind: str, value):
    """A call's argument with its names made paths inside the call's folder."""
    if value and kind == "path":
        return kind, str(folder / value)
    if value and kind == "list":
        return kind, "?".join(str(folder / v) for v in value.split("?"))
    return kind, value


class Worker:
    def __init__(self, library: str):
        self.proc = subprocess.Popen([sys.executable, __file__, "--worker", library],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True)

    def call(self, job: dict, timeout: float):
        self.proc.stdin.write(json.dumps(job) + "\n")
        self.proc.stdin.flush()
        ready, _, _ = select.select([self.proc.stdout], [], [], timeout)
        if not ready:
            self.proc.kill()
            self.proc.wait()
            return "hang", None
        line = self.proc.stdout.readline()
        if not line:
            return "crash", self.proc.wait()
        return "ok", json.loads(line)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--library", default=str(ROOT / "build/libOrvaneVktapi.so.1"))
    ap.add_argument("--mutants", type=int, default=40, help="damaged copies of each seed file")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--timeout", type=float, default=30.0, help="seconds before a call is a hang")
    ap.add_argument("--log", help="file for one JSON line per call")
    ap.add_argument("--worker", help=argparse.SUPPRESS)
    a = ap.parse_args()
    if a.worker:
        worker(a.worker)
        return 0

    rng = random.Random(a.seed)
    work = Path(tempfile.mkdtemp(prefix="vkt_campaign_"))
    log = open(a.log, "w") if a.log else None
    try:
        seeds = make_seeds(a.library, work)
        jobs = []
        for name, path in seeds.items():
            data = path.read_bytes()
            for m in range(a.mutants):
                damaged = mutate(data, rng)
                for op, args in calls_for(name):
                    jobs.append(("mutated", name, damaged, op, args))
        for name, op, args in bad_argument_calls(list(seeds)):
            jobs.append(("argument", name, seeds[name].read_bytes(), op, args))

        tally = {"calls": 0, "mutated_calls": 0, "argument_calls": 0, "crashes": 0,
                 "hangs": 0, "changed_sources": 0, "scratch_left": 0, "results": {}}
        faults = []
        w = Worker(a.library)
        for n, (kind, name, data, op, args) in enumerate(jobs):
            d = work / "calls" / str(n)
            d.mkdir(parents=True)
            (d / name).write_bytes(data)
            (d / "adir").mkdir()
            for dev, minor in (("devzero", 5), ("devnull", 3)):
                try:
                    os.mknod(d / dev, 0o666 | stat.S_IFCHR, os.makedev(1, minor))
                except PermissionError:
                    pass  # not root: the names stay missing files
            job = {"dir": str(d), "src": name, "op": op, "args": [in_folder(d, k, v) for k, v in args]}
            status, res = w.call(job, a.timeout)
            tally["calls"] += 1
            tally[kind + "_calls"] += 1
            entry = {"n": n, "kind": kind, "op": op, "src": name, "status": status}
            if status == "ok":
                tally["results"][str(res["rc"])] = tally["results"].get(str(res["rc"]), 0) + 1
                entry.update(res)
                if res["changed"] and op not in IN_PLACE:
                    tally["changed_sources"] += 1
                    faults.append(entry)
                if res["scratch"]:
                    tally["scratch_left"] += 1
                    faults.append(entry)
            else:
                tally[status + "es" if status == "crash" else status + "s"] += 1
                entry["exit"] = res
                faults.append(entry)
                (work / f"fault_{n}_{name}").write_bytes(data)
                w = Worker(a.library)
            if log:
                log.write(json.dumps(entry) + "\n")
            shutil.rmtree(d, ignore_errors=True)
        w.proc.stdin.close()
        w.proc.wait()
        tally["faults"] = faults[:50]
        print(json.dumps(tally, indent=1))
        bad = tally["crashes"] + tally["hangs"] + tally["changed_sources"] + tally["scratch_left"]
        if bad:
            print(f"faulty inputs kept in {work}", file=sys.stderr)
            return 1
        return 0
    finally:
        if log:
            log.close()
        if not any(work.glob("fault_*")):
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
