#!/usr/bin/env python3
"""Makes the test releases for this test run, fresh each time (a ctest fixture).

Usage: make-test-releases.py BUILD_DIR

Writes into BUILD_DIR/test-releases/ (the test programs find it beside their
own folder BUILD_DIR/bin):
  release-key.pem, release-key.hex   a new Ed25519 key and its public key in hex
  content/                           the port's files of the releases (below)
  payload.bin                        their payload archive
  good/Q.V.PC.Rure.Setup.exe         complete release of version 1.1.0
  damaged-payload/Q.V.PC.Rure.Setup.exe
      a byte in the middle of the stream of "voice/modèle.bin" flipped
      before stamping, so the file passes its integrity check and fails
      extraction
  modified-after-stamp/Q.V.PC.Rure.Setup.exe
      the same byte changed after stamping (then signed), so the integrity
      check fails
  newer/Q.V.PC.Rure.Setup.exe        the same files released as version 2.0.0
  manifests/NAME.json, NAME.sig      each manifest of tests/fixtures/manifests
                                     and its 64-byte signature
  update-content/                    the files of the in-game update's release
  update/Q.V.PC.Rure.Setup.exe       those files released as version 1.2.0 (its
                                     "qv.exe" is the stand-in game)
  update-other-key/Q.V.PC.Rure.Setup.exe
      the same release signed with another key than the run's
  update-unsafe-path/Q.V.PC.Rure.Setup.exe
      the same release whose signed manifest also lists "../outside.txt"
  update-trailing-dot/, update-title-folder/, update-same-file/
      the same release whose signed manifest also lists "shaders/new.spv.",
      "CUSA09901/chunk1.psarc" or "Shaders/A.spv" (with the first file's data)
  update-unpacked/Q.V.PC.Rure.Setup.exe
      the same release whose signed manifest gives no stream position for
      "voice/en-us/mdef" (no offset and packed length)
  update-v/Q.V.PC.Rure.Setup.exe     the same release signed as version "v1.2.0"
Every release is made with the steps of tools/make-release.py run one by one;
the releases of other versions than the program's own (newer, update*) are
signed with its test-only option "--for-tests-any-version", and the update's
files, which bring no "qv-updater.exe", are packed with
"--for-tests-partial-port".
"""
import importlib.util
import json
import os
import random
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
MANIFESTS = os.path.join(HERE, "..", "fixtures", "manifests")
TOOL = os.path.join(HERE, "..", "..", "tools", "make-release.py")
PROGRAM_NAME = "Q.V.PC.Rure.Setup.exe"
VERSION = "1.1.0"
NEWER_VERSION = "2.0.0"
DAMAGED_ENTRY = "voice/modèle.bin"
UPDATE_VERSION = "1.2.0"


def load_tool():
    found = importlib.util.spec_from_file_location("make_release", TOOL)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def tool(*arguments):
    run = subprocess.run([sys.executable, TOOL, *arguments], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"make-release.py {' '.join(arguments)} failed:\n{run.stderr}")
    return run.stdout


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_content(folder, bin_folder):
    """The port's files: the three runtimes, the game, the uninstaller (the
    program itself), the stand-in extraction helper, and files that exercise
    the format: an empty file, incompressible data, blanks and a non-ASCII
    letter in names."""
    generator = random.Random(1101)
    write(os.path.join(folder, "qv.exe"), b"Q.V. DU Vora 1.1.0 (test build)\n" * 256)
    for runtime in ("amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll"):
        write(os.path.join(folder, runtime), (runtime + " (test runtime)\n").encode() * 64)
    shutil.copyfile(os.path.join(bin_folder, PROGRAM_NAME), os.path.join(folder, "qv-updater.exe"))
    os.makedirs(os.path.join(folder, "extractor"))
    shutil.copyfile(os.path.join(bin_folder, "pkg-extract-standin.exe"),
                    os.path.join(folder, "extractor", "QV.PkgExtract.exe"))
    write(os.path.join(folder, "shaders", "post.spv"), bytes(range(256)) * 64)
    write(os.path.join(folder, "shaders", "empty.spv"), b"")
    write(os.path.join(folder, "licenses", "Third party notices.txt"), b"Notices of the test release.\n")
    write(os.path.join(folder, DAMAGED_ENTRY), generator.randbytes(65536))
    write(os.path.join(folder, "README.md"), b"# Q.V. DU Vora (test release)\n")


def make_update_content(folder, bin_folder):
    """The release an older installation is updated to: the stand-in game as
    "qv.exe" (it confirms its start as the test tells it), the three
    runtimes, the shaders of the new release, one file the older installation
    already holds unchanged ("voice/en-us/mdef") and one larger file of
    incompressible bytes."""
    os.makedirs(folder)
    shutil.copyfile(os.path.join(bin_folder, "qv.exe"), os.path.join(folder, "qv.exe"))
    for runtime in ("amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll"):
        write(os.path.join(folder, runtime), (runtime + " 1.2.0 (test runtime)\n").encode() * 64)
    write(os.path.join(folder, "shaders", "a.spv"), b"new a")
    write(os.path.join(folder, "shaders", "b.spv"), b"new b")
    write(os.path.join(folder, "voice", "en-us", "mdef"), b"old acoustic model")
    write(os.path.join(folder, "voice", "noise.bin"), random.Random(1201).randbytes(300000))


