#!/usr/bin/env bash
# GIF size, quality and speed against the ffmpeg program, on the same frames.
#
# A few projects (a colour background, a picture background, a text, a path
# with Copy, a picture as the object) are rendered once into lossless
# QuickTime movies. From each movie:
#  - ours: the GIF this program writes (bench_gif --encode, or the program's
#    own --export of a .gif where it knows the format);
#  - ffmpeg's exact GIF: palettegen=stats_mode=full:reserve_transparent=0 and
#    paletteuse=dither=none, then gifsicle -O3;
#  - ffmpeg's default GIF: palettegen and paletteuse with their defaults.
# For each it prints whether ours decodes to exactly the movie's frames, the
# sizes, the SSIM of both lossy ones on frames scaled to half size (area
# averaging, as a viewer sees them), and the best of RUNS timings of ours and
# of the ffmpeg recipe that corresponds (exact or default), both reading the
# same movie.
# Goals: exact GIF <= 1.02 x ffmpeg exact after gifsicle -O3; a GIF that
# cannot be exact at least ffmpeg default's SSIM at no more than half its
# size; time at most 1.5 x ffmpeg's.
#
#   bash bench/gif_compare.sh [BUILD_FOLDER] [SCRATCH_FOLDER] [RUNS]
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
scratch=${2:-}
runs=${3:-3}
program=$build/velostrip
encoder=$build/bench_gif
[ -x "$program" ] && [ -x "$encoder" ] || { echo "build first (with -DVELOSTRIP_BENCH=ON): $build" >&2; exit 2; }
for tool in ffmpeg gifsicle python3; do
  command -v $tool >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done
