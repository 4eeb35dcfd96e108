#!/usr/bin/env bash
# Builds Tessera's three programs and converts the bundled sample picture to
# both target formats, with a BMP export and a PNG of each rendered picture,
# into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build
# Only the programs (tessera-convert with the Qt module it loads): the tests
# and benchmarks, most of a whole build, wait for the test command.
cmake --build build -j2 --target Tessera tessera-convert tessview
mkdir -p out
sample=samples/demo_snake_600x450.png
./build/cli/tessera-convert --format bmp1 --place fill --diffusion floyd-steinberg \
  --output out/snake.bmp1 --export-bmp out/snake_bmp1_out.bmp --png out/snake_bmp1.png "$sample"
./build/cli/tessera-convert --format bmp4 --place fill --diffusion floyd-steinberg \
  --output out/snake.bmp4 --export-bmp out/snake_bmp4_out.bmp --png out/snake_bmp4.png "$sample"
ls -l out/snake.bmp1 out/snake.bmp4 out/snake_bmp1_out.bmp out/snake_bmp4_out.bmp out/snake_bmp1.png out/snake_bmp4.png
echo "View them: ./build/viewer/tessview out/snake.bmp1   (any key closes the window)"
