#!/usr/bin/env bash
# Builds the Debian package from a configured build folder, installs it on
# this machine, checks that the installed window comes up under a virtual
# display and that the command-line program answers, then removes the package.
#
#   tools/package-check.sh [build-dir]     (as root or a user with sudo)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$here/build}
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

need=()
for p in dpkg-dev file xvfb xauth x11-utils; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if ((${#need[@]})); then
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

(cd "$build" && rm -f bytemender_*.deb && cpack -G DEB >/dev/null)
deb=$(realpath "$build"/bytemender_*.deb)
echo "package: $deb"
dpkg-deb -f "$deb" Depends
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$deb" >/dev/null

cleanup() {
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get remove -y -qq bytemender >/dev/null || true
}
trap cleanup EXIT

if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net /usr/share/metainfo/*bytemender*.metainfo.xml
fi
/usr/bin/bytemender-cli --version

# The installed window, as a user would start it, until its main window shows.
home=$(mktemp -d)
cat >"$home/check.sh" <<'INNER'
#!/usr/bin/env bash
set -u
/usr/bin/bytemender &
pid=$!
for _ in $(seq 1 100); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Bytemender'; then
        echo "main window shown"
        kill "$pid"
        wait "$pid" 2>/dev/null
        exit 0
    fi
    kill -0 "$pid" 2>/dev/null || { echo "bytemender ended early" >&2; exit 1; }
    sleep 0.2
done
echo "no main window after 20 s" >&2
kill "$pid"
exit 1
INNER
chmod +x "$home/check.sh"
mkdir -m 0700 "$home/run"
HOME=$home XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
    xvfb-run -a "$home/check.sh"
rm -rf "$home"
echo "package check passed"
