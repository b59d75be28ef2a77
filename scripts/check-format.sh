#!/usr/bin/env bash
# Fails when a C++ file of ours is not formatted with the repository's .clang-format.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
echo "== Format check ($(clang-format --version))"
git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror
echo "Formatting is clean."
