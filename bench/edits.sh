#!/usr/bin/env bash
# The edits alone, in-process on an already open one-hour document, against sox and dd, and
# Undo of Volume and of Delete against the edits they undo: the
# figures bench/run can not give, since every torvane-cli edit opens and writes the whole file.
# Then Volume with its undo step against Volume without the journal, in BENCH_PAIRS (default 5)
# pairs that take turns going first: the median ratio is what keeping undo costs.
# Usage: bench/edits.sh [--pairs] [BIN_DIR] ; BIN_DIR holds bench_edits (default $BENCH_BIN or
# build/bin); BENCH_DIR and BENCH_SECONDS as in bench/common.sh. bench_edits takes the best of
# three itself. --pairs: only the pairs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
me=edits.sh
# shellcheck source=bench/common.sh
. "$root/bench/common.sh"
pairs_only=
if [ "${1:-}" = --pairs ]; then pairs_only=1; shift; fi
bin="${1:-$bin}"
need sox dd
[ -x "$bin/bench_edits" ] || die "$bin/bench_edits is not built"
make_wav
cat "$wav" >/dev/null  # the page cache holds the source for every contender alike
[ -n "$pairs_only" ] || "$bin/bench_edits" "$wav" "$dir"
"$bin/bench_edits" "$wav" "$dir" "$pairs"
