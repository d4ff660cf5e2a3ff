#!/usr/bin/env bash
# The web page source's benchmark, all on loopback in one run:
#  - two sets of real pages (bench/page_sets.sh): Debian's Python documentation
#    (every page) and the languages set, Debian's reference and handbook in many
#    languages. For each, the HTML parser's one-core bare parse of every page and
#    the source's load of every page (fetch + layout + values), each in time and
#    processor time, and the curl command line fetching every page in one process;
#    then what reading the values costs: the layout and the load of every page
#    with values read against the same with every cell kept as text, in
#    processor time (best of three rounds taking turns; target +5% at most);
#  - a generated 20 MiB table page: bare parse against the source's load, in time
#    and in peak memory (each in a process of its own).
# Prints the figures and the ratios against the bare parse.
#   bench/web.sh
# With --against REV, the same two loads in this tree and in REV (built in
# build-bench-base/ with this tree's benchmark program) take turns, five rounds
# each, and the per-page processor time (user + system, every thread) of both
# is printed side by side.
#   bench/web.sh --against main
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
source "$(dirname "$0")/page_sets.sh"

qf_install "${QF_PACKAGES[@]}" "${QF_PAGE_SET_PACKAGES[@]}" curl
qf_build_bench bench_web
bench="$QF_ROOT/build-bench/bench/bench_web"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
docs="$QF_PYTHON_PAGES"

if [ "${1:-}" = "--against" ]; then
  rev="${2:?bench/web.sh --against REV}"
  base="$QF_ROOT/build-bench-base"
  commit="$(git -C "$QF_ROOT" rev-parse "$rev^{commit}")"
  if [ "$(cat "$base/commit" 2>/dev/null)" != "$commit" ]; then  # a second run against the same commit reuses it
    rm -rf "$base" && mkdir -p "$base/src"
    git -C "$QF_ROOT" archive "$commit" | tar -x -C "$base/src"
    echo "$commit" >"$base/commit"
  fi
  cp "$QF_ROOT/bench/web_bench.cpp" "$base/src/bench/web_bench.cpp"
  cmake -S "$base/src" -B "$base/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_TESTS=OFF >/dev/null
  cmake --build "$base/build" --target bench_web --parallel "$(nproc)" >&2
  old="$base/build/bench/bench_web"
  "$bench" generate "$scratch/big.html" 20
  field() { awk -v key="$2" '{ for (i = 1; i <= NF; i++) if ($i == key) print $(i+1) }' <<<"$1"; }
  best() { awk -v a="${1:-$2}" -v b="$2" 'BEGIN { print (b < a ? b : a) }'; }
  docs_old=; docs_new=; big_old=; big_new=
  for turn in 1 2 3 4 5; do
    for which in old new; do
      program="$bench"; [ "$which" = old ] && program="$old"
      pages="$("$program" loads "$docs" 2)"; big="$("$program" big load "$scratch/big.html")"
      echo "$which: $pages | $(tr -s ' ' <<<"$big")"
      if [ "$which" = old ]; then
        docs_old="$(best "$docs_old" "$(field "$pages" cpu)")"; big_old="$(best "$big_old" "$(field "$big" cpu)")"
      else
        docs_new="$(best "$docs_new" "$(field "$pages" cpu)")"; big_new="$(best "$big_new" "$(field "$big" cpu)")"
      fi
    done
  done
  awk -v a="$docs_old" -v b="$docs_new" -v c="$big_old" -v d="$big_new" -v rev="$rev" 'BEGIN {
    printf "processor time, best of five: documentation pages %.3f -> %.3f ms/page (%+.1f%%), ", a, b, (b / a - 1) * 100
    printf "20 MiB table %.0f -> %.0f ms (%+.1f%%), %s -> this tree (target <= +5%%)\n", c, d, (d / c - 1) * 100, rev }'
  exit 0
fi

echo "== python: Debian's Python documentation"
"$bench" pages "$docs"
"$bench" values "$docs" 3
languages="$scratch/languages"
qf_languages_pages "$languages" >/dev/null
echo "== languages: Debian's reference and handbook in many languages"
"$bench" pages "$languages"
"$bench" values "$languages" 3

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
