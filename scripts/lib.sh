# Shared by the project's scripts: where things are, and installing the
# Debian packages a step needs (only those missing; safe to run again).

QUELMAR_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export QUELMAR_ROOT

ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== Instalando: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# What the native build, its tests and the program need.
NATIVE_PACKAGES=(cmake make g++ clang-format libgtest-dev libgmock-dev googletest libbenchmark-dev libncurses-dev tmux pkg-config libusb-1.0-0-dev umockdev libumockdev-dev libsqlite3-dev)

build_jobs() { nproc 2>/dev/null || echo 2; }

# The tests compare UTF-8 texts, and Wine maps Windows file names onto Unix
# ones through the locale's character set: run them under C.UTF-8 (always
# present on Debian) whatever the caller's locale, set or not.
use_test_locale() {
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
    unset LANGUAGE
}
