#!/usr/bin/env bash
# Checks that every C++ file of the station is formatted as .clang-format says
# (clang-format 14). Lists the files that are not and exits non-zero; changes
# nothing. To format them: bash scripts/check-format.sh --fix
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
command -v "$format" >/dev/null || format=clang-format

# Every *.h and *.cpp outside the build folders, the demo folder and git's own.
mapfile -d '' files < <(find . \( -path ./.git -o -path './build' -o -path './build-*' -o -path ./orva-demo \) -prune \
                             -o -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)

if [ "${1:-}" = "--fix" ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -n 50 -P 2 "$format" -i
  exit 0
fi

# --dry-run names each file with a change in its first line of complaint.
unformatted=$(printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$format" --dry-run 2>&1 \
              | sed -n 's/^\(.*\):[0-9]*:[0-9]*: \(warning\|error\): code should be clang-formatted.*/\1/p' | sort -u)

if [ -n "$unformatted" ]; then
  echo "check-format: these files are not formatted as .clang-format says:" >&2
  echo "$unformatted" | sed 's/^/  /' >&2
  echo "check-format: run 'bash scripts/check-format.sh --fix' and look at the result" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
