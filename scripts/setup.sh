#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git binutils
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev
  libssl-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  ffmpeg sox espeak-ng help2man
  python3 python3-numpy python3-scipy python3-mutagen
  python3-pytest python3-distributed python3-setuptools python3-wheel python3-pip python3-tqdm
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