if [ -z "$scratch" ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi
export QT_QPA_PLATFORM=offscreen

# The projects, as File > "Save as.." writes them.
python3 - "$scratch" "$(realpath bench)" <<'EOF'
import sys, os, math
from pathlib import Path
out = Path(sys.argv[1])
label = "colori componenti rgb di oggetto e sfondo "
def project(name, obj=0, text="Hello", objpic="", bgpic="", oc=(255, 0, 0), bc=(255, 255, 255),
            size=(60, 40), frames=40, movie=(400, 300), motion=2, mode=0, path=None):
    lines = [str(obj), text, "Liberation Sans", "false", "false", "false", objpic, bgpic]
    for c in (oc, bc):
        lines += [str(c[0]) + label + "RED", str(c[1]) + label + "GREEN", str(c[2]) + label + "BLUE"]
    lines += [str(size[0]), str(size[1]), str(frames), str(movie[0]), str(movie[1]), "3", "0", "360",
              str(motion), str(mode)]
    if path:
        lines.append(str(len(path)))
        for x, y in path:
            lines += [str(x), str(y)]
        lines += [str(max(p[0] for p in path)), str(max(p[1] for p in path))]
        total = sum(math.hypot(b[0] - a[0], b[1] - a[1]) for a, b in zip(path, path[1:]))
        lines += [str(total), "0"]
    else:
        lines += ["0", "0", "0", "0", "0"]
    (out / (name + ".txt")).write_text("\n".join(lines) + "\n")
# A picture background: a smooth photograph-like gradient with detail.
bg = out / "background.ppm"
w, h = 320, 240
pixels = bytearray()
for y in range(h):
    for x in range(w):
        r = int(127 + 120 * math.sin(x * 0.05 + y * 0.011))
        g = int(127 + 100 * math.sin(y * 0.07 + 1.0) * math.cos(x * 0.02))
        b = int(127 + 120 * math.sin((x + 2 * y) * 0.031 + 2.0))
        pixels += bytes((r, g, b))
bg.write_bytes(b"P6 %d %d 255\n" % (w, h) + bytes(pixels))
project("colour", obj=0, oc=(20, 120, 220), bc=(250, 240, 5))
project("copy_path", obj=7, oc=(200, 30, 40), bc=(240, 240, 240), mode=1, motion=8,
        path=[(10, 10), (300, 40), (60, 200), (330, 250)])
project("text", obj=4, text="Velostrip", size=(96, 40), oc=(0, 0, 0), bc=(255, 255, 255), motion=3)
project("picture_bg", obj=0, oc=(200, 30, 40), bgpic=str(bg), motion=2)
project("picture_obj", obj=5, objpic=str(bg), size=(96, 72), bc=(30, 60, 90), motion=3)
EOF

best() {  # runs a command RUNS times and prints the best wall time in ms
  local best=""
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    local ms=$(((t1 - t0) / 1000000))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}
ssim() {  # reference movie, GIF: the mean SSIM (All) of frames at half size
  ffmpeg -nostats -i "$1" -i "$2" -lavfi \
    "[0]fps=8,format=rgb24,scale=iw/2:ih/2:flags=area[a];[1]fps=8,format=rgb24,scale=iw/2:ih/2:flags=area[b];[a][b]ssim" \
    -f null - 2>&1 | sed -n 's/.*SSIM.*All:\([0-9.]*\).*/\1/p'
}
sums() { ffmpeg -v error -i "$1" -vf fps=8 -pix_fmt rgb24 -f framemd5 - | grep -v '^#' | awk -F, '{print $6}'; }

ours_gif() {  # movie, project, GIF
  if "$program" "$2" --export "$scratch/probe.gif" >/dev/null 2>&1 && [ "$(head -c 4 "$scratch/probe.gif")" = GIF8 ]; then
    "$program" "$2" --export "$3"
  else
    "$encoder" --encode "$1" "$3"
  fi
}
ffmpeg_exact() {
  ffmpeg -v error -y -i "$1" -lavfi \
    "split[a][b];[a]palettegen=stats_mode=full:reserve_transparent=0[p];[b][p]paletteuse=dither=none" "$2"
}
ffmpeg_default() { ffmpeg -v error -y -i "$1" -lavfi "split[a][b];[a]palettegen[p];[b][p]paletteuse" "$2"; }

printf '%-12s %-5s %9s %9s %9s %7s %7s %7s %7s %7s %7s %6s\n' project exact ours ffx_O3 ffdef \
  size/O3 size/def ssim ssim_def ms ms_ff ratio
for p in "$scratch"/*.txt; do
  name=$(basename "$p" .txt)
  movie=$scratch/$name.mov
  "$program" "$p" --export "$movie"
  ours=$scratch/$name.gif
  ours_gif "$movie" "$p" "$ours"
  exact=no
  [ "$(sums "$movie")" = "$(sums "$ours")" ] && exact=yes
  ffmpeg_exact "$movie" "$scratch/${name}_ffx.gif"
  gifsicle -O3 "$scratch/${name}_ffx.gif" -o "$scratch/${name}_ffx_O3.gif"
  ffmpeg_default "$movie" "$scratch/${name}_ffdef.gif"
  s_ours=$(stat -c %s "$ours")
  s_ffx=$(stat -c %s "$scratch/${name}_ffx_O3.gif")
  s_def=$(stat -c %s "$scratch/${name}_ffdef.gif")
  q_ours=$(ssim "$movie" "$ours")
  q_def=$(ssim "$movie" "$scratch/${name}_ffdef.gif")
  t_ours=$(best ours_gif "$movie" "$p" "$scratch/timed.gif")
  if [ $exact = yes ]; then
    t_ff=$(best ffmpeg_exact "$movie" "$scratch/timed_ff.gif")
  else
    t_ff=$(best ffmpeg_default "$movie" "$scratch/timed_ff.gif")
  fi
  printf '%-12s %-5s %9d %9d %9d %7.3f %7.3f %7s %7s %7d %7d %6.2f\n' "$name" $exact "$s_ours" "$s_ffx" "$s_def" \
    "$(echo "$s_ours / $s_ffx" | bc -l)" "$(echo "$s_ours / $s_def" | bc -l)" "$q_ours" "$q_def" "$t_ours" "$t_ff" \
    "$(echo "$t_ours / $t_ff" | bc -l)"
done
