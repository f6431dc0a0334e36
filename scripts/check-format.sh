#!/usr/bin/env bash
# Checks that the lines changed since a base commit follow .clang-format:
#   bash scripts/check-format.sh [base]
# The base defaults to where this branch left main (or the commit before
# HEAD on main itself). Only changed lines of C++ files are looked at, so
# older code is held to the style when it is next touched. Prints the
# changes clang-format wants and fails when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh format

base=${1:-}
if [ -z "$base" ]; then
  base=$(git merge-base HEAD main 2>/dev/null || true)
  if [ -z "$base" ] || [ "$base" = "$(git rev-parse HEAD)" ]; then base=$(git rev-parse HEAD~1); fi
fi
formatter=$(command -v clang-format-diff-14 || command -v clang-format-diff)

changes=$(git diff -U0 --no-color "$base" -- '*.cpp' '*.h' | "$formatter" -p1 || true)
if [ -n "$changes" ]; then
  echo "$changes"
  echo "check-format: the lines above differ from .clang-format (base $base)." >&2
  echo "Run: git diff -U0 $base -- '*.cpp' '*.h' | $(basename "$formatter") -p1 -i" >&2
  exit 1
fi
echo "check-format: changed lines since $base follow .clang-format."
