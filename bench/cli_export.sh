#!/usr/bin/env bash
# The command line's export timed as a whole process, from start to exit,
# against programs that write the same output, each pair run alternately:
#  1. the default project (400 x 200, 18 frames) as PNG, against ffmpeg
#     writing a PNG movie of that size and length from a colour source;
#  2. an uncompressed 2048 x 2048 export of 200 frames, against dd writing
#     the same number of bytes.
# The best run of each counts (these machines are noisy); the ratio is
# velostrip's time over the other's, and should stay at or below 1.5.
#
#   bash bench/cli_export.sh [BUILD_FOLDER] [SCRATCH_FOLDER] [RUNS]
#
# BUILD_FOLDER holds the program (default build/); SCRATCH_FOLDER takes the
# movies, about 2.5 GB at a time (default: a new folder under /tmp); RUNS is
# how many times each pair runs (default 5 for the small movie, and 3 for the
# large one).
set -euo pipefail
# A run that fails ends the benchmark instead of being timed.
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build}")/velostrip
scratch=${2:-}
runs=${3:-}
[ -x "$program" ] || { echo "no program at $program: build first" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed" >&2; exit 2; }
if [ -z "$scratch" ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi

# A project as File > "Save as.." writes it, with the given steps and size.
project() {  # steps width height
  local label="colori componenti rgb di oggetto e sfondo"
  printf '%s\n' 0 "" "" "" "" "" "" "" \
    "0$label RED" "0$label GREEN" "128$label BLUE" "102$label RED" "204$label GREEN" "255$label BLUE" \
    18 18 "$1" "$2" "$3" 3 0 360 0 0 0 0 0 0 0
}

now() { date +%s%N; }
# Runs a command and prints its wall time in microseconds.
timed() {
  local start end
  start=$(now)
  "$@"
  end=$(now)
  echo $(((end - start) / 1000))
}

# compare RUNS LABEL: runs run_a and run_b alternately, each followed by its
# clean-up, and prints the best time of each and their ratio.
compare() {
  local n=$1 label=$2 best_a="" best_b="" t
  for ((i = 0; i < n; i++)); do
    t=$(timed run_a)
    [ -z "$best_a" ] || [ "$t" -lt "$best_a" ] && best_a=$t
    clean_a
    t=$(timed run_b)
    [ -z "$best_b" ] || [ "$t" -lt "$best_b" ] && best_b=$t
    clean_b
  done
  awk -v a="$best_a" -v b="$best_b" -v l="$label" -v o="$other" \
    'BEGIN { printf "%-28s velostrip %9.1f ms   %-6s %9.1f ms   ratio %.2f\n", l, a / 1000, o, b / 1000, a / b }'
}

project 18 400 200 >"$scratch/small.txt"
project 200 2048 2048 >"$scratch/large.txt"

other=ffmpeg
run_a() { "$program" "$scratch/small.txt" --export "$scratch/small.mov" --codec png; }
clean_a() { rm -f "$scratch/small.mov"; }
run_b() {
  ffmpeg -v error -nostdin -y -f lavfi -i color=c=0x66ccff:s=400x200:r=8 -frames:v 18 -c:v png "$scratch/ffmpeg.mov"
}
clean_b() { rm -f "$scratch/ffmpeg.mov"; }
compare "${runs:-5}" "400x200x18 PNG"

other=dd
run_a() { "$program" "$scratch/large.txt" --export "$scratch/large.mov"; }
clean_a() {
  bytes=$(stat -c %s "$scratch/large.mov")
  rm -f "$scratch/large.mov"
}
# The movie's own size, known after the first run; the frames alone before.
bytes=$((2048 * 2048 * 3 * 200))
run_b() { dd if=/dev/zero of="$scratch/dd.bin" bs=4M iflag=count_bytes count="$bytes" status=none; }
clean_b() { rm -f "$scratch/dd.bin"; }
compare "${runs:-3}" "2048x2048x200 uncompressed"
