#!/usr/bin/env python3
"""Makes the release that the "install" benchmark installs from.

Usage: make-install-release.py BUILD_DIR MIB OUT_DIR

OUT_DIR receives content/ (the port's files: the three runtimes, the game,
the uninstaller and the stand-in extraction helper, and MIB MiB of files of
mixed compressibility in sizes from 16 KiB to 8 MiB plus one of 48 MiB),
a fresh key, and Q.V.PC.Rure.Setup.exe made with tools/make-release.py.
"""
import importlib.util
import os
import random
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "tools", "make-release.py")
WORDS = [b"float4", b"uniform", b"sampler", b"return", b"texture", b"position", b"normal", b"{", b"}", b"=",
         b";", b"0.5f", b"vec3", b"light", b"shadow", b"const", b"struct", b"color", b"\"name\":"]


def content_bytes(generator, size, kind):
    if kind == 0:  # packed textures, audio: incompressible
        return generator.randbytes(size)
    if kind == 1:  # shaders, licences, JSON: text
        piece = b" ".join(generator.choice(WORDS) for _ in range(4096)) + b"\n"
        return (piece * (size // len(piece) + 1))[:size]
    out = bytearray()  # program-like: zeros, small numbers, random stretches
    while len(out) < size:
        run = generator.randrange(16, 256)
        pick = generator.randrange(3)
        out += bytes(run) if pick == 0 else bytes(generator.randrange(16) for _ in range(run)) if pick == 1 \
            else generator.randbytes(run)
    return bytes(out[:size])


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    build, mib, out = os.path.abspath(sys.argv[1]), int(sys.argv[2]), os.path.abspath(sys.argv[3])
    shutil.rmtree(out, ignore_errors=True)
    content = os.path.join(out, "content")
    os.makedirs(os.path.join(content, "extractor"))
    bin_folder = os.path.join(build, "bin")
    shutil.copyfile(os.path.join(bin_folder, "Q.V.PC.Rure.Setup.exe"), os.path.join(content, "qv-updater.exe"))
    shutil.copyfile(os.path.join(bin_folder, "pkg-extract-standin.exe"),
                    os.path.join(content, "extractor", "QV.PkgExtract.exe"))
    generator = random.Random(256)
    for name in ("amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll", "qv.exe"):
        with open(os.path.join(content, name), "wb") as f:
            f.write(content_bytes(generator, 2 << 20, 2))

    remaining = (mib << 20) - 4 * (2 << 20)
    sizes = [48 << 20] if remaining > (96 << 20) else []
    remaining -= sum(sizes)
    while remaining > 0:
        size = min(remaining, int(2 ** generator.uniform(14, 23)))
        sizes.append(size)
        remaining -= size
    for index, size in enumerate(sizes):
        folder = os.path.join(content, ("voices", "shaders", "textures", "fonts")[index % 4])
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"file-{index:04d}.bin"), "wb") as f:
            f.write(content_bytes(generator, size, 0 if index == 0 else index % 3))

    # The release tool takes only the program's own version.
    program = os.path.join(bin_folder, "Q.V.PC.Rure.Setup.exe")
    found = importlib.util.spec_from_file_location("make_release", TOOL)
    tool = importlib.util.module_from_spec(found)
    found.loader.exec_module(tool)
    with open(program, "rb") as f:
        version = tool.program_version(f.read())

    key = os.path.join(out, "release-key.pem")
    for step in (["keygen", key, os.path.join(out, "release-key.hex")],
                 ["release", program, content, key, version,
                  os.path.join(out, "Q.V.PC.Rure.Setup.exe"), "--level", "6"]):
        subprocess.run([sys.executable, TOOL, *step], check=True)


if __name__ == "__main__":
    main()
