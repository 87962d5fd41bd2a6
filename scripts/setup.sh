#!/usr/bin/env bash
# Installs every Debian package RecDesk needs to build, test and run.
# As root it runs apt-get itself; otherwise it prints the command to run.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache git python3
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  qt6-base-dev libftdi1-dev libsdl2-dev
  xvfb xauth sox
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: every package is installed"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing: ${missing[*]}"
  echo "setup: install them with:"
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}"
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: installed ${missing[*]}"
