# Building a library for Windows from Debian's own source package, cross-compiled
# with mingw-w64 and installed into a cache folder. Shared by scripts/windows-qt
# and scripts/windows-libs; sourced after lib.sh, not run.
#
#   qf_recipe_build NAME PACKAGE VERSION CACHE HASH RECIPE
#
# builds Debian's source PACKAGE at VERSION (fetched with apt-get source, which
# checks it against the archive's signed index) by calling the shell function
# RECIPE, and prints the installed prefix, CACHE/NAME-VERSION-HASH, as its only
# output line. HASH stands for the recipe (its options, the toolchain file):
# another hash is another folder. A call whose folder is complete does nothing
# but print it. An interrupted build goes on where it stopped at the next call:
# its work folder (CACHE/NAME-VERSION.work, one a version, so a changed recipe
# rebuilds only what its change touches) is kept until the install is done.
# RECIPE runs in a subshell with "set -e" in force, inside the work folder, its output in
# the log (the prefix's name with .log, or QF_RECIPE_LOG), and with
#   src     the unpacked source, Debian's patches applied
#   build   a build folder of its own (kept between interrupted calls)
#   prefix  where to install
# One build at a time per cache folder: a second caller waits for the lock and
# then finds the work done.

QF_TOOLCHAIN="$QF_ROOT/cmake/mingw-w64-x86_64.cmake"
QF_MINGW=x86_64-w64-mingw32

qf_recipe_say() { echo "${QF_RECIPE_NAME:-windows}: $*" >&2; }

# The version of the source package that a Debian binary package was built from.
qf_source_version() { dpkg-query -W -f='${source:Version}' "$1"; }

# The version of the source package that the archive's candidate of a binary
# package (installed or not) is built from.
qf_archive_source_version() {
  apt-cache show --no-all-versions "$1" | awk '
    /^Version:/ { version = $2 }
    /^Source:/ && $3 != "" { source = $3; gsub(/[()]/, "", source) }
    END { print (source != "" ? source : version) }'
}

# Hash of the text on standard input, short.
qf_recipe_hash() { sha256sum | cut -c1-12; }

