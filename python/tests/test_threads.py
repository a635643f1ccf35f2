"""Threads convert side by side: a pool of 4 writes exactly what one thread writes."""

from __future__ import annotations

from concurrent.futures import ThreadPoolExecutor

import numpy

import orvkt
from conftest import PASSWORD

# (source, destination name, options): every conversion path, twice over,
# so that the same path runs in two threads at once.
JOBS = [
    (kind, f"{n}_{out}", options)
    for n in range(2)
    for kind, out, options in [
        ("dss", "a.wav", {"rate": 16000}),
        ("secret", "b.wav", {"rate": 8000, "password": PASSWORD}),
        ("lp", "c.wav", {"rate": 22050}),
        ("wav", "d.dss", {}),
        ("wav", "e.ds2", {"format": "qp"}),
        ("dss", "f.ds2", {"format": "qp"}),
        ("mp3", "g.wav", {"rate": 11025}),
        ("wma", "h.wav", {"rate": 16000}),
        ("wav", "i.wav", {"rate": 44100, "format": "pcm8"}),
    ]
]


def test_pool_of_four_writes_what_one_thread_writes(rec, tmp_path):
    serial, pooled = tmp_path / "serial", tmp_path / "pooled"
    serial.mkdir()
    pooled.mkdir()
    for kind, out, options in JOBS:
        orvkt.convert(rec[kind], serial / out, **options)

    def job(j):
        kind, out, options = j
        # With a progress function, so that callbacks come from every thread.
        orvkt.convert(rec[kind], pooled / out, progress=lambda p: None, **options)

    with ThreadPoolExecutor(4) as pool:
        list(pool.map(job, JOBS))
    names = sorted(p.name for p in serial.iterdir())
    assert names == sorted(p.name for p in pooled.iterdir()) and len(names) == len(JOBS)
    for name in names:
        assert (serial / name).read_bytes() == (pooled / name).read_bytes(), name


def test_pool_of_four_loads_what_one_thread_loads(rec):
    kinds = ["dss", "ds2", "lp", "mp3", "wma", "wav", "stereo", "dss"]
    alone = [orvkt.load(rec[k]) for k in kinds]
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda k: orvkt.load(rec[k]), kinds))
    assert all(numpy.array_equal(a, b) for a, b in zip(alone, together))
