#!/bin/sh
# bytemender-cli.exe killed part way through "apply" under Wine: a test build
# of the program (BYTEMENDER_KILL_AT_MOVE=N ends it, as a kill would, just
# before its N-th move of a file) is stopped before each move in turn. After
# every kill the target is the old file or the new one, whole (or, for a
# running program moved aside, the old one waiting beside it, back in its
# place as soon as the program runs again), and the next plain "apply"
# settles the records without asking about a changed target:
# the target ends patched and the backup pristine. Once for a data file and
# once for a running program, which Windows lets only be moved aside.
#
#   windows_killed.sh WINE bytemender-cli-faults.exe hold_open.exe
set -eu
wine=$1
cli=$2
hold=$3

# shellcheck source=tests/cli/wine_helpers.sh
. "$(dirname "$0")/wine_helpers.sh"

dir="$work/杀死 测试"
mkdir -p "$dir"
ini="$dir/list.ini"

# The program's DOS stub says "This program cannot be run in DOS mode" at
# 0x4e: the item turns its "T" into "t". A data file gets the same bytes.
cp "$hold" "$work/original"
cp "$work/original" "$work/patched"
printf 't' | dd of="$work/patched" bs=1 seek=78 conv=notrunc 2>/dev/null

# A fresh list on the original target, with one enabled item.
reset() {
    stop_holder
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$work/original" "$target"
    bm target "$(win "$target")" >/dev/null || fail "target"
    bm add --offset 4e --old 54 --new 74 --enable >/dev/null || fail "add"
    if [ "$running" = yes ]; then
        : >"$work/anything"
        start_holder "$target" "$(win "$work/anything")" 60
    fi
}

# The old or the new file at path, whole; or, only while it was moved aside,
# nothing at path and the old file beside it.
whole() {
    if [ -f "$1" ]; then
        cmp -s "$1" "$work/original" || cmp -s "$1" "$work/patched"
    else
        for aside in "$(dirname "$1")"/.*bytemender-old-*; do
            cmp -s "$aside" "$work/original" && return 0
        done
        return 1
    fi
}

for running in no yes; do
    if [ "$running" = yes ]; then target="$dir/运行.exe"; else target="$dir/数据.bin"; fi
    kills=0
    for kill in $(seq 1 12); do
        echo "-- running program: $running; apply killed at move $kill"
        reset
        status=0
        BYTEMENDER_KILL_AT_MOVE=$kill bm apply >"$work/out" 2>&1 || status=$?
        if [ "$status" -ne 137 ]; then # ran to its end: every move was covered
            [ "$status" -eq 0 ] || fail "apply ended with $status: $(cat "$work/out")"
            break
        fi
        kills=$((kills + 1))
        whole "$target" || fail "target torn after a kill at move $kill"
        whole "$dir/Path_bak/$(basename "$target")" || fail "backup torn after a kill at move $kill"
        # Any next run, even one that only reads, finds the file in its place.
        bm status >/dev/null 2>&1 || true
        [ -f "$target" ] || fail "target still moved aside after a kill at move $kill"
        whole "$target" || fail "target torn after the run that followed a kill at move $kill"
        status=0
        bm apply >"$work/out" 2>&1 || status=$?
        [ "$status" -eq 0 ] || fail "the next apply after a kill at move $kill: $(cat "$work/out")"
        cmp -s "$target" "$work/patched" || fail "target not patched after a kill at move $kill"
        cmp -s "$dir/Path_bak/$(basename "$target")" "$work/original" || fail "backup changed"
        bm status >/dev/null 2>&1 || fail "status after a kill at move $kill"
    done
    [ "$kills" -ge 3 ] || fail "only $kills kills: apply saves the list, records, writes, records"
    stop_holder
done
echo "all passed"
