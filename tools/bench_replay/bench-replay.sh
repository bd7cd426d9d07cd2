#!/usr/bin/env bash
# Replays generated sessions through pupiltrak08-replay and prints what the speed work is
# judged by: frames per second, the time of every pipeline stage and the resident memory.
#   tools/bench_replay/bench-replay.sh [BUILD_DIR] [--long] [--repeat N]
# A minute (1800 frames at 30 fps) of 640 x 480 and of 1280 x 720, both options on, default
# sliders, each replayed N times (3; shared machines vary from run to run), the last run with
# its whole summary. --long also replays 20 000 frames of 640 x 480 once, to show that memory
# stays flat.
# The videos are generated once into $BENCH_DIR (default /tmp/pupiltrak08-bench) and reused.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=build
LONG=0
REPEAT=3
while [ $# -gt 0 ]; do
  case "$1" in
    --long) LONG=1 ;;
    --repeat)
      REPEAT=$2
      shift
      ;;
    -h | --help)
      sed -n '2,9p' "$0"
      exit 0
      ;;
    *) BUILD=$1 ;;
  esac
  shift
done
MAKEVIDEO="$BUILD/tools/generator/pupiltrak08-makevideo"
REPLAY="$BUILD/tools/replay/pupiltrak08-replay"
for tool in "$MAKEVIDEO" "$REPLAY"; do
  [ -x "$tool" ] || { echo "missing $tool: build first (./build.sh test)" >&2; exit 1; }
done
DIR="${BENCH_DIR:-/tmp/pupiltrak08-bench}"
mkdir -p "$DIR"

# A virtual user looking at the nine calibration points with head sway, sensor noise and a
# blink every three seconds.
video() {
  local size=$1 frames=$2 name="$DIR/session_$1_$2.avi"
  if [ ! -s "$name" ]; then
    "$MAKEVIDEO" --size "$size" --frames "$frames" --blink-every 90 --noise 2 --sway 3 \
      "$name" >/dev/null
  fi
  echo "$name"
}

replay() {
  local input=$1 times=$2 i
  echo "=== $(basename "$input")"
  for ((i = 1; i < times; i++)); do
    "$REPLAY" "$input" --both --quiet --output-dir "$DIR/out" 2>&1 | grep '^frames per second'
  done
  "$REPLAY" "$input" --both --quiet --stages --output-dir "$DIR/out" 2>&1 |
    grep -v -e '^CSV:' -e 'XDG_RUNTIME_DIR'
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
replay "$(video 640x480 1800)" "$REPEAT"
replay "$(video 1280x720 1800)" "$REPEAT"
if [ "$LONG" = 1 ]; then
  replay "$(video 640x480 20000)" 1
fi
