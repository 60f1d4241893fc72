#!/bin/bash
# Installs the build and test tools this project needs, when any is missing.
set -euo pipefail

# fonts-wine: Wine's own Tahoma, which the test prefix puts in place of "Segoe UI"
# (Wine has none); fonts-wqy-microhei: the Chinese and Japanese window texts.
packages=(cmake ninja-build g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest
          wine64 xvfb xauth util-linux python3 openssl fonts-wine fonts-wqy-microhei)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
