#!/usr/bin/python3
"""Reads telvar's pictures for the tests with the standard library alone: `facts FILE.svg`
prints {id: {"class": [...], "texts": [...]}} for every element with an id; `variety FILE.png`
prints {"width", "height", "colours", "dominant" (share of the commonest colour)}."""
import json
import struct
import sys
import xml.etree.ElementTree as ET
import zlib
from collections import Counter


def facts(path):
    return {e.get("id"): {"class": e.get("class", "").split(),
                          "texts": ["".join(t.itertext()) for t in e.iter("{http://www.w3.org/2000/svg}text")]}
            for e in ET.parse(path).getroot().iter() if e.get("id") is not None}


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def variety(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", data[pos + 8:pos + 21])
        elif kind == b"IDAT":
            idat += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = header or (0, 0, 0, 0, 0, 0, 0)
    if depth != 8 or colour_type not in (2, 6) or interlace != 0:
        raise ValueError(f"unsupported PNG: depth {depth}, colour type {colour_type}, interlace {interlace}")
    bpp, raw = (3 if colour_type == 2 else 4), zlib.decompress(idat)
    stride, previous, counts = width * bpp, bytearray(width * bpp), Counter()
    for y in range(height):  # undo each scanline's filter, then count its pixels
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left, up = (line[i - bpp] if i >= bpp else 0), previous[i]
            corner = previous[i - bpp] if i >= bpp else 0
            line[i] = (line[i] + (0, left, up, (left + up) >> 1, paeth(left, up, corner))[kind]) & 0xFF
        counts.update(bytes(line[i:i + bpp]) for i in range(0, stride, bpp))
        previous = line
    return {"width": width, "height": height, "colours": len(counts),
            "dominant": counts.most_common(1)[0][1] / (width * height)}


if __name__ == "__main__":
    try:
        json.dump({"facts": facts, "variety": variety}[sys.argv[1]](sys.argv[2]), sys.stdout)
    except (IndexError, KeyError, OSError, ValueError, ET.ParseError, zlib.error, struct.error) as e:
        sys.exit(f"picture_check.py facts FILE.svg | variety FILE.png: {e!r}")
