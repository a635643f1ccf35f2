#!/usr/bin/python3
"""Writes the dss_open_walk seeds next to this script: hand-laid DSS/DS2 files of
every mode, a template, encrypted headers of both versions (password "abcd"; the
data is not really encrypted), corrupt and truncated blocks, a foreign licensee."""
import hashlib
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "dss_open_walk")


def header1(n, self_id, licensee=3, version=0xFFFF, salt=b"\xff" * 16, check=b"\xff" * 4):
    h = bytearray(b"\xff" * 512)
    h[0] = n
    h[1:4] = self_id
    pro = self_id != b"dss"
    h[4:8] = struct.pack("<HH", 2 if pro else 1, 3 if pro else 1)
    h[8:12] = struct.pack("<I", licensee)
    h[12:32] = bytes(20)
    h[32:38] = struct.pack("<HHH", 0xFFFD if n < 2 else 0xFFFE, 0xFFFE, 0xFFF7)
    h[38:50] = b"000000000000"
    h[62:68] = b"000000"
    h[69] = 0
    h[326:328] = struct.pack("<H", version)
    h[328:344] = salt
    h[344:348] = check
    return bytes(h)


def header2(cid):
    h = bytearray(512)
    h[0:2] = struct.pack("<H", 1)
    h[16:18] = struct.pack("<H", cid)
    h[424:504] = b"\xff" * 80
    return bytes(h)


def block(pointer, count, cid, payload, at=6):
    b = bytearray(512)
    word = pointer * 128 + 15
    b[0] = word >> 8
    b[1] = word & 0xFF
    b[2] = 0xFF
    b[3] = count
    b[4] = 0xFF
    b[5] = cid
    b[at:at + len(payload)] = payload[: 512 - at]
    # Stored with every byte pair swapped.
    s = bytearray(512)
    s[0::2] = b[1::2]
    s[1::2] = b[0::2]
    return bytes(s)


def frames(n, size, seed):
    out = b""
    for i in range(n):
        out += bytes(((seed + i) * 7 + j * 3 + 1) & 0xFF for j in range(size))
    return out


def sp_file(cid=0, n_headers=1, self_id=b"dss"):
    data = frames(40, 41, 1)
    b1 = block(6, 13, cid, data[:506])
    b2 = block(6 + 27, 13, cid, data[506:1012])
    b3 = block(6 + 13, 14, cid, data[1012:])
    heads = header1(n_headers, self_id) + (header2(cid) if n_headers >= 2 else b"") + (b"\xff" * 512 if n_headers >= 3 else b"")
    return heads + b1 + b2 + b3


def password_block(password, salt):
    p = password.ljust(16, b"\0")[:16]
    return bytes(a ^ b for a, b in zip(p, salt))


def encrypted(version):
    salt = bytes((i * 29 + version) & 0xFF for i in range(16))
    digest = (hashlib.sha1 if version == 1 else hashlib.sha384)(password_block(b"abcd", salt)).digest()
    at = 16 if version == 1 else 32
    h = header1(2, b"enc", version=version, salt=salt, check=digest[at:at + 4])
    return h + header2(0) + block(6, 12, 0, frames(12, 41, 9))


os.makedirs(OUT, exist_ok=True)
seeds = {
    "sp_parted.dss": sp_file(),
    "sp_three_headers.ds2": sp_file(0, 3, b"ds2"),
    "template.ds2": header1(3, b"ds2") + header2(6) + b"\xff" * 512,
    "variable_id1.dss": header1(1, b"dss") + block(12, 13, 1, (b"\x05" + bytes(8)) * 6 + frames(7, 41, 130)),
    "longplay_id3.ds2": header1(1, b"ds2") + block(6, 21, 3, (b"\x00\x02\x00\x00" + bytes(20)) * 21),
    "quality_id6.ds2": header1(2, b"ds2") + header2(6) + block(6, 10, 6, frames(10, 56, 3)) + block(60, 1, 6, frames(1, 56, 4)),
    "encrypted_v1.ds2": encrypted(1),
    "encrypted_v2.ds2": encrypted(2),
    "corrupt.dss": header1(1, b"dss") + block(6, 14, 0, b"") + block(40, 13, 0, b"") + block(6, 1, 9, b"") + block(511, 1, 0, b"\x80"),
    "truncated.dss": (header1(1, b"dss") + block(6, 13, 0, frames(13, 41, 5)))[:900],
    "olympus.dss": header1(3, b"dss", licensee=2) + b"\x00" * 1024 + block(6, 2, 0, frames(2, 41, 7)),
}
for name, data in seeds.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)

