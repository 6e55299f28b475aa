# Shared by tools/quickstart.sh and tools/windows.sh (sourced, not run):
# installing the Debian packages a script needs, and the Chinese UTF-8 locale
# the tests speak in.

# Runs a command as root: directly when already root, else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs those of the named packages that are not installed yet.
install_missing() {
    local missing=() p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Makes the zh_CN.UTF-8 locale when the machine lacks it (package locales).
ensure_chinese_locale() {
    if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
        echo "== Locale zh_CN.UTF-8"
        as_root localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
    fi
}
