#!/usr/bin/env bash
# Fails when a C++ file of ours is not formatted with the repository's .clang-format. The formatter's version is
# pinned: another version lays out some lines differently and would fail files the team formatted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
formatter=clang-format-19
echo "== Format check ($($formatter --version))"
git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | xargs -r $formatter --dry-run --Werror
echo "Formatting is clean."
