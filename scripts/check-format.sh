#!/usr/bin/env bash
# Checks that every C and C++ file of the repository is formatted as .clang-format says; prints
# the offending places and exits non-zero otherwise. `clang-format -i FILE` fixes a file.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.c' '*.h' '*.cpp' '*.hpp' | xargs clang-format --dry-run -Werror
echo "formatting: $(git ls-files '*.c' '*.h' '*.cpp' '*.hpp' | wc -l) files as .clang-format says"
