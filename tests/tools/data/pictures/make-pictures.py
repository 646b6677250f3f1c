#!/usr/bin/env python3
# Makes the small test pictures of ringwatcher-book's picture tests (run in this folder; needs cjpeg
# from libjpeg-turbo-progs). Four quadrants, red green / blue white, tell orientation and cropping.
import struct, subprocess, zlib

def quadrants(w, h):
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            left, top = x < w // 2, y < h // 2
            row += {(True, True): b"\xff\0\0", (False, True): b"\0\xff\0",
                    (True, False): b"\0\0\xff", (False, False): b"\xff\xff\xff"}[(left, top)]
        rows.append(bytes(row))
    return b"P6\n%d %d\n255\n" % (w, h) + b"".join(rows)

def cjpeg(ppm, *options):
    return subprocess.run(["cjpeg", "-quality", "90", *options], input=ppm, capture_output=True, check=True).stdout

def with_orientation(jpeg, orientation):
    # An Exif APP1 segment holding only the orientation tag, right after SOI.
    tiff = b"MM\0\x2a\0\0\0\x08" + struct.pack(">HHHIHHI", 1, 0x0112, 3, 1, orientation, 0, 0)
    payload = b"Exif\0\0" + tiff
    return jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload + jpeg[2:]

def png_rgba(w, h):
    # Left half transparent, right half opaque black.
    raw = b"".join(b"\0" + b"".join(b"\0\0\0\0" if x < w // 2 else b"\0\0\0\xff" for x in range(w)) for _ in range(h))
    chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

open("photo.jpg", "wb").write(cjpeg(quadrants(720, 540)))
open("progressive.jpg", "wb").write(cjpeg(quadrants(320, 240), "-progressive"))
open("turned.jpg", "wb").write(with_orientation(cjpeg(quadrants(320, 240)), 6))
open("logo.png", "wb").write(png_rgba(80, 60))

# photo.heic, an iPhone's kind of photo, is photo.jpg through heif-enc (libheif-examples):
#     heif-enc -q 20 photo.jpg -o photo.heic
