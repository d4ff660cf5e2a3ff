#!/usr/bin/env bash
# The workbook's write at each of the writer's compression settings
# (bench/workbook_write_bench.cpp) over each set of real pages
# (bench/page_sets.sh), on one sheet and on a sheet each: processor time against
# file size. Then whether every setting's workbooks hold what the library's own
# setting (level-6) writes: the same parts byte for byte where only the zip
# level differs (all but docProps/core.xml, the time of writing), the same
# sheets, cells, number formats, column widths and selection, read back with
# openpyxl, where the mode differs.
#   bench/workbook_write.sh [page count of each set] [rounds]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
source "$(dirname "$0")/page_sets.sh"

qf_install "${QF_PACKAGES[@]}" "${QF_PAGE_SET_PACKAGES[@]}" unzip
qf_build_bench workbook_write_bench
bench="$QF_ROOT/build-bench/bench/workbook_write_bench"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
qf_languages_pages "$scratch/languages" >/dev/null

# 0 when the two workbooks hold the same parts with the same bytes, but the time of writing.
same_parts() {
  local a="$scratch/a" b="$scratch/b" part
  rm -rf "$a" "$b"
  unzip -q -o "$1" -d "$a"
  unzip -q -o "$2" -d "$b"
  diff -q <(cd "$a" && find . -type f | LC_ALL=C sort) <(cd "$b" && find . -type f | LC_ALL=C sort) >/dev/null || return 1
  while IFS= read -r part; do
    [ "$part" = "./docProps/core.xml" ] || cmp -s "$a/$part" "$b/$part" || return 1
  done < <(cd "$a" && find . -type f)
}

# 0 when the two workbooks read back the same: sheets in order, the active one,
# every cell's value and number format, column widths and each sheet's selection.
# Debian's Python, which has openpyxl (python3-openpyxl), rather than another first on the path.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
same_cells() {
  "$python" - "$1" "$2" <<'PY'
import sys
import openpyxl

def contents(path):
    book = openpyxl.load_workbook(path)
    sheets = []
    for sheet in book.worksheets:
        cells = {(c.row, c.column): (c.value, c.number_format) for row in sheet.iter_rows() for c in row
                 if c.value is not None}
        widths = {k: d.width for k, d in sheet.column_dimensions.items() if d.customWidth}
        sheets.append((sheet.title, cells, widths, [s.sqref for s in sheet.sheet_view.selection]))
    return book.active.title, sheets

a, b = contents(sys.argv[1]), contents(sys.argv[2])
print(f"    {sum(len(s[1]) for s in a[1])} cells on {len(a[1])} sheets read back")
sys.exit(0 if a == b else 1)
PY
}

failures=0
for set in python languages; do
  folder="$QF_PYTHON_PAGES"
  [ "$set" = languages ] && folder="$scratch/languages"
  echo "== $set"
  "$bench" "$folder" "$scratch/$set" "${1:-300}" "${2:-5}"
  for shape in one each; do
    for book in "$scratch/$set"/*-"$shape".xlsx; do
      name="$(basename "$book" "-$shape.xlsx")"
      case "$name" in
        level-6 | in-memory-level-6) continue ;;
        in-memory-*) base=in-memory-level-6 ;;
        *) base=level-6 ;;
      esac
      same_parts "$scratch/$set/$base-$shape.xlsx" "$book" ||
        { echo "  $name ($shape): parts differ from $base's"; failures=$((failures + 1)); }
    done
    echo "  $shape: the zip levels' parts compared with their mode's"
    if same_cells "$scratch/$set/level-6-$shape.xlsx" "$scratch/$set/in-memory-level-6-$shape.xlsx"; then
      echo "  $shape: in-memory-level-6 holds the same sheets, cells and formats as level-6"
    else
      echo "  $shape: in-memory-level-6 differs from level-6"
      failures=$((failures + 1))
    fi
  done
done
[ "$failures" -eq 0 ] && echo "every setting's workbooks hold the same" || { echo "$failures differ"; exit 1; }
