#!/usr/bin/env bash
# Sets up a Debian 12 machine for Bytemender, builds it, then starts it or runs
# every test. Safe to run again: packages already present are not reinstalled
# and the build only redoes what changed.
#
#   tools/quickstart.sh run    install, build, start the program
#   tools/quickstart.sh test   install, build, run the whole test suite
#
# BUILD_DIR (default: build) and CMAKE_ARGS (extra configure options) may be set.
set -euo pipefail

mode=${1:-run}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libssl-dev libcli11-dev qt6-l10n-tools qt6-translations-l10n python3
    libgtest-dev libgmock-dev libbenchmark-dev
    libzydis-dev gcc-mingw-w64-x86-64
    fonts-noto-cjk
    xvfb xauth imagemagick
    strace locales
)

# shellcheck source=tools/setup-common.sh
source "$here/tools/setup-common.sh"
install_missing "${packages[@]}"

# The tests speak to the programs in Chinese as well as English: the Chinese
# UTF-8 locale must exist.
ensure_chinese_locale || true

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_ARGS:-}
fi
cmake --build "$build" -j"$(nproc)"

case "$mode" in
run)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No graphical display here. Two ways on:"
        echo "  the window under a virtual display:  xvfb-run -a $build/app/bytemender"
        echo "  the command line (same list, same files):  $build/cli/bytemender-cli COMMAND"
        echo
        exec "$build/cli/bytemender-cli" --help
    fi
    exec "$build/app/bytemender"
    ;;
test)
    cd "$build"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
