#!/usr/bin/env bash
# Installs the Debian packages that the build, the program and the tests need.
# Does nothing when all of them are present; needs root (or sudo) otherwise.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang-format
  # make fuzz: clang with libFuzzer and the sanitizer runtimes
  clang libclang-rt-14-dev
  # libraries
  libmad0-dev zlib1g-dev qt6-base-dev qt6-multimedia-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-dbfread perl libdbd-xbase-perl
  xvfb xauth x11-utils xdotool sox lame mpg123
  # a private sound server with a null sink, for the audio output tests
  pulseaudio pulseaudio-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
