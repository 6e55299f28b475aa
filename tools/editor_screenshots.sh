#!/usr/bin/env bash
# Screenshots of the item editor (add and modify mode, a search listing in the
# offset box) and of the main window's error message, each on its own virtual
# X screen.
#
#   tools/editor_screenshots.sh [output folder]   (default: <build>/screenshots)
#
# BUILD_DIR (default: build) names the build folder; the showcase program is
# built there on demand. Needs xvfb-run and ImageMagick's import; with openbox
# installed the windows get their frames and captions (without it they are
# shown bare, as no window manager draws them).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build}
out=${1:-$build/screenshots}
mkdir -p "$out"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target editor_showcase -j2 >/dev/null
command -v openbox >/dev/null || echo "openbox not found: windows are shown without frames" >&2
showcase=$build/editor/editor_showcase.d/editor_showcase

shoot() { # scene file
    local scene=$1 file=$2
    # The program shows its scene and stays; the screen is taken after it
    # settled, then the program is ended.
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        wm=
        if command -v openbox >/dev/null; then
            openbox >/dev/null 2>&1 & wm=$!
            sleep 0.5
        fi
        "$1" "$2" & pid=$!
        sleep 2.5
        import -window root "$3"
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; fi
    ' _ "$showcase" "$scene" "$file"
    echo "$file"
}

shoot add "$out/editor-add.png"
shoot modify "$out/editor-modify.png"
shoot search "$out/editor-search-listing.png"
shoot error "$out/error-message.png"

# The error scene's main window keeps its settings file and Path_bak beside
# the program; they are of no further use.
rm -rf "$build/editor/editor_showcase.d/Path_bak" "$build/editor/editor_showcase.d/editor_showcase.ini"
