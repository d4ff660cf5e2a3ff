#!/usr/bin/env bash
# The import run's own cost against the same refreshes driven directly on the
# engine: 300 pages of Debian's Python documentation served on loopback.
#   bench/import_run.sh [page count]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

qf_install "${QF_PACKAGES[@]}" python3.11-doc
pages=/usr/share/doc/python3.11/html
cmake -S "$QF_ROOT" -B "$QF_ROOT/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_TESTS=OFF >/dev/null
cmake --build "$QF_ROOT/build-bench" --target import_run_bench --parallel 2
"$QF_ROOT/build-bench/bench/import_run_bench" "$pages" "${1:-300}"
