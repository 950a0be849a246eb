#!/usr/bin/env python3
"""make_payload.py OUTPUT SIZE: a deterministic test payload of SIZE bytes
that begins like the program an installer carries: "MZ", and "PE\\0\\0" at
0x40 where the DOS header points (SIZE is at least 68). The rest is a
fixed pseudo-random stream, so that a payload cut at the wrong place or
shifted by any number of bytes cannot compare equal."""
import random
import sys

output, size = sys.argv[1], int(sys.argv[2])
if size < 0x44:
    sys.exit("make_payload.py: a program needs at least 68 bytes")
stream = random.Random(20240607)
header = b"MZ" + stream.randbytes(0x3A) + (0x40).to_bytes(4, "little") + b"PE\0\0"
with open(output + ".part", "wb") as f:
    f.write(header)
    left = size - len(header)
    while left:
        chunk = min(left, 1 << 24)
        f.write(stream.randbytes(chunk))
        left -= chunk
import os
os.replace(output + ".part", output)
