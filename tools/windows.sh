#!/usr/bin/env bash
# Cross-builds the Qt-free core, bytemender-cli.exe and reloc_bench.exe for
# mingw-w64 and runs their test suites under Wine. Safe to run again: packages
# already present are not reinstalled and the build only redoes what changed.
#
#   tools/windows.sh          install, build, run the tests under Wine
#   tools/windows.sh package  the same, then bytemender-<version>-win64.zip
#
# BUILD_DIR (default: build-win) may be set. The window is not built: it needs
# Qt 6 for Windows, which Debian does not ship.
set -euo pipefail

mode=${1:-test}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$here/build-win}
deps=$build/deps
jobs=${JOBS:-2}

packages=(
    cmake make python3 libcli11-dev
    g++-mingw-w64-x86-64-posix googletest
    wine wine64 locales libzycore-dev
)
# shellcheck source=tools/setup-common.sh
source "$here/tools/setup-common.sh"
install_missing "${packages[@]}"

toolchain=$here/tools/mingw-w64.cmake

# CLI11 is header-only: its headers and CMake package are staged in the
# Windows prefix, so that nothing else of the Linux /usr is searched.
if [ ! -f "$deps/share/cmake/CLI11/CLI11Config.cmake" ]; then
    mkdir -p "$deps/include" "$deps/share/cmake"
    cp -r /usr/include/CLI "$deps/include/"
    cp -r /usr/share/cmake/CLI11 "$deps/share/cmake/"
fi

# GoogleTest, built for Windows from Debian's sources.
if [ ! -f "$deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
    echo "== GoogleTest for Windows"
    cmake -S /usr/src/googletest -B "$build/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -Dgtest_disable_pthreads=OFF \
        -DBUILD_GMOCK=ON >/dev/null
    nice cmake --build "$build/googletest" -j"$jobs"
    cmake --install "$build/googletest" >/dev/null
fi

# Zydis for Windows, which item signatures decode x86 code with: Debian has no
# mingw-w64 build of it. Its decoder is built from Debian's source package
# (fetched with a scratch deb-src list under the build folder; the system's
# lists stay as they are) against the Zycore headers of libzycore-dev, which
# is all the decoder uses of Zycore.
if [ ! -f "$deps/lib/cmake/zydis/zydis-config.cmake" ]; then
    echo "== Zydis for Windows"
    src=$build/zydis-src
    rm -rf "$src"
    mkdir -p "$src/apt/lists/partial" "$src/zydis" "$src/zycore/include"
    . /etc/os-release
    echo "deb-src http://deb.debian.org/debian $VERSION_CODENAME main" >"$src/apt/sources.list"
    apt=(apt-get -o Dir::Etc::SourceList="$src/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists="$src/apt/lists")
    "${apt[@]}" update >/dev/null
    (cd "$src" && "${apt[@]}" source --download-only zydis >/dev/null 2>&1)
    tar xzf "$src"/zydis_*.orig.tar.gz -C "$src/zydis" --strip-components=1
    cp -r /usr/include/Zycore "$src/zycore/include/"
    # Zycore as Zydis's build takes it: its headers, and its build helpers
    # doing nothing.
    cat >"$src/zycore/CMakeLists.txt" <<'ZYCORE'
add_library(Zycore INTERFACE)
target_include_directories(Zycore INTERFACE $<BUILD_INTERFACE:${CMAKE_CURRENT_LIST_DIR}/include>
                                            $<INSTALL_INTERFACE:include>)
target_compile_definitions(Zycore INTERFACE ZYCORE_STATIC_BUILD)
install(TARGETS Zycore EXPORT zydis-targets)
function(zyan_set_common_flags target)
endfunction()
function(zyan_set_source_group target)
endfunction()
function(zyan_maybe_enable_wpo target)
endfunction()
ZYCORE
    cmake -S "$src/zydis" -B "$build/zydis" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" \
        -DZYAN_ZYCORE_PATH="$src/zycore" -DZYDIS_FEATURE_FORMATTER=OFF \
        -DZYDIS_BUILD_TOOLS=OFF -DZYDIS_BUILD_EXAMPLES=OFF -DZYDIS_BUILD_DOXYGEN=OFF >/dev/null
    nice cmake --build "$build/zydis" -j"$jobs"
    cmake --install "$build/zydis" >/dev/null
    # Zydis's package looks for Zycore's: the headers, and a package whose
    # target zydis-targets already holds.
    cp -r "$src/zycore/include/Zycore" "$deps/include/"
    mkdir -p "$deps/lib/cmake/Zycore"
    echo "# Zydis::Zycore is defined by zydis-targets.cmake" >"$deps/lib/cmake/Zycore/ZycoreConfig.cmake"
fi

# Wine turns file names and arguments into UTF-16 with the Linux locale's
# character set, and takes the user's interface language from it: the tests
# run with a Chinese UTF-8 locale, as the program's own texts are Chinese.
ensure_chinese_locale
export LC_ALL=zh_CN.UTF-8

# Wine keeps its Windows in a prefix of its own, made on first use.
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== Wine prefix"
    wineboot --init >/dev/null 2>&1 || true
    wineserver --wait || true
fi

echo "== Cross-build"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build/bytemender" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DBM_WIN_DEPS="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBM_GUI=OFF -DBM_BENCH=ON \
    "${launcher[@]}" >/dev/null
nice cmake --build "$build/bytemender" -j"$jobs"

echo "== Tests under Wine"
(cd "$build/bytemender" && ctest --output-on-failure -j"$jobs" --timeout 600)

if [ "$mode" = package ]; then
    echo "== Package"
    (cd "$build/bytemender" && cpack -G ZIP)
    ls "$build/bytemender"/bytemender-*-win64.zip
fi
