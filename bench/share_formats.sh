#!/usr/bin/env bash
# The formats to share, against the ffmpeg program encoding the same frames:
# ffmpeg reads the frames from the uncompressed QuickTime movie that
# velostrip renders of the project (so its time leaves out the rendering that
# velostrip's includes). For each project and format it prints both files'
# sizes, their SSIM against the uncompressed frames (decoded to RGB, as a
# viewer sees them) and the best of RUNS wall times, each pair run
# alternately, and the ratios velostrip / ffmpeg. Aims: MP4 SSIM at least
# ffmpeg's at no more than 1.1 times its size; every time within 1.5 times.
#
#   bash bench/share_formats.sh [BUILD_FOLDER] [RUNS]
#
# The ffmpeg recipes are what users run: libx264 with -pix_fmt yuv420p (CRF
# 23, preset medium), libvpx-vp9 at the same CRF as ours (velostrip's
# default, 32, with -b:v 0), apng, and libwebp_anim (lossy, quality 75, and
# lossless for the few-colour project, as velostrip picks).
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build}")/velostrip
runs=${2:-3}
[ -x "$program" ] || { echo "no program at $program: build first" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed" >&2; exit 2; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen

# A project as File > "Save as.." writes it: object, background picture (or
# none), colours, steps, size, motion.
project() {  # object background steps width height motion
  local label="colori componenti rgb di oggetto e sfondo"
  printf '%s\n' "$1" "" "" "" "" "" "" "$2" \
    "200$label RED" "30$label GREEN" "10$label BLUE" "102$label RED" "204$label GREEN" "255$label BLUE" \
    40 40 "$3" "$4" "$5" 6 0 360 "$6" 0 0 0 0 0 0
}

# A background picture with the colours of a photograph: gradients and noise.
ffmpeg -v error -nostdin -y -f lavfi -i "gradients=s=640x360:seed=7,noise=alls=20:allf=t" -frames:v 1 \
  "$scratch/photo.png"
project 0 "" 48 640 360 0 >"$scratch/drawing.txt"
project 0 "$scratch/photo.png" 48 640 360 2 >"$scratch/picture.txt"

now() { date +%s%N; }
best() {  # command...: the best wall time in ms of RUNS runs
  local b="" t s
  for ((i = 0; i < runs; i++)); do
    s=$(now)
    "$@" >/dev/null 2>&1
    t=$((($(now) - s) / 1000000))
    [ -z "$b" ] || [ "$t" -lt "$b" ] && b=$t
  done
  echo "$b"
}
# SSIM (All) of a file against the uncompressed movie, both as RGB.
ssim() {
  ffmpeg -nostdin -v info -i "$1" -i "$2" -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]ssim" \
    -f null - 2>&1 | sed -n 's/.*All:\([0-9.]*\).*/\1/p' | tail -1
}
# Animated WebP is not decoded by FFmpeg 5.1: SSIM is left out for it.
row() {  # label ours theirs our_ms their_ms reference
  local s1="-" s2="-"
  case "$2" in *.webp) ;; *) s1=$(ssim "$2" "$6"); s2=$(ssim "$3" "$6") ;; esac
  awk -v l="$1" -v a="$(stat -c %s "$2")" -v b="$(stat -c %s "$3")" -v s1="$s1" -v s2="$s2" -v t1="$4" -v t2="$5" \
    'BEGIN { printf "%-16s size %8d / %8d (%.2fx)  SSIM %-8s / %-8s  time %6d / %6d ms (%.2fx)\n",
             l, a, b, a / b, s1, s2, t1, t2, t1 / t2 }'
}

echo "format           velostrip / ffmpeg"
for name in drawing picture; do
  p="$scratch/$name.txt"
  ref="$scratch/$name.mov"
  "$program" "$p" --export "$ref"
  webp_mode=(-lossless 0 -quality 75)
  [ "$name" = drawing ] && webp_mode=(-lossless 1)
  declare -A recipe=(
    [mp4]="-c:v libx264 -pix_fmt yuv420p"
    [webm]="-c:v libvpx-vp9 -pix_fmt yuv420p -crf 32 -b:v 0"
    [apng]="-c:v apng -plays 0 -f apng"
    [webp]="-c:v libwebp_anim ${webp_mode[*]} -loop 0"
  )
  for ext in mp4 webm apng webp; do
    ours="$scratch/$name.$ext"
    theirs="$scratch/$name-ffmpeg.$ext"
    # shellcheck disable=SC2086
    t1=$(best "$program" "$p" --export "$ours")
    # shellcheck disable=SC2086
    t2=$(best ffmpeg -v error -nostdin -y -i "$ref" ${recipe[$ext]} "$theirs")
    "$program" "$p" --export "$ours"
    # shellcheck disable=SC2086
    ffmpeg -v error -nostdin -y -i "$ref" ${recipe[$ext]} "$theirs"
    row "$name $ext" "$ours" "$theirs" "$t1" "$t2" "$ref"
  done
done
