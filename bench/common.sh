# shellcheck shell=bash disable=SC2034  # sourced: the scripts read what it sets
# Shared by the benchmark scripts: settings, the generated inputs, timing and ratios.
# Source it after setting `root` (the source tree) and `me` (the script's name for messages).
#
# Environment: BENCH_BIN (the built programs, default $root/build/bin; a script's first argument
# wins), BENCH_DIR (generated data, default /tmp/torvane-bench, kept between runs: an hour of
# audio takes minutes to make), BENCH_SECONDS (default 3600), BENCH_PAIRS (default 5: timed
# pairs of the two contenders per comparison, after one untimed warm-up of each).
export LC_ALL=C  # awk, printf and EPOCHREALTIME all with a decimal point
bin="${BENCH_BIN:-$root/build/bin}"
dir="${BENCH_DIR:-/tmp/torvane-bench}"
seconds="${BENCH_SECONDS:-3600}"
pairs="${BENCH_PAIRS:-5}"
wav="$dir/hour-$seconds.wav"
mp3="$dir/hour-$seconds.mp3"
wma="$dir/hour-$seconds.wma"
flac="$dir/hour-$seconds.flac"
ogg="$dir/hour-$seconds.ogg"
log="$dir/last-command.log"

die() { echo "${me:-bench}: $*" >&2; exit 1; }
need() {
  local tool
  for tool in "$@"; do command -v "$tool" >/dev/null || die "$tool is missing (scripts/setup installs it)"; done
}
mkdir -p "$dir"

# Each input is made once under a temporary name, so an interrupted run leaves nothing half made.
make_wav() {
  [ -s "$wav" ] && return
  echo "making $wav ($seconds s of 44.1 kHz stereo 16-bit) ..." >&2
  # Pink noise on the left, a tone on the right: the encoders and the peak table have work.
  sox -n -r 44100 -c 2 -b 16 -t wav "$wav.part" synth "$seconds" pinknoise sine 440 vol 0.5
  mv "$wav.part" "$wav"
}
make_mp3() {
  make_wav
  [ -s "$mp3" ] && return
  echo "making $mp3 (lame, 128 kbit/s) ..." >&2
  lame --quiet -b 128 "$wav" "$mp3.part"
  mv "$mp3.part" "$mp3"
}
make_wma() {
  make_wav
  [ -s "$wma" ] && return
  echo "making $wma (ffmpeg wmav2, 128 kbit/s) ..." >&2
  ffmpeg -nostdin -loglevel error -y -i "$wav" -c:a wmav2 -b:a 128k -f asf "$wma.part"
  mv "$wma.part" "$wma"
}
make_flac() {
  make_wav
  [ -s "$flac" ] && return
  echo "making $flac (ffmpeg flac) ..." >&2
  ffmpeg -nostdin -loglevel error -y -i "$wav" -c:a flac -f flac "$flac.part"
  mv "$flac.part" "$flac"
}
make_ogg() {
  make_wav
  [ -s "$ogg" ] && return
  echo "making $ogg (ffmpeg libvorbis, about 128 kbit/s) ..." >&2
  ffmpeg -nostdin -loglevel error -y -i "$wav" -c:a libvorbis -q:a 4 -f ogg "$ogg.part"
  mv "$ogg.part" "$ogg"
}

# once OUT CMD...: one run of CMD under GNU time, so that both sides of a comparison pay the
# same wrapper. OUT ("-" when CMD writes no file) is removed before and after, and the written
# pages of earlier runs go out before the clock starts. Sets secs (wall seconds), rss_kb (its
# max RSS) and failed (empty, or why: a non-zero exit or no OUT written). Runs in the caller's
# shell, not a subshell, so that the results reach the caller.
once() {
  local out="$1" rss="$dir/last-command.rss" t0 t1 status=0
  shift
  [ "$out" = - ] || rm -f "$out"
  sync
  t0=$EPOCHREALTIME
  /usr/bin/time -f %M -o "$rss" "$@" >/dev/null 2>"$log" || status=$?
  t1=$EPOCHREALTIME
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
  rss_kb=$(tail -n 1 "$rss" 2>/dev/null || echo 0)
  failed=""
  if [ "$status" -ne 0 ]; then
    failed="exit $status: $(tail -n 1 "$log" | tr -d '\r|' | cut -c1-80)"
  elif [ "$out" != - ] && [ ! -s "$out" ]; then
    failed="no output written"
  fi
  [ "$out" = - ] || rm -f "$out"
  rm -f "$rss"
}
# stats NUMBER...: prints "median min max" of the numbers (the median of an even count is the
# mean of the middle two).
stats() {
  printf '%s\n' "$@" | sort -g |
    awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[1], v[NR] }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
