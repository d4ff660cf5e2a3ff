#!/usr/bin/env bash
# quillfen --import over each set of real pages (bench/page_sets.sh: Debian's
# Python documentation, then Debian's reference and handbook in many languages),
# served on loopback, against the same imports driven straight on the engine and
# against the HTML parser's one-core bare parse of the same pages, in time and
# processor time; and the start-up to the first request, against curl's.
#   bench/command_line.sh [page count of each set]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
source "$(dirname "$0")/page_sets.sh"

qf_install "${QF_PACKAGES[@]}" "${QF_PAGE_SET_PACKAGES[@]}" curl
qf_build_bench command_line_bench quillfen
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
qf_languages_pages "$scratch/languages" >/dev/null
bench="$QF_ROOT/build-bench/bench/command_line_bench"
program="$QF_ROOT/build-bench/app/quillfen"
echo "== python: Debian's Python documentation"
"$bench" "$program" "$QF_PYTHON_PAGES" "${1:-300}"
echo "== languages: Debian's reference and handbook in many languages"
"$bench" "$program" "$scratch/languages" "${1:-300}" --imports-only
