#!/usr/bin/env bash
# The edits on a one-hour 44.1 kHz stereo WAV against sox and dd, in one run.
# Usage: bench/edits.sh [BENCH_EDITS] ; BENCH_DIR (default /tmp/torvane-bench), BENCH_SECONDS (3600).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bench="${1:-$root/build/bin/bench_edits}"
dir="${BENCH_DIR:-/tmp/torvane-bench}"
seconds="${BENCH_SECONDS:-3600}"
for tool in sox dd; do command -v "$tool" >/dev/null || { echo "edits.sh: $tool is missing" >&2; exit 1; }; done
mkdir -p "$dir"
wav="$dir/hour-$seconds.wav"
if [ ! -s "$wav" ]; then
  echo "making $wav ($seconds s of 44.1 kHz stereo 16-bit) ..."
  sox -n -r 44100 -c 2 -b 16 -t wav "$wav.part" synth "$seconds" pinknoise sine 440 vol 0.5
  mv "$wav.part" "$wav"
fi
cat "$wav" >/dev/null  # the page cache holds the source for every contender alike
"$bench" "$wav" "$dir"
