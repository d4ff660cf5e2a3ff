#!/usr/bin/env bash
# "Start Importing" through the window as a user on the open internet meets it:
# pages that answer late, the window's longest stall, resident size along a long
# run, and local pages against a bare parse (see bench/responsive_bench.cpp).
#   bench/responsive.sh
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

qf_install "${QF_PACKAGES[@]}" python3.11-doc
qf_build_bench responsive_bench
bench="$QF_ROOT/build-bench/bench/responsive_bench"
for delay in 400 100; do
  for pages in 60 300; do "$bench" latency "$delay" "$pages"; done
done
"$bench" stall
"$bench" memory 3000 off
"$bench" memory 3000 on
"$bench" parse /usr/share/doc/python3.11/html 300
