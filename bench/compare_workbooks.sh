#!/usr/bin/env bash
# Two builds of quillfen, the same pages: are the workbooks the same, part by
# part? A set of real pages (bench/page_sets.sh: python, the default, or
# languages) is served on loopback; each
# program imports them through the command line (--import) and through its
# window (under a virtual X server, "Start Importing" clicked), in both sheet
# modes. Every part of each pair of workbooks is compared byte for byte, except
# docProps/core.xml, which holds the time of writing.
#   bench/compare_workbooks.sh OLD-QUILLFEN NEW-QUILLFEN [page count] [set]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
source "$(dirname "$0")/page_sets.sh"

usage="usage: $0 OLD-QUILLFEN NEW-QUILLFEN [page count] [python|languages]"
old="${1:?$usage}"
new="${2:?$usage}"
count="${3:-300}"
set_name="${4:-python}"
qf_install python3 unzip xvfb xauth xdotool "${QF_PAGE_SET_PACKAGES[@]}"

work="$(mktemp -d)"
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
case "$set_name" in
  python) pages="$QF_PYTHON_PAGES" ;;
  languages)
    pages="$work/languages"
    qf_languages_pages "$pages" >/dev/null
    ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
python3 -m http.server --bind 127.0.0.1 --directory "$pages" "$port" >/dev/null 2>&1 &
server=$!
for _ in $(seq 1 50); do
  python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/')" 2>/dev/null && break
  sleep 0.1
done
(cd "$pages" && find . -name '*.html' | LC_ALL=C sort | head -n "$count" | sed "s|^\./|http://127.0.0.1:$port/|") \
  >"$work/pages.txt"
# Entries that cannot be read among them: a missing page, a port nobody
# answers on, no address at all.
closed="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
{
  head -n 10 "$work/pages.txt"
  echo "http://127.0.0.1:$port/no-such-page.html"
  sed -n '11,20p' "$work/pages.txt"
  echo "http://127.0.0.1:$closed/"
  tail -n +21 "$work/pages.txt"
  echo "no address at all"
} >"$work/list.txt"
echo "$(wc -l <"$work/pages.txt") pages and 3 entries that cannot be read"

# A home of its own for one start of a program, with the sheet mode remembered
# (separate: True or False) and a documents folder.
make_home() {
  local home="$1" separate="$2"
  mkdir -p "$home/config" "$home/Documents"
  printf 'XDG_DOCUMENTS_DIR="%s/Documents"\n' "$home" >"$home/config/user-dirs.dirs"
  local one=True
  [ "$separate" = True ] && one=False
  printf '[Quillfen]\nOption1=%s\nOption2=%s\n' "$one" "$separate" >"$home/config/Tarnwick.ini"
}

# The workbook of "Start Importing" in the window over the list, in the sheet
# mode the home remembers: $1 program, $2 home, $3 where to put the workbook.
window_run() {
  local program="$1" home="$2" out="$3"
  HOME="$home" XDG_CONFIG_HOME="$home/config" "$(dirname "$0")/../scripts/virtual-display" 1024x768x24 sh -c '
    # Its output (the opener of the finished workbook may print the file) is kept apart.
    "$1" "$2" >"$4" 2>&1 &
    pid=$!
    trap "kill $pid 2>/dev/null" EXIT
    main=""
    for i in $(seq 1 150); do
      main="$(xdotool search --onlyvisible --name "^Quillfen\$" 2>/dev/null | head -n1)"
      [ -n "$main" ] && break
      sleep 0.1
    done
    [ -n "$main" ] || { echo "no window" >&2; exit 1; }
    sleep 0.5
    xdotool mousemove --window "$main" 268 410 click 1
    for i in $(seq 1 3000); do
      found="$(ls "$3"/*.xlsx 2>/dev/null | head -n1)"
      [ -n "$found" ] && break
      sleep 0.1
    done
    [ -n "$found" ] || { echo "no workbook written" >&2; exit 1; }
    sleep 0.5
  ' sh "$program" "$work/list.txt" "$home/Documents" "$home/window.log"
  cp "$(ls "$home"/Documents/*.xlsx | head -n1)" "$out"
}

# 0 when the two workbooks hold the same parts with the same bytes, but the time of writing.
same_parts() {
  local a="$work/a" b="$work/b" differ=0
  rm -rf "$a" "$b"
  unzip -q -o "$1" -d "$a"
  unzip -q -o "$2" -d "$b"
  if ! diff <(cd "$a" && find . -type f | LC_ALL=C sort) <(cd "$b" && find . -type f | LC_ALL=C sort) >/dev/null; then
    echo "  the parts differ: $(diff <(cd "$a" && find . -type f | sort) <(cd "$b" && find . -type f | sort) | tr '\n' ' ')"
    return 1
  fi
  local parts=0
  while IFS= read -r part; do
    [ "$part" = "./docProps/core.xml" ] && continue
    parts=$((parts + 1))
    cmp -s "$a/$part" "$b/$part" || { echo "  $part differs"; differ=1; }
  done < <(cd "$a" && find . -type f | LC_ALL=C sort)
  echo "  $parts parts compared ($(du -sh "$a" | cut -f1) unpacked)"
  return $differ
}

failures=0
for mode in one separate; do
  flag=--one-sheet separate=False
  [ "$mode" = separate ] && flag=--separate-sheets separate=True
  for build in old new; do
    program="$old"
    [ "$build" = new ] && program="$new"
    make_home "$work/home-$build-$mode" "$separate"
    HOME="$work/home-$build-$mode" XDG_CONFIG_HOME="$work/home-$build-$mode/config" \
      "$program" --import "$work/list.txt" "$flag" --output "$work/cli-$build-$mode.xlsx" >/dev/null 2>"$work/cli-$build-$mode.log" ||
      echo "  $build --import $flag exited with $?"
    make_home "$work/window-$build-$mode" "$separate"
    window_run "$program" "$work/window-$build-$mode" "$work/window-$build-$mode.xlsx"
  done
  for via in cli window; do
    echo "$via, $mode sheet mode:"
    same_parts "$work/$via-old-$mode.xlsx" "$work/$via-new-$mode.xlsx" || failures=$((failures + 1))
  done
  # Its progress lines name the time taken; the rest must be the same.
  echo "command line, $mode sheet mode, standard error (times left out):"
  if diff <(sed 's/ [0-9]*:[0-9][0-9] / m:ss /' "$work/cli-old-$mode.log") \
    <(sed 's/ [0-9]*:[0-9][0-9] / m:ss /' "$work/cli-new-$mode.log") >"$work/stderr.diff"; then
    echo "  the same, $(wc -l <"$work/cli-new-$mode.log") lines"
  else
    echo "  differs:"
    head -5 "$work/stderr.diff"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "every workbook the same, part by part" || { echo "$failures pairs differ"; exit 1; }
