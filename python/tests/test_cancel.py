"""A cancelled, failing-progress or interrupted call leaves nothing behind."""

from __future__ import annotations

import os
import signal
import subprocess
import sys
import textwrap

import pytest

import orvkt

# (source, call writing into folder d, percentage at which progress stops it)
STOPS = {
    "wav_to_ds2": ("wav", lambda s, d, p: orvkt.convert(s, d / "o.ds2", "qp", progress=p), 60),
    "dss_to_dss": ("dss", lambda s, d, p: orvkt.convert(s, d / "o.ds2", "qp", progress=p), 75),
    "dss_to_wav": ("dss", lambda s, d, p: orvkt.convert(s, d / "o.wav", rate=16000, progress=p), 30),
    "mp3_to_wav": ("mp3", lambda s, d, p: orvkt.convert(s, d / "o.wav", progress=p), 70),
    "split": ("dss", lambda s, d, p: orvkt.split(s, 1, out_dir=d, progress=p), 60),
    "split_mp3": ("mp3", lambda s, d, p: orvkt.split(s, 1, out_dir=d, progress=p), 60),
    "join": ("dss", lambda s, d, p: orvkt.join([s, s, s], d / "j.dss", progress=p), 50),
    "split_stereo": ("stereo", lambda s, d, p: orvkt.split_stereo(s, d / "l.wav", d / "r.wav", progress=p), 50),
    "separate": ("marked", lambda s, d, p: orvkt.separate_instructions(s, d / "s.wav", progress=p), 50),
}


@pytest.mark.parametrize("how", ["cancel", "raise"])
@pytest.mark.parametrize("name", sorted(STOPS))
def test_stopped_call_leaves_no_file(rec, tmp_path, name, how):
    kind, call, at = STOPS[name]
    out = tmp_path / "out"
    out.mkdir()
    seen = []

    def progress(percent):
        seen.append(percent)
        if percent >= at:
            if how == "raise":
                raise LookupError("stop here")
            return True

    with pytest.raises(orvkt.Cancelled if how == "cancel" else LookupError):
        call(rec[kind], out, progress)
    assert max(seen) >= at
    assert sorted(os.listdir(out)) == []


CHILD = textwrap.dedent("""
    import os, signal, sys
    import orvkt
    src, dst = sys.argv[1:]
    def progress(percent):
        print("started", flush=True)
    try:
        orvkt.convert(src, dst, "sp", progress=progress)
        print("finished")
    except KeyboardInterrupt:
        print("interrupted", signal.getsignal(signal.SIGINT) is signal.default_int_handler)
""")


def test_ctrl_c_during_a_conversion_stops_it_and_leaves_nothing(rec, tmp_path):
    # Ten times the speech: a standard-play encoding of some seconds, so that
    # Ctrl-C arrives while the library works.
    long_wav = tmp_path / "long.wav"
    subprocess.run(["sox", *[str(rec["wav"])] * 10, str(long_wav)], check=True)
    out = tmp_path / "out"
    out.mkdir()
    child = subprocess.Popen([sys.executable, "-c", CHILD, str(long_wav), str(out / "o.dss")],
                             stdout=subprocess.PIPE, text=True, env=os.environ)
    assert child.stdout.readline().strip() == "started"
    child.send_signal(signal.SIGINT)
    rest, _ = child.communicate(timeout=60)
    assert rest.split()[-2:] == ["interrupted", "True"], rest
    assert os.listdir(out) == []
