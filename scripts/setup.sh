#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and benchmarking need
# (and `file`, which `cpack -G DEB` needs to make the package), and any further
# packages named as arguments. Safe to run again: it installs only what is
# missing, and says nothing when nothing is.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-image-formats-plugins
  libgl-dev libxkbcommon-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev
  libdeflate-dev zlib1g-dev
  libjpeg-dev
  xvfb xauth fonts-dejavu-core
  help2man
  file
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "setup.sh: ${#missing[@]} Debian packages are missing: ${missing[*]}" >&2
      echo "setup.sh: run this script as root, or install sudo, to install them" >&2
      exit 1
    fi
    SUDO="sudo"
  fi
  # apt-get is kept quiet, so say what it is doing: on a fresh machine it
  # takes minutes before the build starts.
  echo "Installing ${#missing[@]} Debian packages (this takes a few minutes): ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  echo "Reading the package lists (apt-get update)..."
  $SUDO apt-get update -qq
  echo "Downloading and installing the packages (apt-get install)..."
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "Installed ${#missing[@]} packages."
fi
