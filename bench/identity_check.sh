#!/usr/bin/env bash
# Byte-identity check of tessera-convert against a reference build: both
# programs convert the same pictures with the same settings, and every file
# they write (targets, BMP exports, PNGs) and every message they print must be
# the same, byte for byte. Run it after every change that is meant to leave the
# results alone (speed work, refactoring).
#
# Usage: bench/identity_check.sh [BUILD_DIR] [REFERENCE_TOOL]
#   BUILD_DIR        build to check (default: build)
#   REFERENCE_TOOL   tessera-convert of the reference build
#                    (default: /tmp/baseline-build/cli/tessera-convert)
#
# The pictures are the samples, copied under other names, plus (when
# ImageMagick's /usr/bin/convert is installed) a 1024 x 768 enlargement and a noisy
# picture with many colours. Batches of several pictures in one process check
# that a conversion does not depend on the pictures converted before it.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
new_tool="$build/cli/tessera-convert"
old_tool="$(realpath "${2:-/tmp/baseline-build/cli/tessera-convert}")"
for t in "$new_tool" "$old_tool"; do
  [ -x "$t" ] || { echo "no $t" >&2; exit 2; }
done

work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/pics" "$work/old" "$work/new" "$work/tmp"

cp "$here/samples/demo_snake_600x450.jpg" "$work/pics/snake_a.jpg"
cp "$here/samples/demo_snake_600x450.png" "$work/pics/snake_b.png"
cp "$here/samples/hand_transparent_20x22.gif" "$work/pics/hand_c.gif"
cp "$here/samples/rose_alpha_400x301.png" "$work/pics/rose_d.png"
magick=/usr/bin/convert
if [ -x "$magick" ]; then
  "$magick" "$here/samples/demo_snake_600x450.png" -resize '1024x768!' -quality 92 "$work/pics/photo_e.jpg"
  "$magick" "$here/samples/rose_alpha_400x301.png" -resize '1024x768!' "$work/pics/rose_f.png"
  "$magick" -seed 7 -size 200x150 xc: +noise Random "$work/pics/noise_g.png"
fi
pictures=()
for p in "$work/pics"/*; do pictures+=("$(basename "$p")"); done
reversed=()
for ((i = ${#pictures[@]} - 1; i >= 0; i--)); do reversed+=("${pictures[i]}"); done

runs=0
failures=0

# Runs both programs in fresh copies of the pictures with the given arguments
# (picture names and output names relative to the copies) and compares every
# file they leave and what they print.
check() {
  local label="$1"
  shift
  local side tool
  for side in old new; do
    tool="$old_tool"
    [ "$side" = new ] && tool="$new_tool"
    rm -rf "${work:?}/$side"
    mkdir -p "$work/$side"
    cp "$work/pics"/* "$work/$side/"
    set +e
    (cd "$work/$side" && TMP="$work/tmp" "$tool" "$@" >"$work/$side.out" 2>"$work/$side.err")
    echo "$?" >"$work/$side.rc"
    set -e
    # Progress lines of parallel conversions come in any order, and their
    # counters with them; on one thread the order is checked as it is.
    if [ "$1" = -j ] && [ "$2" != 1 ]; then
      sed 's/^\[[0-9]*\/[0-9]*\] //' "$work/$side.err" | sort -o "$work/$side.err"
    fi
  done
  runs=$((runs + 1))
  local bad=""
  for f in out err rc; do
    cmp -s "$work/old.$f" "$work/new.$f" || bad="$bad $f"
  done
  local names
  names="$(cd "$work/old" && ls | sort) $(cd "$work/new" && ls | sort)"
  for f in $(printf '%s\n' $names | sort -u); do
    if [ ! -e "$work/old/$f" ] || [ ! -e "$work/new/$f" ] || ! cmp -s "$work/old/$f" "$work/new/$f"; then
      bad="$bad $f"
    fi
  done
  if [ -n "$bad" ]; then
    failures=$((failures + 1))
    echo "DIFFERENT: $label ($*):$bad"
    [ -n "${STOP:-}" ] && { echo "kept in $work"; exit 1; }
  fi
}

# Every method x diffusion x ordered pre-pass x format, all pictures in one
# process on two threads (targets beside the pictures).
for format in bmp1 bmp4; do
  for method in median-cut kmeans colorq; do
    for diffusion in none floyd-steinberg atkinson burkes stucki; do
      for bayer in "" --bayer; do
        check "batch" -j 2 -f "$format" --method "$method" --diffusion "$diffusion" $bayer "${pictures[@]}"
      done
    done
  done
done

# The same pictures in the other order on one thread: each picture must come
# out as it does after any other.
for format in bmp1 bmp4; do
  for method in median-cut kmeans colorq; do
    check "reversed batch" -j 1 -f "$format" --method "$method" --diffusion floyd-steinberg "${reversed[@]}"
    check "reversed batch, bayer" -j 1 -f "$format" --method "$method" --diffusion stucki --bayer \
      --grey "${reversed[@]}"
  done
done

# One picture at a time: resampling, placement, tones, the other files.
for picture in "${pictures[@]}"; do
  for format in bmp1 bmp4; do
    for scale in nearest average bicubic lanczos; do
      check "scale" -f "$format" --scale "$scale" --diffusion floyd-steinberg -o out.target "$picture"
    done
    for place in fill stretch center fit aspect-fill; do
      check "place" -f "$format" --place "$place" --method median-cut -o out.target "$picture"
    done
    check "grey" -f "$format" --grey --diffusion atkinson -o out.target "$picture"
    check "tones" -f "$format" --brightness 40 --contrast -30 --method kmeans -o out.target "$picture"
    check "tones 2" -f "$format" --brightness -25 --contrast 60 --diffusion burkes --bayer -o out.target "$picture"
    check "files" -f "$format" --diffusion stucki --export-bmp out.bmp --png out.png -o out.target "$picture"
    check "default files" -f "$format" --export-bmp out.bmp "$picture"
    check "strengths" -f "$format" --diffusion floyd-steinberg --diffusion-strength 55 --bayer \
      --bayer-strength '&H40' --trans 80 --max-iterations 7 --method kmeans -o out.target "$picture"
  done
  check "no aspect" -f bmp4 --no-aspect-correction --place fit -o out.target "$picture"
done

# Messages: progress, errors.
check "progress" -j 1 "${pictures[@]}"
check "missing picture" -j 1 no_such_file.png "${pictures[0]}"

echo "$runs comparisons, $failures different"
[ "$failures" -eq 0 ]
