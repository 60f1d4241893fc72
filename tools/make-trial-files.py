#!/usr/bin/env python3
"""Makes the files of a trial release from a build, for trying releases,
installs and updates on one computer (README, "Serving your own releases").

Usage:
  make-trial-files.py port BUILD FOLDER
      Writes a port folder for tools/make-release.py into FOLDER (which must
      not exist yet): the build's stand-in game (BUILD/bin/qv.exe, from
      tests/helpers/qv.cpp) as "qv.exe", a copy of the build's program
      (BUILD/bin/Q.V.PC.Rure.Setup.exe) as "qv-updater.exe", the three
      runtimes as small placeholder files, and "trial-notes.txt" naming the
      program's version, so that the ports of two versions differ in more
      than the updater.
  make-trial-files.py game FOLDER
      Writes a stand-in for a player's dumped game into FOLDER/CUSA09901
      (FOLDER must not exist yet): small game archives that pass the setup's
      checks, the path-ID list, and in "sce_sys" a "param.sfo" naming the
      title and the pictures "icon0.png" and "pic1.png". It holds none of the
      game: an installation made from it updates and uninstalls like any
      other, but the game does not run on it.
"""
import importlib.util
import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM_NAME = "Q.V.PC.Rure.Setup.exe"
RUNTIMES = ("amd_fidelityfx_vk.dll", "nvngx_dlss.dll", "libxess.dll")
TITLE_ID = "CUSA09901"


def load_release_tool():
    found = importlib.util.spec_from_file_location("make_release", os.path.join(HERE, "make-release.py"))
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_port(build, folder):
    bin_folder = os.path.join(build, "bin")
    program = os.path.join(bin_folder, PROGRAM_NAME)
    game = os.path.join(bin_folder, "qv.exe")
    for needed in (program, game):
        if not os.path.isfile(needed):
            sys.exit(f"make-trial-files.py port: {needed} is missing; build it first "
                     f"(tools/build.sh --target qv_setup_program qv)")
    with open(program, "rb") as f:
        version = load_release_tool().program_version(f.read())
    os.makedirs(folder)
    shutil.copyfile(game, os.path.join(folder, "qv.exe"))
    shutil.copyfile(program, os.path.join(folder, "qv-updater.exe"))
    for runtime in RUNTIMES:
        write(os.path.join(folder, runtime), f"{runtime}: a placeholder of the trial release\n".encode())
    write(os.path.join(folder, "trial-notes.txt"), f"Trial release {version}\n".encode())
    print(f"{folder}: the port of a trial release of version {version}")


def param_sfo(title_id):
    """A param.sfo with one UTF-8 text entry, TITLE_ID."""
    key, value, slot = b"TITLE_ID\0", title_id.encode() + b"\0", 64
    keys = key + bytes(-len(key) % 4)
    key_table = 20 + 16
    header = b"\0PSF" + struct.pack("<IIII", 0x00000101, key_table, key_table + len(keys), 1)
    index = struct.pack("<HHIII", 0, 0x0204, len(value), slot, 0)
    return header + index + keys + value + bytes(slot - len(value))


def make_game(folder):
    os.makedirs(folder)
    title = os.path.join(folder, TITLE_ID)
    # What the setup checks of the archives: "PSAR" at the start of the
    # first, "aq" 14 bytes before the end of the second.
    write(os.path.join(title, "chunk1.psarc"), b"PSAR" + bytes(60))
    texture = bytearray(64)
    texture[64 - 36 + 22:64 - 36 + 24] = b"aq"
    write(os.path.join(title, "texture.qar"), bytes(texture))
    write(os.path.join(title, "pathid_list_ps4.bin"),
          b"/Assets/xq/level/qv14_hallway/geometry.bin\n/Assets/xq/ui/menu.bin\n")
    png = b"\x89PNG\r\n\x1a\n"
    write(os.path.join(title, "sce_sys", "param.sfo"), param_sfo(TITLE_ID))
    write(os.path.join(title, "sce_sys", "icon0.png"), png + b"trial icon")
    write(os.path.join(title, "sce_sys", "pic1.png"), png + b"trial title picture")
    print(f"{title}: a stand-in for a dumped game")


def main(argv):
    try:
        if len(argv) == 3 and argv[0] == "port":
            make_port(os.path.abspath(argv[1]), os.path.abspath(argv[2]))
        elif len(argv) == 2 and argv[0] == "game":
            make_game(os.path.abspath(argv[1]))
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except FileExistsError as error:
        print(f"make-trial-files.py {argv[0]}: {error.filename} exists already; name a new folder",
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
