#!/usr/bin/env bash
# Screenshots of the main window and of the about box, taken on a virtual X
# screen from a built program.
#
#   tools/screenshots.sh [build folder] [output folder]
#
# The build folder (default: build) must hold a built `bytemender`; nothing is
# built here. Screenshots go to the output folder (default: screenshots/ in
# the source tree): main-window.png and about-box.png. The program is copied
# into a temporary folder together with a settings file that names a real
# target file and holds a few patch items, so the run leaves the build folder
# untouched. Needs xvfb-run and ImageMagick's import; with openbox installed
# the windows get their frames and captions.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
out=${2:-$here/screenshots}
program=$build/app/bytemender
if [ ! -x "$program" ]; then
    echo "screenshots.sh: no program at $program; build the 'bytemender' target first" >&2
    exit 1
fi
for tool in xvfb-run import; do
    if ! command -v "$tool" >/dev/null; then
        echo "screenshots.sh: $tool is needed" >&2
        exit 1
    fi
done
command -v openbox >/dev/null || echo "openbox not found: windows are shown without frames" >&2
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/bytemender-shots.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/bytemender"

# A target whose bytes match the items' old data, and the settings file.
head -c 4096 /dev/zero > "$work/data.bin"
printf '\x74\x05' | dd of="$work/data.bin" bs=1 seek=16 conv=notrunc status=none
printf '\x33\xc0\x5d\xc3' | dd of="$work/data.bin" bs=1 seek=$((0x1a0)) conv=notrunc status=none
{
    printf 'FileName = %s\r\n' "$work/data.bin"
    printf 'PathList\\0000\\Descrip = first change\r\n'
    printf 'PathList\\0000\\NewHex = EB05\r\n'
    printf 'PathList\\0000\\Offset = 0x00000010\r\n'
    printf 'PathList\\0000\\OldHex = 7405\r\n'
    printf 'PathList\\0000\\Path = 1\r\n'
    printf 'PathList\\0001\\Descrip = second change\r\n'
    printf 'PathList\\0001\\NewHex = 01\r\n'
    printf 'PathList\\0001\\Offset = 0x00000200\r\n'
    printf 'PathList\\0001\\OldHex = 00\r\n'
    printf 'PathList\\0001\\Path = 0\r\n'
    printf 'PathList\\0002\\Descrip = 跳过版本检查\r\n'
    printf 'PathList\\0002\\NewHex = B8 01 00 00 00 C3\r\n'
    printf 'PathList\\0002\\Offset = 0x000001A0\r\n'
    printf 'PathList\\0002\\OldHex = 33 C0 5D C3\r\n'
    printf 'PathList\\0002\\Path = 1\r\n'
    printf 'PathList\\0003\\Descrip = 调试输出改为空操作\r\n'
    printf 'PathList\\0003\\NewHex = 90 90 90 90 90\r\n'
    printf 'PathList\\0003\\Offset = 0x00000F00\r\n'
    printf 'PathList\\0003\\OldHex = 00 00 00 00 00\r\n'
    printf 'PathList\\0003\\Path = 0\r\n'
    printf 'PathList\\Count = 4\r\n'
} > "$work/bytemender.ini"

shoot() { # step file
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        wm=
        if command -v openbox >/dev/null; then
            openbox >/dev/null 2>&1 & wm=$!
            sleep 0.5
        fi
        BYTEMENDER_SCREENSHOT_STEP=$2 "$1" & pid=$!
        sleep 2.5
        import -window root "$3"
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; fi
    ' _ "$work/bytemender" "$1" "$2"
    echo "$2"
}

shoot main "$out/main-window.png"
shoot about "$out/about-box.png"
