#!/usr/bin/python3
"""Writes ellip_coefficients.txt: reference low-pass filters for the rate
converter stages, designed by scipy (Debian's python3-scipy), independent of
the library's own designer.

Each line: design rate, pass-band edge, then the 7 numerator and the 7
denominator coefficients of scipy.signal.ellip(6, 1, 60, edge / (rate / 2)),
the digital elliptic low-pass of order 6 with 1 dB ripple and 60 dB
attenuation (pre-warped bilinear transform, DC gain 10^(-1/20)).

Run: /usr/bin/python3 tests/data/make_ellip_coefficients.py
"""
import os

from scipy import signal

# (design rate, pass-band edge) of stages the planner builds, one for each
# distinct edge-to-rate ratio: 16000->8000 (1/4), 8000->14000 (1/14),
# 14000->21000 (1/6), 21000->15750 (1/8), 15750->11025 (1/20),
# 12600->11025 (1/16).
STAGES = [
    (16000, 4000),
    (56000, 4000),
    (42000, 7000),
    (63000, 7875),
    (110250, 5512.5),
    (88200, 5512.5),
]

here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "ellip_coefficients.txt"), "w") as out:
    out.write("# rate edge b0..b6 a0..a6 (scipy.signal.ellip(6, 1, 60, edge/(rate/2)))\n")
    for rate, edge in STAGES:
        b, a = signal.ellip(6, 1, 60, edge / (rate / 2.0))
        values = [rate, edge] + list(b) + list(a)
        out.write(" ".join(repr(float(v)) for v in values) + "\n")
