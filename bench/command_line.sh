#!/usr/bin/env bash
# quillfen --import over 300 pages of Debian's Python documentation served on
# loopback, against the same imports driven straight on the engine; and the
# start-up to the first request, against curl's.
#   bench/command_line.sh [page count]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

qf_install "${QF_PACKAGES[@]}" python3.11-doc curl
pages=/usr/share/doc/python3.11/html
qf_build_bench command_line_bench quillfen
"$QF_ROOT/build-bench/bench/command_line_bench" "$QF_ROOT/build-bench/app/quillfen" "$pages" "${1:-300}"
