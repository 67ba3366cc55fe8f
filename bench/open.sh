#!/usr/bin/env bash
# Opening speed: torvane-cli decode of a one-hour 44.1 kHz stereo WAV against cp of the same
# file, and of an MP3 of the same length against ffmpeg decoding it to WAV, in one run.
#
# Usage: bench/open.sh [TORVANE_CLI] ; environment: BENCH_DIR (generated data, default
# /tmp/torvane-bench; kept between runs), BENCH_SECONDS (default 3600), BENCH_REPEAT (default 3,
# the best time of each command counts).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${1:-$root/build/bin/torvane-cli}"
dir="${BENCH_DIR:-/tmp/torvane-bench}"
seconds="${BENCH_SECONDS:-3600}"
repeat="${BENCH_REPEAT:-3}"

for tool in sox lame ffmpeg cp awk; do
  command -v "$tool" >/dev/null || { echo "open.sh: $tool is missing" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "open.sh: $cli is not built" >&2; exit 1; }
mkdir -p "$dir"
wav="$dir/hour-$seconds.wav"
mp3="$dir/hour-$seconds.mp3"
out="$dir/out.wav"
# The tool's working file lives beside the output, as it would in a real temp folder.
export TMPDIR="$dir"

if [ ! -s "$wav" ]; then
  echo "making $wav ($seconds s of 44.1 kHz stereo 16-bit) ..."
  # Pink noise on the left, a tone on the right: the encoder and the peak table have work.
  sox -n -r 44100 -c 2 -b 16 -t wav "$wav.part" synth "$seconds" pinknoise sine 440 vol 0.5
  mv "$wav.part" "$wav"
fi
if [ ! -s "$mp3" ]; then
  echo "making $mp3 (lame, 128 kbit/s) ..."
  lame --quiet -b 128 "$wav" "$mp3.part"
  mv "$mp3.part" "$mp3"
fi

. "$root/bench/common.sh"

cat "$wav" "$mp3" >/dev/null  # warm the page cache for every contender alike

echo "sources: $(du -h "$wav" | cut -f1) WAV, $(du -h "$mp3" | cut -f1) MP3, $seconds s; best of $repeat"
t_open_wav=$(best_of "$out" "$cli" decode "$wav" "$out")
t_cp=$(best_of "$out" cp "$wav" "$out")
t_open_mp3=$(best_of "$out" "$cli" decode "$mp3" "$out")
t_ffmpeg=$(best_of "$out" ffmpeg -nostdin -loglevel error -y -i "$mp3" "$out")

printf '%-44s %9s s\n' "torvane-cli decode WAV (copy + peak table)" "$t_open_wav"
printf '%-44s %9s s\n' "cp WAV" "$t_cp"
printf '%-44s %9s s\n' "torvane-cli decode MP3 (decode + peak table)" "$t_open_mp3"
printf '%-44s %9s s\n' "ffmpeg -i MP3 out.wav" "$t_ffmpeg"
echo "ratio open WAV / cp:     $(ratio "$t_open_wav" "$t_cp")"
echo "ratio open MP3 / ffmpeg: $(ratio "$t_open_mp3" "$t_ffmpeg")"
