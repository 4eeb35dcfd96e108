#!/usr/bin/env bash
# Times the whole tessera-convert process on a 1024 x 768 photo, to BMP1 with
# Floyd-Steinberg, once per palette method, beside ImageMagick reducing the
# same photo to 320 x 200 in 16 colours with Floyd-Steinberg.
# Targets: at most half of ImageMagick's wall time, peak memory under 100 MB.
#
# Usage: bench/compare_convert.sh [BUILD_DIR] [RUNS]   (default: build, 7)
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-7}"
tool="$build/cli/tessera-convert"
magick=/usr/bin/convert

[ -x "$tool" ] || { echo "no $tool: build the tessera-convert target first" >&2; exit 1; }
[ -x "$magick" ] || { echo "no $magick: install Debian's imagemagick" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "no /usr/bin/time: install Debian's time" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
photo="$work/photo_1024x768.jpg"
"$magick" "$here/samples/demo_snake_600x450.png" -resize '1024x768!' -quality 92 "$photo"

# Runs a command RUNS times; prints the median wall time in ms and the
# largest peak resident size in MB.
measure() {
  local times=() peak=0
  for ((i = 0; i < runs; i++)); do
    local start end rss
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
    rss=$(tail -n 1 "$work/rss")
    ((rss > peak)) && peak=$rss
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$((runs / 2 + 1))p")
  awk -v us="$median" -v kb="$peak" 'BEGIN { printf "%.1f %.1f\n", us / 1000, kb / 1024 }'
}

read -r magick_ms magick_mb < <(measure "$magick" "$photo" -resize '320x200!' -dither FloydSteinberg -colors 16 "$work/out.bmp")

printf '%-34s %10s %10s %8s  %s\n' "command (median of $runs)" "wall ms" "peak MB" "ratio" "targets"
printf '%-34s %10s %10s %8s\n' "convert (ImageMagick)" "$magick_ms" "$magick_mb" "1.00"
status=0
for method in median-cut kmeans colorq; do
  read -r ms mb < <(measure "$tool" -q -j 1 --method "$method" --diffusion floyd-steinberg -o "$work/out.bmp1" "$photo")
  verdict=$(awk -v a="$ms" -v b="$magick_ms" -v m="$mb" 'BEGIN {
    r = a / b; printf "%.2f ", r
    printf "%s", (r <= 0.5 ? "time ok" : "time MISSED")
    printf ", %s", (m < 100 ? "memory ok" : "memory MISSED") }')
  printf '%-34s %10s %10s %8s  %s\n' "tessera-convert --method $method" "$ms" "$mb" "${verdict%% *}" "${verdict#* }"
  case "$verdict" in *MISSED*) status=1 ;; esac
done
exit $status
