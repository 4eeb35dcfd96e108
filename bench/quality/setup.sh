#!/usr/bin/env bash
# Installs what the quality benchmark needs beside a build of Tessera: the
# Python libraries of the metrics, the peer tools and butteraugli. The
# project's setup installs them with the build's own packages, and only what
# is missing.
set -euo pipefail
exec bash "$(dirname "$0")/../../scripts/setup.sh" \
  python3 python3-numpy python3-scipy python3-skimage python3-pil \
  imagemagick graphicsmagick pngquant libvips-tools \
  butteraugli \
  "$@"
