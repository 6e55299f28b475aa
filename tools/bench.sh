#!/usr/bin/env bash
# Builds the benchmark programs (optimised) and runs them one after another.
# Each prints its figures, its goal and the ratio, one per line.
#   tools/bench.sh [engine|reloc|states|exchange|settings|app|commands|cli|memory ...]
# BENCH_BUILD_DIR (default: build-bench) may be set; scratch files go to TMPDIR.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD_DIR:-$here/build-bench}
which=("$@")
((${#which[@]})) || which=(engine reloc states exchange settings app commands cli memory)

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBM_TESTS=OFF
fi
targets=()
for b in "${which[@]}"; do targets+=("${b}_bench"); done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

for b in "${which[@]}"; do
    exe=$(find "$build/bench" -type f -name "${b}_bench" -perm -u+x | head -n 1)
    echo "== ${b}_bench"
    QT_QPA_PLATFORM=offscreen "$exe"
done