def resign_with_manifest(setup, key, change):
    """Replaces the setup file's signed overlay by one whose manifest is the
    release tool's manifest changed by `change` (a function of the parsed
    document), signed with `key`."""
    module = load_tool()
    package = module._read_without_overlay(setup)
    document = json.loads(module.build_manifest(package, UPDATE_VERSION))
    change(document)
    manifest = (json.dumps(document, indent=1, ensure_ascii=False) + "\n").encode("utf-8")
    signature = module.sign_bytes(manifest, key)
    offset = len(package)
    trailer = module.struct.pack("<8sQQQQQ", module.TRAILER_MAGIC, 1, offset, len(manifest),
                                 offset + len(manifest), module.SIGNATURE_SIZE)
    with open(setup, "wb") as f:
        f.write(package + manifest + signature + trailer)


def add_unsafe_path(document):
    add_entry_named("../outside.txt")(document)


def add_entry_named(path):
    """A change that lists the first file once more under `path`."""
    def change(document):
        files = document["files"]["windows"]
        entry = dict(files[0])
        entry["path"] = path
        files.append(entry)
    return change


def without_stream_position(document):
    for entry in document["files"]["windows"]:
        if entry["path"] == "voice/en-us/mdef":
            del entry["offset"]
            del entry["packed"]


def make_update_releases(out, program, key, bin_folder):
    content = os.path.join(out, "update-content")
    make_update_content(content, bin_folder)
    payload = os.path.join(out, "update-payload.bin")
    # The update brings no "qv-updater.exe": the installation keeps its own.
    tool("pack", "--for-tests-partial-port", content, payload)

    def release(name, signing_key, version=UPDATE_VERSION):
        setup = os.path.join(out, name, PROGRAM_NAME)
        tool("embed", program, payload, setup)
        tool("stamp", setup)
        # Made from this build's program, whose own version is VERSION.
        tool("sign", "--for-tests-any-version", setup, signing_key, version)
        return setup

    release("update", key)
    other_key = os.path.join(out, "other-key.pem")
    tool("keygen", other_key, os.path.join(out, "other-key.hex"))
    release("update-other-key", other_key)
    resign_with_manifest(release("update-unsafe-path", key), key, add_unsafe_path)
    resign_with_manifest(release("update-trailing-dot", key), key, add_entry_named("shaders/new.spv."))
    resign_with_manifest(release("update-title-folder", key), key, add_entry_named("CUSA09901/chunk1.psarc"))
    resign_with_manifest(release("update-same-file", key), key, add_entry_named("Shaders/A.spv"))
    resign_with_manifest(release("update-unpacked", key), key, without_stream_position)
    release("update-v", key, "v" + UPDATE_VERSION)


def flip_byte_in_stream(setup, entry):
    for line in tool("entries", setup).splitlines():
        offset, packed, _size, _digest, name = line.split(" ", 4)
        if name == entry:
            at = int(offset) + int(packed) // 2
            with open(setup, "r+b") as f:
                f.seek(at)
                byte = f.read(1)
                f.seek(at)
                f.write(bytes([byte[0] ^ 0x5A]))
            return
    sys.exit(f"{setup}: no payload entry {entry}")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    bin_folder = os.path.join(build, "bin")
    out = os.path.join(build, "test-releases")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)

    key = os.path.join(out, "release-key.pem")
    tool("keygen", key, os.path.join(out, "release-key.hex"))
    content = os.path.join(out, "content")
    make_content(content, bin_folder)
    payload = os.path.join(out, "payload.bin")
    tool("pack", content, payload)
    program = os.path.join(bin_folder, PROGRAM_NAME)

    good = os.path.join(out, "good", PROGRAM_NAME)
    tool("embed", program, payload, good)
    tool("stamp", good)
    tool("sign", good, key, VERSION)

    damaged = os.path.join(out, "damaged-payload", PROGRAM_NAME)
    tool("embed", program, payload, damaged)
    flip_byte_in_stream(damaged, DAMAGED_ENTRY)
    tool("stamp", damaged)
    tool("sign", damaged, key, VERSION)

    modified = os.path.join(out, "modified-after-stamp", PROGRAM_NAME)
    tool("embed", program, payload, modified)
    tool("stamp", modified)
    flip_byte_in_stream(modified, DAMAGED_ENTRY)
    tool("sign", modified, key, VERSION)

    newer = os.path.join(out, "newer", PROGRAM_NAME)
    tool("embed", program, payload, newer)
    tool("stamp", newer)
    tool("sign", "--for-tests-any-version", newer, key, NEWER_VERSION)

    make_update_releases(out, program, key, bin_folder)

    manifests = os.path.join(out, "manifests")
    os.makedirs(manifests)
    for name in sorted(os.listdir(MANIFESTS)):
        if name.endswith(".json"):
            copy = os.path.join(manifests, name)
            shutil.copyfile(os.path.join(MANIFESTS, name), copy)
            tool("sign-file", key, copy, copy[:-len(".json")] + ".sig")


if __name__ == "__main__":
    main()
