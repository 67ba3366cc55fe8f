# Shared by the benchmark scripts: timing whole commands and printing ratios.
# best_of OUT CMD...: the shortest wall time of $repeat runs of CMD, OUT removed before each.
now() { date +%s.%N; }
best_of() {
  local out="$1" best="" t0 t1 t
  shift
  for ((i = 0; i < repeat; i++)); do
    rm -f "$out"
    sync
    t0=$(now)
    "$@" >/dev/null
    t1=$(now)
    t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  rm -f "$out"
  printf '%.3f' "$best"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
