#!/usr/bin/env bash
# Installs the Debian 12 packages that the picture-quality benchmark needs:
# Debian's Python with numpy, SciPy, scikit-image and Pillow (built with
# libimagequant), the peer programs, and butteraugli. Safe to run again: it
# installs only what is missing. Building Tessera needs none of them.
set -euo pipefail

packages=(
  python3 python3-numpy python3-scipy python3-skimage python3-pil
  imagemagick graphicsmagick pngquant libvips-tools
  butteraugli
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
