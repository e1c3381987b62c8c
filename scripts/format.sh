#!/usr/bin/env bash
# Formats the C and C++ files of the product, its packaging, tests, benchmarks and fuzz
# targets with clang-format and the tree's .clang-format.
#   scripts/format.sh                          formats them in place
#   scripts/format.sh --check                  changes nothing; lists the files
#                                              that are not formatted, exit 1 if any
#   scripts/format.sh --check --report-only    only counts them, exit 0
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

check=0 report_only=0
for arg in "$@"; do
  case $arg in
    --check) check=1 ;;
    --report-only) report_only=1 ;;
    *) echo "usage: scripts/format.sh [--check [--report-only]]" >&2; exit 2 ;;
  esac
done

folders=(program ui call optout agent app voice labpbx packaging tests bench fuzz)
mapfile -t files < <(git ls-files -- "${folders[@]/%//*.h}" "${folders[@]/%//*.hpp}" \
                                     "${folders[@]/%//*.c}" "${folders[@]/%//*.cpp}")

if [ "$check" = 0 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -r -n 20 -P "$(nproc)" clang-format -i
  echo "format: ${#files[@]} files formatted"
  exit 0
fi

mapfile -t unformatted < <(printf '%s\0' "${files[@]}" | xargs -0 -r -n 1 -P "$(nproc)" \
  sh -c 'clang-format --dry-run --Werror "$1" > /dev/null 2>&1 || echo "$1"' check | sort)
if [ "$report_only" = 1 ]; then
  echo "format: ${#unformatted[@]} of ${#files[@]} files not formatted (report only; scripts/format.sh --check lists them)"
  exit 0
fi
for file in "${unformatted[@]}"; do echo "$file"; done
echo "format: ${#unformatted[@]} of ${#files[@]} files not formatted"
[ "${#unformatted[@]}" = 0 ]
