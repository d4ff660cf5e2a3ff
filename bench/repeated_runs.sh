#!/usr/bin/env bash
# Ten import runs in a row in one program over the same loopback pages (every
# fifth missing; one sheet and a sheet per site by turns): open descriptors and
# resident size after each run against before and after the first.
#   bench/repeated_runs.sh [runs] [pages]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

qf_install "${QF_PACKAGES[@]}"
qf_build_bench repeated_runs_bench
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
"$QF_ROOT/build-bench/bench/repeated_runs_bench" "$scratch" "${1:-10}" "${2:-100}"
