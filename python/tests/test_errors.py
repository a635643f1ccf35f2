"""The Python side's copy of C facts (result table, record layouts) and the mapping of failures."""

from __future__ import annotations

import ctypes
import re

import pytest

import orvkt
from orvkt import _native
from conftest import PASSWORD, REPO, cli


def c_result_table() -> dict[str, str]:
    """constant name -> message, from the library's one result table in C."""
    for candidate in (REPO / "include" / "OrvaneVktapiUtil.h", REPO / "src" / "api" / "result_codes.cpp"):
        if candidate.exists():
            text = candidate.read_text()
            # {VKT_X, "VKT_X", "message"} rows, or `case VKT_X: return "message";`
            rows = re.findall(r'\{\s*(VKT_\w+)\s*,[^{}]*?"((?:[^"\\]|\\.)*)"\s*\}', text)
            rows += re.findall(r'case\s+(VKT_\w+)\s*:\s*return\s*"((?:[^"\\]|\\.)*)"', text)
            if rows:
                return dict(rows)
    raise AssertionError("the C result table was not found")


def c_result_codes() -> dict[str, int]:
    header = (REPO / "include" / "OrvaneVktapi.h").read_text()
    return {name: int(value) for name, value in re.findall(r"#define\s+(VKT_(?:OK|CANCELLED|ERR\w*))\s+(\d+)u", header)}


def test_result_table_is_the_c_table():
    codes, messages = c_result_codes(), c_result_table()
    python = {name: (code, message) for code, (name, message) in orvkt.RESULTS.items()}
    assert python == {name: (codes[name], messages[name]) for name in codes}


def test_records_have_the_c_layout():
    header = (REPO / "include" / "OrvaneVktapi.h").read_text()
    checks = re.findall(r"offsetof\((\w+),\s*(\w+)\)\s*==\s*(\d+)", header)
    assert len(checks) > 20
    for record, member, offset in checks:
        assert getattr(_native, record).__dict__[member].offset == int(offset), (record, member)
    assert ctypes.sizeof(_native.WAVEFORMATEX) == 18
    assert ctypes.sizeof(_native.ZRM2HeaderInfo) == _native.HEADER_SIZE_FULL == 488
    exported = re.findall(r"ORVKT_API VKTRESULT (ORVKT\w+)\(", header)
    assert sorted(exported) == sorted(_native.PROTOTYPES) and len(exported) == 32


@pytest.mark.parametrize("call, kind, code", [
    (lambda r, t: orvkt.convert(t / "missing.dss", t / "x.wav"), orvkt.FileError, 14),
    (lambda r, t: orvkt.convert(r["broken"], t / "x.wav"), orvkt.FileError, 14),
    (lambda r, t: orvkt.load(r["secret"]), orvkt.PasswordError, 44),
    (lambda r, t: orvkt.load(r["secret"], password="wrong-pw"), orvkt.PasswordError, 44),
    (lambda r, t: orvkt.copy(r["dss"], r["wav"]), orvkt.FileError, 37),
    (lambda r, t: orvkt.mix_stereo(r["wav"], t / "x.wav"), orvkt.FormatError, 45),
    (lambda r, t: orvkt.encrypt(r["dss"], t / "x.dss", PASSWORD), orvkt.Error, 10),
    (lambda r, t: orvkt.split(r["lp"], 0), orvkt.Error, 10),
    (lambda r, t: orvkt.read_header(r["wma"]), orvkt.FileError, 16),
    (lambda r, t: orvkt.split_stereo(r["wav"], t / "l.wav", t / "r.wav"), orvkt.FormatError, 45),
    (lambda r, t: orvkt.repair_index(r["broken"], t / "x.dss"), orvkt.FileError, 14),
    (lambda r, t: orvkt.convert(r["wav"], t / "x.wav"), orvkt.FormatError, 23),
    (lambda r, t: orvkt.convert(r["wav"], t / "x.dss", progress=lambda p: True), orvkt.Cancelled, 2),
])
def test_failures_raise_their_kind_with_code_and_message(rec, tmp_path, call, kind, code):
    with pytest.raises(orvkt.Error) as caught:
        call(rec, tmp_path)
    e = caught.value
    assert type(e) is kind and e.code == code
    assert e.message == orvkt.RESULTS[code][1] and f"{code} {e.message}" in str(e)


def test_cli_reports_the_same_file_and_code(rec, tmp_path):
    run = cli("convert", rec["broken"], tmp_path / "x.wav", check=False)
    with pytest.raises(orvkt.Error) as caught:
        orvkt.convert(rec["broken"], tmp_path / "y.wav")
    assert run.returncode == caught.value.code
    # The tool says the reason in its own words; file and code are the same.
    assert run.stderr.startswith(f"orvkt: {rec['broken']}: ")
    assert run.stderr.endswith(f"(code {caught.value.code})\n")
