#!/usr/bin/env python3
"""make_payload.py OUTPUT SIZE: a deterministic test payload of SIZE bytes
that begins with "MZ", like the program an installer carries. The rest is
a fixed pseudo-random stream, so that a payload cut at the wrong place or
shifted by any number of bytes cannot compare equal."""
import random
import sys

output, size = sys.argv[1], int(sys.argv[2])
stream = random.Random(20240607)
with open(output + ".part", "wb") as f:
    f.write(b"MZ"[:size])
    left = size - min(size, 2)
    while left:
        chunk = min(left, 1 << 24)
        f.write(stream.randbytes(chunk))
        left -= chunk
import os
os.replace(output + ".part", output)
