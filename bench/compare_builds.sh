#!/usr/bin/env bash
# The run's benchmarks of an earlier revision and of the work tree, side by
# side in one run: bench/import_run.sh, bench/command_line.sh and
# bench/responsive.sh (late pages at 100 ms, the stall, resident size, local
# pages), each program of the two builds in turn, several rounds.
# Prints each program's own figures and the processor time (user + system, its
# children included) it took; the least of the rounds is the least disturbed.
#   bench/compare_builds.sh REVISION [rounds] [page count]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

revision="${1:?usage: $0 REVISION [rounds] [page count]}"
rounds="${2:-3}"
count="${3:-300}"
qf_install "${QF_PACKAGES[@]}" python3.11-doc curl time
pages=/usr/share/doc/python3.11/html
targets=(quillfen import_run_bench command_line_bench responsive_bench)

# The earlier revision, built the same way beside the work tree's.
old="$QF_ROOT/build-bench-old"
rm -rf "$old/src"
mkdir -p "$old/src"
git -C "$QF_ROOT" archive "$revision" | tar -x -C "$old/src"
cmake -S "$old/src" -B "$old/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_TESTS=OFF >/dev/null
cmake --build "$old/build" --target "${targets[@]}" --parallel "$(nproc)" >&2
qf_build_bench "${targets[@]}"

declare -A cpu
run() {
  local name="$1" build="$2"
  shift 2
  local log
  log="$(mktemp)"
  /usr/bin/time -f "%U %S" -o "$log.time" "$@" >"$log" 2>&1 || echo "$name ($build) failed: $(tail -3 "$log")"
  local seconds
  seconds="$(awk '{ printf "%.2f", $1 + $2 }' "$log.time")"
  echo "== $name, $build build: ${seconds} s of processor time"
  grep -v '^\[' "$log" | tail -n 12
  local key="$name/$build"
  if [ -z "${cpu[$key]:-}" ] || awk -v a="$seconds" -v b="${cpu[$key]}" 'BEGIN { exit !(a < b) }'; then
    cpu[$key]="$seconds"
  fi
  rm -f "$log" "$log.time"
}

for round in $(seq 1 "$rounds"); do
  echo "######## round $round of $rounds"
  for build in old new; do
    dir="$QF_ROOT/build-bench"
    [ "$build" = old ] && dir="$old/build"
    run import_run "$build" "$dir/bench/import_run_bench" "$pages" "$count"
    run command_line "$build" "$dir/bench/command_line_bench" "$dir/app/quillfen" "$pages" "$count"
    run responsive "$build" bash -c '"$1" latency 100 300 && "$1" stall && "$1" memory 3000 on &&
      "$1" parse "$2" "$3"' responsive "$dir/bench/responsive_bench" "$pages" "$count"
  done
done

echo "######## least processor time of $rounds rounds (user + system, children included)"
for name in import_run command_line responsive; do
  awk -v n="$name" -v o="${cpu[$name/old]}" -v w="${cpu[$name/new]}" \
    'BEGIN { printf "%-14s %s %8.2f s   %s %8.2f s   new/old %.3f\n", n, "old", o, "new", w, w / o }'
done
