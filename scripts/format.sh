#!/usr/bin/env bash
# Applies .clang-format to every C++ source git tracks. With --check it
# changes nothing and fails, naming the sources that differ; the test command
# runs it so first.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing clang-format

mapfile -t sources < <(git ls-files -- '*.cpp' '*.h')
[ ${#sources[@]} -gt 0 ] || exit 0

if [ "${1:-}" != "--check" ]; then
    clang-format -i "${sources[@]}"
    exit 0
fi
if ! report=$(clang-format --dry-run --Werror "${sources[@]}" 2>&1); then
    echo "These sources differ from .clang-format:" >&2
    grep -oE '^[^:]+:[0-9]+:[0-9]+: error' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/  /' >&2 || echo "$report" >&2
    echo "Run ./scripts/format.sh to format them, then review and commit the result." >&2
    exit 1
fi
echo "Every source follows .clang-format."
