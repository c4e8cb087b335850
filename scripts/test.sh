#!/usr/bin/env bash
# Checks that every source follows .clang-format, builds Tarnvale with
# AddressSanitizer and UndefinedBehaviorSanitizer, runs every test under a
# virtual X display, then runs each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}" xvfb xauth dbus at-spi2-core clang clang-format libclang-rt-14-dev \
                nginx-light apache2-utils desktop-file-utils appstream

# Formatting first, so that a badly formatted source fails in seconds rather
# than after the build.
./scripts/format.sh --check

root=$PWD
build=build-test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTARNVALE_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$root/tests/sanitizers/ubsan.supp"
# The embedded browser's sandbox cannot run as root or inside this build's
# containers; the tests switch it off through QtWebEngine's own setting.
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-first-run --disable-background-networking --disable-component-update --disable-sync"
ctest_log=$(mktemp)
(cd "$build" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)") | tee "$ctest_log"
summary=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$ctest_log" | tail -1)
rm -f "$ctest_log"

# Fuzz targets: clang with libFuzzer, about 20 seconds each on the seed corpus.
fuzz=build-fuzz
cmake -S . -B "$fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNVALE_FUZZ=ON \
      -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$fuzz" -j"$(nproc)"
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
for target in "$fuzz"/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=$(mktemp -d)
    cp -r "fuzz/corpus/${name#fuzz_}/." "$corpus/"
    echo "Fuzzing $name for 20 seconds"
    "$target" -max_total_time=20 -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>"$corpus.log" \
        || { tail -50 "$corpus.log"; exit 1; }
    grep -E "stat::number_of_executed_units" "$corpus.log" || true
    rm -rf "$corpus" "$corpus.log"
done
total=$(echo "$summary" | sed -E 's/.*out of ([0-9]+).*/\1/')
failed=$(echo "$summary" | sed -E 's/.*, ([0-9]+) tests failed.*/\1/')
echo "All tests and fuzz runs passed."
echo "ctest: $((total - failed)) passed, $failed failed"
