#!/usr/bin/env bash
# Builds a release build and runs every benchmark in bench/; each prints its figures.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}" nginx-light apache2-utils
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARNVALE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
for b in "$build"/bench/*; do
    [ -x "$b" ] && [ -f "$b" ] || continue
    echo "== $(basename "$b")"
    "$b"
done
