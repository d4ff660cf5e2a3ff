#!/usr/bin/env bash
# The import run's own cost against the same imports driven directly on the
# engine: 300 pages of Debian's Python documentation served on loopback.
#   bench/import_run.sh [page count]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

qf_install "${QF_PACKAGES[@]}" python3.11-doc
pages=/usr/share/doc/python3.11/html
qf_build_bench import_run_bench
"$QF_ROOT/build-bench/bench/import_run_bench" "$pages" "${1:-300}"
