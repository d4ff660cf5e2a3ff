#!/usr/bin/env bash
# The spreadsheet engine's benchmark: prints times, peak memory and the ratios
# against the baselines measured in the same run.
#   bench/engine.sh [runs]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

qf_install "${QF_PACKAGES[@]}"
qf_build_bench engine_bench
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
"$QF_ROOT/build-bench/bench/engine_bench" "$scratch" "${1:-3}"
