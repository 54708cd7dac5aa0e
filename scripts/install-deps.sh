#!/usr/bin/env bash
# Installs every Debian package the station needs to build, run and test.
# Safe to run again: apt-get only installs what is missing.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: run as root (it installs Debian packages)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive

packages=(
  build-essential g++ cmake ninja-build pkg-config
  qt6-base-dev libqt6sql6-sqlite libgl-dev
  libsqlite3-dev
  libxerces-c-dev
  libssl-dev
  libgtest-dev libgmock-dev
  libbenchmark-dev
  python3 python3-aiosmtpd
  xvfb xauth x11-utils
  qt6-multimedia-dev
  openbox xdotool
  poppler-utils
  libx11-dev
  clang-format clang-tidy
)

apt-get update
apt-get install -y --no-install-recommends "${packages[@]}"