# Source lines for Debian's archive, in a file of their own: the same archive,
# suites and components as the binary lines already configured, read from the
# apt configuration (one-line and deb822 formats). Nothing is done when
# apt-get can already find the source package named.
qf_enable_debian_sources() {
  local package="$1" work="$2"
  apt-get source --download-only --print-uris "$package" >/dev/null 2>&1 && return 0
  python3 - >"$work/src.sources" <<'EOF'
import glob, os, re

KEYRING = "debian-archive-keyring"
stanzas = []

def debian(uri, signed):
    return KEYRING in signed or re.search(r"/debian(-security)?/?$", uri) is not None

def one_line(path):
    for line in open(path, encoding="utf-8", errors="replace"):
        line = line.split("#", 1)[0].strip()
        m = re.match(r"deb\s+(\[[^\]]*\]\s+)?(\S+)\s+(\S+)\s+(.*)", line)
        if not m:
            continue
        opts, uri, suite, comps = m.group(1) or "", m.group(2), m.group(3), m.group(4).split()
        signed = re.search(r"signed-by=(\S+?)\]?(\s|$)", opts)
        signed = signed.group(1) if signed else ""
        if debian(uri, signed):
            stanzas.append(([uri], [suite], comps, signed))

def deb822(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    for block in re.split(r"\n\s*\n", text):
        fields = {}
        for line in block.splitlines():
            if line.startswith("#") or ":" not in line or line[0].isspace():
                continue
            name, value = line.split(":", 1)
            fields[name.strip().lower()] = value.strip()
        if "deb" not in fields.get("types", "").split():
            continue
        if fields.get("enabled", "yes").lower() == "no":
            continue
        uris = fields.get("uris", "").split()
        signed = fields.get("signed-by", "")
        if uris and all(debian(u, signed) for u in uris):
            stanzas.append((uris, fields.get("suites", "").split(),
                            fields.get("components", "").split(), signed))

if os.path.exists("/etc/apt/sources.list"):
    one_line("/etc/apt/sources.list")
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    one_line(path)
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    if os.path.basename(path) != "quillfen-debian-src.sources":
        deb822(path)

for uris, suites, comps, signed in stanzas:
    print("Types: deb-src")
    print("URIs: " + " ".join(uris))
    print("Suites: " + " ".join(suites))
    print("Components: " + " ".join(comps))
    if signed:
        print("Signed-By: " + signed)
    print()
EOF
  if [ ! -s "$work/src.sources" ]; then
    qf_recipe_say "no Debian archive found in the apt configuration"
    return 1
  fi
  qf_sudo cp "$work/src.sources" /etc/apt/sources.list.d/quillfen-debian-src.sources
  qf_sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 update -qq >&2
}

# Fetches and unpacks PACKAGE=VERSION into WORK/src once; apt-get checks the
# files against the archive's signed index, dpkg-source checks them against the
# .dsc once more and applies Debian's patches. A failed download is tried again.
qf_fetch_source() {
  local package="$1" version="$2" work="$3" log="$4" attempt
  [ -f "$work/src/.unpacked" ] && return 0
  qf_enable_debian_sources "$package=$version" "$work" || return 1
  for attempt in 1 2 3; do
    if (
      cd "$work"
      rm -rf src "${package}"_*
      apt-get source --download-only "$package=$version" &&
      dpkg-source -x "${package}"_*.dsc src &&
      touch src/.unpacked
    ) >>"$log" 2>&1; then
      return 0
    fi
    sleep $((attempt * 5))
  done
  qf_recipe_say "could not obtain Debian's source of $package $version (see $log)"
  tail -n 5 "$log" >&2
  return 1
}

qf_recipe_build() {
  local name="$1" package="$2" version="$3" cache="$4" hash="$5" recipe="$6"
  local version_key="${name}-${version//[^A-Za-z0-9.]/_}"
  local prefix="$cache/$version_key-$hash"
  local work="$cache/$version_key.work"
  local log="${QF_RECIPE_LOG:-$prefix.log}"
  QF_RECIPE_NAME="windows-$name"
  mkdir -p "$cache"
  (
    flock 9
    if [ -f "$prefix/.complete" ]; then
      exit 0
    fi
    rm -rf "$prefix"
    mkdir -p "$work"
    qf_recipe_say "building $package $version for Windows into $prefix (log: $log)"
    echo "--- $(date -u '+%F %T') building into $prefix" >>"$log"
    start=$(date +%s)
    qf_fetch_source "$package" "$version" "$work" "$log" || exit 1
    # "set -e" holds in the recipe only where its subshell is no condition (an
    # if, or a list ending in ||): it runs as a job of its own, waited for, so
    # that a failed step stops it and an interrupted build never reaches the end.
    (
      set -e
      cd "$work"
      src="$work/src" build="$work/build" prefix="$prefix"
      mkdir -p "$build"
      "$recipe"
    ) >>"$log" 2>&1 &
    child=$!
    trap 'kill "$child" 2>/dev/null' INT TERM
    if ! wait "$child"; then
      qf_recipe_say "the build failed or was stopped (see $log); the next call goes on from there"
      tail -n 30 "$log" >&2
      exit 1
    fi
    rm -rf "$work"
    touch "$prefix/.complete"
    seconds=$(($(date +%s) - start))
    # The user and system time of the fetch and the build ("times" in this shell,
    # not in a command substitution's).
    times >"$prefix/.times"
    cpu="$(tail -n 1 "$prefix/.times")"
    rm "$prefix/.times"
    echo "--- built in $seconds s, CPU (user system) $cpu" >>"$log"
    qf_recipe_say "done in $seconds s (CPU, user and system: $cpu), $(du -sh "$prefix" | cut -f1) installed"
  ) 9>"$cache/.lock" || return 1
  echo "$prefix"
}
