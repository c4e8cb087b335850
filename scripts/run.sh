#!/usr/bin/env bash
# Builds Tarnvale with its installation data and runs it, starting the bundled
# local quote service first when it is not already listening: with the quote
# source chosen in the program ("Tools" > "Quote Source..."), or with --sample
# from the sample snapshot (for a machine without internet); --sample also
# writes a year of made-up price history for the listed symbols that have no
# history yet, so charts and technical screens work offline. A service it
# started itself is stopped when the program ends, however it ends; one that
# was already running (a user unit, say) is left alone.
#
# TARNVALE_RUN_BIN runs the programs of that folder instead of building, and
# TARNVALE_QUOTE_PORT has the service listen on another port than 8765.
set -euo pipefail
sample=0
case "${1:-}" in
    "") ;;
    --sample) sample=1 ;;
    *) echo "usage: $0 [--sample]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."

if [ -n "${TARNVALE_RUN_BIN:-}" ]; then
    bin="$TARNVALE_RUN_BIN"
else
    source scripts/deps.sh
    install_missing "${BUILD_PACKAGES[@]}"
    build=build-release
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARNVALE_BUILD_TESTS=OFF -DTARNVALE_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j"$(nproc)"
    bin="$build/bin"
fi
port="${TARNVALE_QUOTE_PORT:-8765}"

service=""
stop_service() {
    if [ -n "$service" ]; then
        kill "$service" 2>/dev/null || true
        wait "$service" 2>/dev/null || true
        service=""
    fi
}
trap stop_service EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# History already there, imported or earlier sample, is never touched.
if [ "$sample" -eq 1 ] && [ -x "$bin/tarnvale-history" ]; then
    "$bin/tarnvale-history" sample --quotes "$bin/quotes/sample-quotes.csv"
fi

if [ -x "$bin/tarnvale-quoted" ] && ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    if [ "$sample" -eq 1 ]; then
        "$bin/tarnvale-quoted" --listen "127.0.0.1:$port" --snapshot "$bin/quotes/sample-quotes.csv" &
    else
        # The source and key come from "Tools" > "Quote Source..." (quoted.conf).
        "$bin/tarnvale-quoted" --listen "127.0.0.1:$port" --program-markets &
    fi
    service=$!
fi

# Chromium's sandbox cannot run as root; only then is it switched off.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
"$bin/tarnvale"
