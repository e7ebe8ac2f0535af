# Shared by the scripts: install what is missing, configure and build.
# shellcheck shell=bash

TAVRIN_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages for building, testing and fuzzing Tavrin.
TAVRIN_PACKAGES=(
    g++ cmake ninja-build pkg-config locales
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-serialport-dev
    libgtest-dev libgmock-dev libeigen3-dev libgeographiclib-dev
    clang libclang-rt-14-dev clang-format
    libxcb1-dev
    fonts-dejavu-core
)

# Debian packages for making the .deb and checking it (scripts/package,
# scripts/check-package).
TAVRIN_PACKAGING_PACKAGES=(
    dpkg-dev file lintian
    appstream desktop-file-utils man-db groff-base
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the named Debian packages that are not installed yet; no apt call
# at all when everything is in place.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_preset NAME: configures and builds one preset of CMakePresets.json.
build_preset() {
    (cd "$TAVRIN_ROOT" && cmake --preset "$1" >/dev/null && cmake --build --preset "$1")
}

# run_preset NAME: builds a preset and runs its tests.
run_preset() {
    build_preset "$1"
    (cd "$TAVRIN_ROOT" && ctest --preset "$1")
}
