# Shared by the Windows scripts of this folder (sourced): a work folder
# removed at exit, Windows paths, a holder process, failures.
#
# Expects wine and cli to be set; sets work and holder.
work=$(mktemp -d)
holder=

# Stops the holder started last, if any.
stop_holder() {
    if [ -n "$holder" ]; then
        kill "$holder" 2>/dev/null || true
        wait "$holder" 2>/dev/null || true
        holder=
    fi
}
cleanup() {
    stop_holder
    rm -rf "$work"
}
trap cleanup EXIT

# Windows sees the Linux root as drive Z:.
win() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
# bytemender-cli on the list file $ini.
bm() { "$wine" "$cli" --settings "$(win "$ini")" "$@"; }

# Starts PROGRAM ARGS... under Wine as the holder and waits until it says
# "open" (it has its file open, or it runs).
start_holder() {
    "$wine" "$@" >"$work/holder.out" &
    holder=$!
    for _ in $(seq 1 100); do grep -q open "$work/holder.out" 2>/dev/null && break; sleep 0.1; done
    grep -q open "$work/holder.out" || fail "$1 did not start"
}
