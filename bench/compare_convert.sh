#!/usr/bin/env bash
# Times the whole tessera-convert process beside other programs doing the same
# job, in interleaved runs (each round runs every command once, so that the
# load of a shared machine falls on all of them alike), and prints medians of
# wall time, ratios and peak memory:
#
#   1. a 1024 x 768 PNG photo to BMP1 with Floyd-Steinberg, once per palette
#      method, beside ImageMagick (convert -resize 320x200! -dither
#      FloydSteinberg -colors 16) and GraphicsMagick (gm convert -resize
#      320x200! -dither -colors 16: its -dither takes no method);
#   2. the 600 x 450 JPEG sample, the same, beside ImageMagick;
#   3. a 320 x 200 PNG (the photo resized beforehand) beside pngquant 16 on
#      one thread;
#   4. a batch: 200 pictures in one -j 2 process, beside a reference build
#      (today's program), in pictures per second;
#   5. the peak memory of one conversion of the 1024 x 768 photo;
#   6. --best on the 1024 x 768 photo, BMP1 and BMP4, each beside ImageMagick
#      doing the same job (320 x 200, or 160 x 200 for BMP4).
#
# Sections 1 to 3 also show the reference build's ColorQ, when there is one.
#
# Every timed run writes its output as a new file: the outputs of the run
# before are removed first, outside the timing. The tools differ in how they
# replace an existing file, and that is not what is compared: tessera-convert
# writes a new copy beside the old one and waits for it to reach the disk
# (fsync) before it renames it over the old, so that a crash leaves either
# file whole; the others write over the old file in place. Section 1 shows,
# for information, tessera-convert replacing its last output each time.
#
# Targets: 1. at most 0.25 x ImageMagick and 0.4 x GraphicsMagick, every
# method; 2. at most 0.2 x ImageMagick; 3. at most 0.6 x pngquant; 4. at least
# 1.5 x the reference build's pictures per second; 5. at most 25 MiB; 6. at
# most 0.5 x ImageMagick.
#
# Needs Debian's imagemagick, graphicsmagick, pngquant and time (for
# /usr/bin/time); none of them is needed to build or test Tessera.
#
# Usage: bench/compare_convert.sh [BUILD_DIR] [RUNS] [REFERENCE_TOOL]
#   defaults: build, 11, /tmp/baseline-build/cli/tessera-convert (the batch
#   comparison is skipped when there is no reference build)
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${2:-11}"
reference="${3:-/tmp/baseline-build/cli/tessera-convert}"
tool="$build/cli/tessera-convert"
magick=/usr/bin/convert
gm=/usr/bin/gm
pngquant=/usr/bin/pngquant

