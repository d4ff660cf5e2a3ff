#!/usr/bin/env bash
# Builds and runs the URL list benchmark: load, filters, Move Down and Clear
# List on generated lists, each beside a baseline measured in the same run.
#   bench/urllist.sh [entries ...]      (default: 100000 1000000)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
qf_install "${QF_PACKAGES[@]}"
dir="$QF_ROOT/build-bench"
qf_build_bench urllist_bench 2>/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$dir/bench/urllist_bench" "$work" "$@"
