#!/usr/bin/env bash
# Screenshots of every window the user meets, each taken on its own virtual X
# screen:
#
#   main-window.png           the main window with patch items in every state
#   main-window-maximized.png the same window maximised
#   main-window-menu.png      its "更多" menu open
#   about-box.png             the about box over it
#   editor-add.png            the item editor in add mode
#   editor-modify.png         the item editor changing an item
#   editor-search-listing.png a search with many matches, listed in the offset box
#   error-message.png         the message for an item whose old data does not match
#   relocate-dialog.png       the relocation dialog: moves and items that cannot move
#   relocate-backup.png       the same before a new backup, some items left behind
#   main-window-status.png    the status line after a command ("有效/无效")
#   target-changed.png        the three-way question about a changed target
#   file-chooser.png          Qt's own file chooser, in the window's language
#   long-message.png          a message too long for its box, its middle cut out
#   unreadable-list.png       a settings file that cannot be read: the message
#                             over the window and the mark in its status line
#
#   tools/screenshots.sh [build folder] [output folder]
#
# Every picture is taken twice: in Chinese (zh/, LANG=zh_CN.UTF-8) and in
# English (en/, LANG=en_US.UTF-8).
#
# The README's docs/main-window.png is zh/main-window.png cut to the window:
#   convert screenshots/zh/main-window.png -trim +repage -colors 96 PNG8:docs/main-window.png
#
# The build folder (default: build) is configured when it has no cache yet, and
# the program and the item editor's showcase (built only when asked for) are
# built there. Pictures go to the output folder (default: screenshots/ in the
# source tree). Both programs run from a copy in a temporary folder, beside a
# settings file that names a real target and holds a few patch items, so the
# settings files and Path_bak folders they keep beside themselves never reach
# the build folder. Needs xvfb-run and ImageMagick's import; with openbox
# installed the windows get their frames and captions.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
out=${2:-$here/screenshots}
for tool in xvfb-run import cmake; do
    if ! command -v "$tool" >/dev/null; then
        echo "screenshots.sh: $tool is needed" >&2
        exit 1
    fi
done
command -v openbox >/dev/null || echo "openbox not found: windows are shown without frames" >&2

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target bytemender editor_showcase -j2 >/dev/null
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/bytemender-shots.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$build/app/bytemender" "$work/bytemender"
cp "$build/editor/editor_showcase.d/editor_showcase" "$work/editor_showcase"

# A pristine backup and a target that differs from it here and there, so that
# the list's state column shows every state: applied (one of them written over
# in part by a later item: overlapping), original, differs, out of range,
# backup mismatch (also old bytes that an earlier item writes over), and rows
# whose target disagrees with their flag.
poke() { # file offset bytes...
    local file=$1 offset=$2
    shift 2
    printf "$(printf '\\x%s' "$@")" | dd of="$file" bs=1 seek=$((offset)) conv=notrunc status=none
}
mkdir -p "$work/Path_bak"
backup=$work/Path_bak/data.bin
head -c 4096 /dev/zero >"$backup"
poke "$backup" 0x10 74 05
poke "$backup" 0x1a0 33 c0 5d c3
poke "$backup" 0x300 75 0a
cp "$backup" "$work/data.bin"
poke "$work/data.bin" 0x10 eb 05
poke "$work/data.bin" 0x1a0 b8 01 00 00 02 c3
poke "$work/data.bin" 0x300 90 90
poke "$work/data.bin" 0xf10 01
{
    printf 'FileName = %s\r\n' "$work/data.bin"
    item() { # number offset description old new flag
        printf 'PathList\\%s\\Descrip = %s\r\n' "$1" "$3"
        printf 'PathList\\%s\\NewHex = %s\r\n' "$1" "$5"
        printf 'PathList\\%s\\Offset = %s\r\n' "$1" "$2"
        printf 'PathList\\%s\\OldHex = %s\r\n' "$1" "$4"
        printf 'PathList\\%s\\Path = %s\r\n' "$1" "$6"
    }
    item 0000 0x00000010 '跳过序列号检查' '74 05' 'EB 05' 1
    item 0001 0x000001A0 '跳过版本检查' '33 C0 5D C3' 'B8 01 00 00 00 C3' 1
    item 0002 0x000001A4 '版本号改为 2' 00 02 1
    item 0003 0x00000200 '显示调试菜单' 00 01 1
    item 0004 0x00000300 '去掉启动画面' '75 0A' 'EB 0A' 0
    item 0005 0x00000400 '默认语言改为英文' 'FF FF' '00 00' 1
    item 0006 0x00000F00 '调试输出改为空操作' '00 00 00 00 00' '90 90 90 90 90' 0
    item 0007 0x00000F10 '关闭更新检查' '00 00' '01 00' 0
    item 0008 0x00002000 '旧版本的补丁' 00 01 0
    item 0009 0x000001A1 '改写已被覆盖的字节' C0 C1 1
    printf 'PathList\\Count = 10\r\n'
} >"$work/bytemender.ini"

# Runs a command on a fresh virtual screen, takes the screen once the window
# settled, then ends the command: shoot picture command...
shoot() {
    local picture=$1
    shift
    # Every scene starts from the sample list (the error scene saves its own).
    cp "$work/bytemender.ini" "$work/editor_showcase.ini"
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        picture=$1
        shift
        wm=
        if command -v openbox >/dev/null; then
            openbox >/dev/null 2>&1 & wm=$!
            sleep 0.5
        fi
        "$@" & pid=$!
        sleep 2.5
        import -window root "$picture"
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; fi
    ' _ "$out/$picture" "$@"
    echo "$out/$picture"
}

# The showcase opens the main window on the settings file beside itself; a
# second copy sits beside a settings "file" that is a folder, which cannot be
# read.
cp "$work/bytemender.ini" "$work/editor_showcase.ini"
cp "$work/editor_showcase" "$work/unreadable_showcase"
mkdir -p "$work/unreadable_showcase.ini"
all=$out
for lang in zh_CN en_US; do
    out=$all/${lang%_*}
    mkdir -p "$out"
    export LANG=$lang.UTF-8 LANGUAGE= LC_ALL= LC_MESSAGES=
    shoot main-window.png "$work/bytemender"
    shoot main-window-maximized.png "$work/editor_showcase" window-maximized
    shoot main-window-menu.png "$work/editor_showcase" window-menu
    shoot main-window-status.png "$work/editor_showcase" window-status
    shoot about-box.png "$work/editor_showcase" about
    shoot editor-add.png "$work/editor_showcase" add
    shoot editor-modify.png "$work/editor_showcase" modify
    shoot editor-search-listing.png "$work/editor_showcase" search
    shoot error-message.png "$work/editor_showcase" error
    shoot target-changed.png "$work/editor_showcase" question
    shoot file-chooser.png "$work/editor_showcase" chooser
    shoot long-message.png "$work/editor_showcase" long-message
    shoot relocate-dialog.png "$work/editor_showcase" relocate
    shoot relocate-backup.png "$work/editor_showcase" relocate-backup
    shoot unreadable-list.png "$work/unreadable_showcase" window
done