[ -x "$tool" ] || { echo "no $tool: build the tessera-convert target first" >&2; exit 1; }
for p in "$magick:imagemagick" "$gm:graphicsmagick" "$pngquant:pngquant" "/usr/bin/time:time"; do
  [ -x "${p%%:*}" ] || { echo "no ${p%%:*}: install Debian's ${p#*:}" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
photo="$work/photo_1024x768.png"
jpeg="$work/snake_600x450.jpg"
small="$work/photo_320x200.png"
"$magick" "$here/samples/demo_snake_600x450.png" -resize '1024x768!' "$photo"
cp "$here/samples/demo_snake_600x450.jpg" "$jpeg"
"$magick" "$photo" -resize '320x200!' "$small"

# ---- measuring -------------------------------------------------------------

# The commands of one comparison, named; run_all runs them interleaved.
names=()
commands=()
add() {
  names+=("$1")
  shift
  local quoted=""
  for a in "$@"; do quoted+=" $(printf '%q' "$a")"; done
  commands+=("$quoted")
}

# Runs every command RUNS times, round by round; leaves per command the
# median wall time (ms) in ms[i] and the largest peak resident size (MiB) in
# mb[i].
run_all() {
  local n=${#commands[@]} i r
  declare -ga ms=() mb=()
  local -a times peak
  for ((i = 0; i < n; i++)); do times[i]=""; peak[i]=0; done
  for ((r = 0; r < runs; r++)); do
    for ((i = 0; i < n; i++)); do
      local start end rss
      # Every run writes new files (see the note at the top), so the last
      # run's outputs go first, outside the timing.
      rm -f "$work"/out.bmp1 "$work"/out.bmp4 "$work"/ref.bmp1 "$work"/im.bmp "$work"/im4.bmp "$work"/gm.bmp "$work"/pq.png
      [ -d "$work/batch" ] && find "$work/batch" -name '*.bmp1' -delete
      start=$(date +%s%N)
      eval "/usr/bin/time -f '%M' -o '$work/rss' ${commands[i]}" >/dev/null 2>"$work/err" ||
        { echo "failed: ${names[i]}" >&2; cat "$work/err" >&2; exit 1; }
      end=$(date +%s%N)
      times[i]+=" $(((end - start) / 1000))"
      rss=$(tail -n 1 "$work/rss")
      ((rss > peak[i])) && peak[i]=$rss
    done
  done
  for ((i = 0; i < n; i++)); do
    ms[i]=$(printf '%s\n' ${times[i]} | sort -n | sed -n "$((runs / 2 + 1))p" | awk '{ printf "%.1f", $1 / 1000 }')
    mb[i]=$(awk -v kb="${peak[i]}" 'BEGIN { printf "%.1f", kb / 1024 }')
  done
}

status=0
# verdict RATIO LIMIT: "ok" or "MISSED" (row turns a MISSED into exit status 1).
verdict() {
  if awk -v r="$1" -v l="$2" 'BEGIN { exit !(r <= l) }'; then echo ok; else echo MISSED; fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
header() {
  echo
  echo "$1 (median of $runs interleaved runs)"
  printf '  %-44s %9s %9s  %s\n' command "wall ms" "peak MiB" "ratios and targets"
}
row() {
  printf '  %-44s %9s %9s  %s\n' "$1" "$2" "$3" "${4:-}"
  case "$1" in reference*|*replacing) return ;; esac
  case "${4:-}" in *MISSED*) status=1 ;; esac
}

tc() { echo "$tool -q -j 1 --method $1 --diffusion floyd-steinberg -o $work/out.bmp1 $2"; }
# The reference build's ColorQ beside them, for comparison (its row's
# verdicts are for information: "MISSED" there is no failure of this build).
with_reference() {
  [ -x "$reference" ] &&
    add "reference build --method colorq" "$reference" -q -j 1 --method colorq --diffusion floyd-steinberg \
      -o "$work/ref.bmp1" "$1"
  return 0
}

# ---- 1. 1024 x 768 PNG -----------------------------------------------------
names=() commands=()
add "ImageMagick convert" "$magick" "$photo" -resize '320x200!' -dither FloydSteinberg -colors 16 "$work/im.bmp"
add "GraphicsMagick gm convert" "$gm" convert "$photo" -resize '320x200!' -dither -colors 16 "$work/gm.bmp"
for method in median-cut kmeans colorq; do
  add "tessera-convert --method $method" $(tc "$method" "$photo")
done
with_reference "$photo"
add "tessera-convert --method colorq, replacing" "$tool" -q -j 1 --method colorq --diffusion floyd-steinberg \
  -o "$work/kept.bmp1" "$photo"
run_all
header "1024 x 768 PNG to BMP1, Floyd-Steinberg"
row "${names[0]}" "${ms[0]}" "${mb[0]}"
row "${names[1]}" "${ms[1]}" "${mb[1]}"
for ((i = 2; i < ${#names[@]}; i++)); do
  a=$(ratio "${ms[i]}" "${ms[0]}") b=$(ratio "${ms[i]}" "${ms[1]}")
  row "${names[i]}" "${ms[i]}" "${mb[i]}" \
    "$a x IM (<= 0.25 $(verdict "$a" 0.25)), $b x GM (<= 0.4 $(verdict "$b" 0.4))"
done

# ---- 2. 600 x 450 JPEG -----------------------------------------------------
names=() commands=()
add "ImageMagick convert" "$magick" "$jpeg" -resize '320x200!' -dither FloydSteinberg -colors 16 "$work/im.bmp"
for method in median-cut kmeans colorq; do
  add "tessera-convert --method $method" $(tc "$method" "$jpeg")
done
with_reference "$jpeg"
run_all
header "600 x 450 JPEG to BMP1, Floyd-Steinberg"
row "${names[0]}" "${ms[0]}" "${mb[0]}"
for ((i = 1; i < ${#names[@]}; i++)); do
  a=$(ratio "${ms[i]}" "${ms[0]}")
  row "${names[i]}" "${ms[i]}" "${mb[i]}" "$a x IM (<= 0.2 $(verdict "$a" 0.2))"
done

# ---- 3. 320 x 200 PNG ------------------------------------------------------
names=() commands=()
add "pngquant 16 (one thread)" env OMP_NUM_THREADS=1 "$pngquant" --force --output "$work/pq.png" 16 "$small"
for method in median-cut kmeans colorq; do
  add "tessera-convert --method $method" $(tc "$method" "$small")
done
with_reference "$small"
run_all
header "320 x 200 PNG"
row "${names[0]}" "${ms[0]}" "${mb[0]}"
for ((i = 1; i < ${#names[@]}; i++)); do
  a=$(ratio "${ms[i]}" "${ms[0]}")
  row "${names[i]}" "${ms[i]}" "${mb[i]}" "$a x pngquant (<= 0.6 $(verdict "$a" 0.6))"
done

# ---- 4. a batch of 200 pictures -----------------------------------------------
if [ -x "$reference" ]; then
  mkdir -p "$work/batch"
  # 20 different pictures (sizes, crops, tones, formats), each ten times.
  for ((v = 0; v < 20; v++)); do
    case $((v % 4)) in
      0) src="$here/samples/demo_snake_600x450.png" ext=png ;;
      1) src="$here/samples/demo_snake_600x450.jpg" ext=jpg ;;
      2) src="$here/samples/rose_alpha_400x301.png" ext=png ;;
      3) src="$here/samples/demo_snake_600x450.jpg" ext=png ;;
    esac
    w=$((300 + 53 * v)) h=$((200 + 31 * v))
    "$magick" "$src" -resize "${w}x${h}!" -modulate "$((80 + 2 * v))" -quality 90 "$work/batch/v$v.$ext"
    for ((c = 1; c < 10; c++)); do cp "$work/batch/v$v.$ext" "$work/batch/v${v}_$c.$ext"; done
  done
  count=$(ls "$work/batch" | wc -l)
  batch_runs=$(((runs + 1) / 2))
  saved_runs=$runs
  runs=$batch_runs
  names=() commands=()
  add "tessera-convert -j 2, $count pictures" sh -c "cd '$work/batch' && '$tool' -q -j 2 --diffusion floyd-steinberg *.*[gG]"
  add "reference build, the same" sh -c "cd '$work/batch' && '$reference' -q -j 2 --diffusion floyd-steinberg *.*[gG]"
  run_all
  runs=$saved_runs
  header "Batch: $count pictures to BMP1 in one -j 2 process" | sed "s/median of $runs/median of $batch_runs/"
  new_rate=$(awk -v n="$count" -v t="${ms[0]}" 'BEGIN { printf "%.1f", n / (t / 1000) }')
  old_rate=$(awk -v n="$count" -v t="${ms[1]}" 'BEGIN { printf "%.1f", n / (t / 1000) }')
  speedup=$(ratio "$new_rate" "$old_rate")
  row "${names[1]}" "${ms[1]}" "${mb[1]}" "$old_rate pictures/s"
  ok=$(awk -v r="$speedup" 'BEGIN { print (r >= 1.5 ? "ok" : "MISSED") }')
  row "${names[0]}" "${ms[0]}" "${mb[0]}" "$new_rate pictures/s, $speedup x the reference (>= 1.5 $ok)"
else
  echo
  echo "Batch: skipped, no reference build at $reference"
fi

# ---- 5. peak memory ------------------------------------------------------------
names=() commands=()
add "tessera-convert --method colorq" $(tc colorq "$photo")
run_all
header "Peak memory of one 1024 x 768 conversion"
mib_ok=$(awk -v m="${mb[0]}" 'BEGIN { print (m <= 25 ? "ok" : "MISSED") }')
row "${names[0]}" "${ms[0]}" "${mb[0]}" "<= 25 MiB $mib_ok"

# ---- 6. the best look ------------------------------------------------------------
names=() commands=()
add "ImageMagick convert, 320 x 200" "$magick" "$photo" -resize '320x200!' -dither FloydSteinberg -colors 16 "$work/im.bmp"
add "tessera-convert --best -f bmp1" "$tool" -q -j 1 --best -f bmp1 -o "$work/out.bmp1" "$photo"
add "ImageMagick convert, 160 x 200" "$magick" "$photo" -resize '160x200!' -dither FloydSteinberg -colors 16 "$work/im4.bmp"
add "tessera-convert --best -f bmp4" "$tool" -q -j 1 --best -f bmp4 -o "$work/out.bmp4" "$photo"
run_all
header "1024 x 768 PNG, the best look"
for i in 0 2; do
  a=$(ratio "${ms[i + 1]}" "${ms[i]}")
  row "${names[i]}" "${ms[i]}" "${mb[i]}"
  row "${names[i + 1]}" "${ms[i + 1]}" "${mb[i + 1]}" "$a x IM (<= 0.5 $(verdict "$a" 0.5))"
done
exit $status
