# The benchmarks' sets of real pages, from Debian's own packages. Sourced by
# the benchmark scripts after scripts/lib.sh; not run.
#
#  python     Debian's Python documentation: English prose and code, few
#             numbers, as most documentation is.
#  languages  Debian's reference in its translations (every chapter) and the
#             Debian Administrator's Handbook in its languages (the first pages
#             of each, by name): many languages and scripts, tables of
#             figures (popularity counts, sizes, versions) and command output,
#             where reading the values costs.
#
# Each set is a fixed list: the same pages in the same order on every machine
# with the same packages.

QF_PYTHON_PAGES=/usr/share/doc/python3.11/html
QF_REFERENCE_LANGUAGES=(de es fr id it ja pt pt-br zh-cn zh-tw)
QF_HANDBOOK_LANGUAGES=(ar-MA ca-ES cs-CZ da-DK de-DE el-GR es-ES fa-IR fr-FR hr-HR id-ID it-IT ja-JP ko-KR
  nb-NO nl-NL pl-PL pt-BR ro-RO ru-RU sv-SE tr-TR vi-VN zh-CN zh-TW)
QF_HANDBOOK_PAGES_PER_LANGUAGE=6
QF_PAGE_SET_PACKAGES=(python3.11-doc debian-handbook)
for language in "${QF_REFERENCE_LANGUAGES[@]}"; do QF_PAGE_SET_PACKAGES+=("debian-reference-$language"); done

# qf_languages_pages FOLDER: fills FOLDER (made anew) with copies of the
# languages set's pages, reference/ and handbook/LANGUAGE/, and prints their count.
qf_languages_pages() {
  local folder="$1" language page count=0
  local reference=/usr/share/debian-reference handbook=/usr/share/doc/debian-handbook/html
  rm -rf "$folder"
  mkdir -p "$folder/reference"
  for language in "${QF_REFERENCE_LANGUAGES[@]}"; do
    for page in "$reference"/*."$language".html; do
      cp "$page" "$folder/reference/"
      count=$((count + 1))
    done
  done
  for language in "${QF_HANDBOOK_LANGUAGES[@]}"; do
    mkdir -p "$folder/handbook/$language"
    while IFS= read -r page; do
      cp "$handbook/$language/$page" "$folder/handbook/$language/"
      count=$((count + 1))
    done < <(cd "$handbook/$language" && ls -1 -- *.html | LC_ALL=C sort | head -n "$QF_HANDBOOK_PAGES_PER_LANGUAGE")
  done
  echo "$count"
}
