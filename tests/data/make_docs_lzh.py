#!/usr/bin/env python3
"""Writes docs.lzh: an LHA archive of two stored (-lh0-) members in level-0
headers, the second named in code page 932 as LHA for MS-DOS and Windows
did. Run from tests/data; the output is committed, so tests need no LHA tool."""

def crc16(data):  # CRC-16/ARC, as LHA uses
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc

def member(name, data):
    dos_time, dos_date = 0x0000, (1998 - 1980) << 9 | 4 << 5 | 1  # 1998-04-01 00:00
    body = (b"-lh0-" + len(data).to_bytes(4, "little") + len(data).to_bytes(4, "little")
            + dos_time.to_bytes(2, "little") + dos_date.to_bytes(2, "little")
            + b"\x20\x00" + bytes([len(name)]) + name + crc16(data).to_bytes(2, "little"))
    return bytes([len(body), sum(body) & 0xFF]) + body + data

with open("lorem-ipsum.txt", "rb") as f:
    text = f.read()
with open("TestMickey.doc", "rb") as f:
    doc = f.read()
with open("docs.lzh", "wb") as out:
    out.write(member(b"lorem-ipsum.txt", text) + member("文書.doc".encode("cp932"), doc) + b"\x00")
