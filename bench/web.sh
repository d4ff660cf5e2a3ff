#!/usr/bin/env bash
# The web page source's benchmark, all on loopback in one run:
#  - several hundred real HTML documentation pages (python3.11-doc): the HTML
#    parser's bare parse of every page, the source's load of every page (fetch +
#    layout + values) and the curl command line fetching every page in one process;
#  - a generated 20 MiB table page: bare parse against the source's load, in time
#    and in peak memory (each in a process of its own).
# Prints the figures and the ratios against the bare parse.
#   bench/web.sh
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

qf_install "${QF_PACKAGES[@]}" python3.11-doc curl
qf_build_bench bench_web
bench="$QF_ROOT/build-bench/bench/bench_web"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

echo "== documentation pages"
"$bench" pages /usr/share/doc/python3.11/html

echo "== generated 20 MiB table page"
"$bench" generate "$scratch/big.html" 20
# Two turns each, alternating; the faster turn of each counts.
field() { awk -v key="$2" '{ for (i = 1; i <= NF; i++) if ($i == key) print (key == "ms" ? $(i-1) : $(i+1)) }' <<<"$1"; }
best_pt=; best_lt=; pm=; lm=
for turn in 1 2; do
  parse="$("$bench" big parse "$scratch/big.html")"; echo "$parse"
  load="$("$bench" big load "$scratch/big.html")"; echo "$load"
  pt="$(field "$parse" ms)"; lt="$(field "$load" ms)"
  pm="$(field "$parse" peak)"; lm="$(field "$load" peak)"
  best_pt="$(awk -v a="${best_pt:-$pt}" -v b="$pt" 'BEGIN { print (b < a ? b : a) }')"
  best_lt="$(awk -v a="${best_lt:-$lt}" -v b="$lt" 'BEGIN { print (b < a ? b : a) }')"
done
awk -v pt="$best_pt" -v lt="$best_lt" -v pm="$pm" -v lm="$lm" 'BEGIN {
  printf "ratio to parse: time %.2fx (target <= 1.5x), peak memory %.2fx (target <= 1.5x)\n", lt / pt, lm / pm }'
