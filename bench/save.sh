#!/usr/bin/env bash
# Saving speed: torvane-cli convert of a one-hour 44.1 kHz stereo WAV to MP3 at 128 kbit/s
# against `lame -b 128`, and to WMA against `ffmpeg -c:a wmav2 -b:a 128k`, in one run, as ratios.
# torvane-cli's figure includes opening the document (a copy and the peak table) as the editor
# would before saving.
#
# Usage: bench/save.sh [TORVANE_CLI] ; BENCH_DIR (default /tmp/torvane-bench), BENCH_SECONDS
# (default 3600), BENCH_REPEAT (default 1: an hour's encode takes long; the best run counts).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${1:-$root/build/bin/torvane-cli}"
dir="${BENCH_DIR:-/tmp/torvane-bench}"
seconds="${BENCH_SECONDS:-3600}"
repeat="${BENCH_REPEAT:-1}"
for tool in sox lame ffmpeg awk; do
  command -v "$tool" >/dev/null || { echo "save.sh: $tool is missing" >&2; exit 1; }
done
[ -x "$cli" ] || { echo "save.sh: $cli is not built" >&2; exit 1; }
mkdir -p "$dir"
wav="$dir/hour-$seconds.wav"
export TMPDIR="$dir"
if [ ! -s "$wav" ]; then
  echo "making $wav ($seconds s of 44.1 kHz stereo 16-bit) ..."
  sox -n -r 44100 -c 2 -b 16 -t wav "$wav.part" synth "$seconds" pinknoise sine 440 vol 0.5
  mv "$wav.part" "$wav"
fi

. "$root/bench/common.sh"

cat "$wav" >/dev/null
echo "source: $(du -h "$wav" | cut -f1) WAV, $seconds s; best of $repeat"
t_mp3=$(best_of "$dir/out.mp3" "$cli" convert "$wav" "$dir/out.mp3" --bitrate 128)
t_lame=$(best_of "$dir/ref.mp3" lame --quiet -b 128 "$wav" "$dir/ref.mp3")
t_wma=$(best_of "$dir/out.wma" "$cli" convert "$wav" "$dir/out.wma" --bitrate 128)
t_ffmpeg=$(best_of "$dir/ref.wma" ffmpeg -nostdin -loglevel error -y -i "$wav" -c:a wmav2 -b:a 128k "$dir/ref.wma")
printf '%-46s %9s s\n' "torvane-cli convert -> MP3 128 kbit/s" "$t_mp3"
printf '%-46s %9s s\n' "lame -b 128" "$t_lame"
printf '%-46s %9s s\n' "torvane-cli convert -> WMA 128 kbit/s" "$t_wma"
printf '%-46s %9s s\n' "ffmpeg -c:a wmav2 -b:a 128k" "$t_ffmpeg"
echo "ratio MP3 / lame:   $(ratio "$t_mp3" "$t_lame")"
echo "ratio WMA / ffmpeg: $(ratio "$t_wma" "$t_ffmpeg")"
