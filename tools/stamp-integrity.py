#!/usr/bin/env python3
"""Stamps a freshly linked setup program with its integrity digest.

The program carries a 16-byte marker followed by a 32-byte digest field. This
tool zeroes the field, computes the SHA-256 of the whole file and writes the 32
digest bytes into the field, so that the program's own check of itself passes.
The marker must occur exactly once in the file; anything else fails the build,
because the program's check would fail the same way. Stamping again gives the
same file. The release's signed overlay is appended after stamping and is not
part of the digest.

Usage: stamp-integrity.py PROGRAM
"""
import hashlib
import sys

# Spelt in two halves so that this file does not match its own search.
MARKER = b"~QV-INTEGRITY" + b"-v1"
DIGEST_SIZE = 32


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    path = sys.argv[1]
    with open(path, "rb") as f:
        image = bytearray(f.read())

    positions = []
    at = image.find(MARKER)
    while at != -1:
        positions.append(at)
        at = image.find(MARKER, at + 1)
    if len(positions) != 1:
        sys.exit(f"{path}: the integrity marker occurs {len(positions)} times; it must occur exactly once")
    field = positions[0] + len(MARKER)
    if field + DIGEST_SIZE > len(image):
        sys.exit(f"{path}: the integrity digest field runs past the end of the file")

    image[field:field + DIGEST_SIZE] = bytes(DIGEST_SIZE)
    image[field:field + DIGEST_SIZE] = hashlib.sha256(image).digest()
    with open(path, "r+b") as f:
        f.seek(field)
        f.write(image[field:field + DIGEST_SIZE])


if __name__ == "__main__":
    main()
