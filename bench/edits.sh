#!/usr/bin/env bash
# The edits alone, in-process on an already open one-hour document, against sox and dd, and
# Undo of Volume and of Delete against the edits they undo: the
# figures bench/run can not give, since every torvane-cli edit opens and writes the whole file.
# Usage: bench/edits.sh [BIN_DIR] ; BIN_DIR holds bench_edits (default $BENCH_BIN or build/bin);
# BENCH_DIR and BENCH_SECONDS as in bench/common.sh. bench_edits takes the best of three itself.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
me=edits.sh
# shellcheck source=bench/common.sh
. "$root/bench/common.sh"
bin="${1:-$bin}"
need sox dd
[ -x "$bin/bench_edits" ] || die "$bin/bench_edits is not built"
make_wav
cat "$wav" >/dev/null  # the page cache holds the source for every contender alike
"$bin/bench_edits" "$wav" "$dir"
