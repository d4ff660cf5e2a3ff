# Shared by scripts/run and scripts/test: installs what is missing and builds.
# Sourced, not run.

QF_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages the build, the program and the tests need.
QF_PACKAGES=(
  build-essential cmake pkg-config ninja-build
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  googletest libgtest-dev libgmock-dev
  libcurl4-openssl-dev libidn2-dev libbrotli-dev libgumbo-dev libxlsxwriter-dev zlib1g-dev libssl-dev libicu-dev ca-certificates
  libxml2-dev libminizip-dev nlohmann-json3-dev chromium-headless-shell
  fonts-liberation2 fonts-dejavu-core xvfb xauth x11-utils imagemagick xdotool
  python3 python3-openpyxl
  clang libclang-rt-14-dev
)

qf_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages that are not installed yet; does nothing when all are.
qf_install() {
  local missing=() pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  qf_sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  qf_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# In CI (CI set) a compiler warning fails the build.
QF_WERROR=(-DQUILLFEN_WERROR="$([ -n "${CI:-}" ] && echo ON || echo OFF)")

# qf_build <build-dir> [cmake options...]
# Builds benchmark programs (targets) in the Release build-bench/ folder.
qf_build_bench() {
  cmake -S "$QF_ROOT" -B "$QF_ROOT/build-bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_TESTS=OFF >/dev/null
  cmake --build "$QF_ROOT/build-bench" --target "$@" --parallel "$(nproc)" >&2
}

qf_build() {
  local dir="$1"; shift
  cmake -S "$QF_ROOT" -B "$QF_ROOT/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${QF_WERROR[@]}" "$@" >/dev/null
  cmake --build "$QF_ROOT/$dir" --parallel "$(nproc)"
}
