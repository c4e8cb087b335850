#!/usr/bin/env bash
# Builds a release build and runs every benchmark in bench/ under a virtual X
# display; each prints its figures. The start-up benchmark gives the offscreen
# and the X (xcb) figures side by side; the others use the platform they name.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}" xvfb xauth nginx-light apache2-utils
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARNVALE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
# Chromium's sandbox cannot run as root; only then is it switched off.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
for b in "$1"/bench/bench_*; do
    [ -x "$b" ] && [ -f "$b" ] || continue
    case "$(basename "$b")" in bench_startup_*) continue ;; esac # children of bench_startup
    echo "== $(basename "$b")"
    "$b"
done' bench "$build"
