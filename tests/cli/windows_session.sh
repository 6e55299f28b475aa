#!/bin/sh
# bytemender-cli.exe on real files under Wine: target, add, search, apply,
# status, export and import, in a folder with a Chinese name; a read-only
# target; a target or settings file held open by another program (named as
# in use); a running program patched.
#
#   windows_session.sh WINE bytemender-cli.exe hold_open.exe
set -eu
wine=$1
cli=$2
hold=$3

# shellcheck source=tests/cli/wine_helpers.sh
. "$(dirname "$0")/wine_helpers.sh"
hex() { od -An -tx1 -v "$1" | tr -d ' \n'; }

dir="$work/补丁 测试"
mkdir -p "$dir"
ini="$dir/列表.ini"
target="$dir/程序.bin"
printf '\001\002\003\004\005\006\007\010' >"$target"

echo "-- target, add, search, apply, status in a Chinese folder"
bm target "$(win "$target")" >/dev/null || fail "target"
[ "$(hex "$dir/Path_bak/程序.bin")" = 0102030405060708 ] || fail "backup copy"
bm add --offset 2 --old 0304 --new AABB --description "第一项" --enable >/dev/null || fail "add"
[ "$(bm search 0506 | tr -d '\r')" = "00000004" ] || fail "search: $(bm search 0506)"
bm apply >/dev/null || fail "apply"
[ "$(hex "$target")" = 0102aabb05060708 ] || fail "applied bytes $(hex "$target")"
bm status >/dev/null || fail "status after apply"
grep -q "第一项" "$ini" || fail "description in the list file"

echo "-- export and import"
bm export "$(win "$dir/补丁.ips")" >/dev/null || fail "export"
[ -s "$dir/补丁.ips" ] || fail "exported file"
rm "$ini"
printf '\001\002\003\004\005\006\007\010' >"$target"
bm target "$(win "$target")" >/dev/null || fail "target again"
bm import "$(win "$dir/补丁.ips")" >/dev/null || fail "import"
bm apply >/dev/null || fail "apply imported"
[ "$(hex "$target")" = 0102aabb05060708 ] || fail "imported bytes $(hex "$target")"

echo "-- a read-only target is never replaced"
bm add --offset 0 --old 01 --new 11 --enable >/dev/null || fail "add second"
"$wine" cmd /c attrib +r "$(win "$target")" >/dev/null 2>&1 || fail "attrib +r"
bm apply >/dev/null 2>&1 && fail "apply through the read-only attribute"
[ "$(hex "$target")" = 0102aabb05060708 ] || fail "read-only target changed"
"$wine" cmd /c attrib -r "$(win "$target")" >/dev/null 2>&1

# Both are named as in use by another program, not as a bare write failure.
for mode in "" deny-write; do
    echo "-- a target held open without delete sharing ${mode:+($mode)}"
    start_holder "$hold" "$(win "$target")" 30 $mode
    status=0
    bm apply >"$work/out" 2>&1 || status=$?
    [ "$status" -ne 0 ] || fail "apply to a locked target reported success"
    grep -q "正被另一个程序使用" "$work/out" || fail "not named as in use: $(cat "$work/out")"
    [ "$(hex "$target")" = 0102aabb05060708 ] || fail "locked target changed"
    ls -a "$dir" | grep -q bytemender && fail "temporary file left beside the target"
    stop_holder
done

echo "-- a settings file held open by an editor that denies writing"
cp "$ini" "$work/list.before"
start_holder "$hold" "$(win "$ini")" 30 deny-write
status=0
bm add --offset 1 --old 02 --new 22 >"$work/out" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "add to a locked settings file reported success"
grep -q "无法将列表写入设置文件" "$work/out" || fail "not named as the list: $(cat "$work/out")"
grep -q "正被另一个程序使用" "$work/out" || fail "list not named as in use: $(cat "$work/out")"
cmp -s "$ini" "$work/list.before" || fail "locked settings file changed"
ls -a "$dir" | grep -q bytemender && fail "temporary file left beside the settings file"
stop_holder

echo "-- a running program is patched"
program="$dir/运行.exe"
cp "$hold" "$program"
rm "$ini"
bm target "$(win "$program")" >/dev/null || fail "target the program"
: >"$work/anything"
start_holder "$program" "$(win "$work/anything")" 30
# The DOS stub's text: "This program cannot be run in DOS mode" at 0x4e.
bm add --offset 4e --old 54 --new 74 --enable >/dev/null || fail "add to the program"
bm apply >/dev/null || fail "apply to the running program"
[ "$(od -An -c -j 78 -N 1 "$program" | tr -d ' ')" = t ] || fail "running program not patched"
stop_holder
echo "all passed"
