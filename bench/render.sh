#!/usr/bin/env bash
# Pages built by scripts: quillfen --import of 40 of them on loopback against
# the browser's own --dump-dom of each page in a process of its own, and the
# browser's peak memory during the import.
#   bench/render.sh [page count] [rounds]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

qf_install "${QF_PACKAGES[@]}"
qf_build_bench quillfen
/usr/bin/python3 "$QF_ROOT/bench/render.py" "$QF_ROOT/build-bench/app/quillfen" \
  /usr/lib/chromium/chromium-headless-shell "${1:-40}" "${2:-3}"
