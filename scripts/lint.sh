#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy) over the product code's .cpp
# files with the compile database of a normal build, prints the findings and
# their count, and fails when there is any.
#   scripts/lint.sh [-j jobs] [build folder]     (default: build, one job per core)
# The build folder must have been configured (cmake --preset normal) and
# built once, so that generated headers exist.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

jobs=$(nproc)
while getopts j: opt; do
  case $opt in
    j) jobs=$OPTARG ;;
    *) echo "usage: scripts/lint.sh [-j jobs] [build folder]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
build=${1:-build}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "no $build/compile_commands.json: run cmake --preset normal && cmake --build --preset normal first" >&2
  exit 2
fi

folders='app|ui|call|agent|optout|program|voice/[a-z0-9]+|labpbx/[a-z]+'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Test executables compile some product files a second time with stand-ins;
# one entry per file, from the product's own library, is enough.
python3 - "$build/compile_commands.json" "$work/compile_commands.json" "$root" "$folders" <<'EOF'
import json, re, sys
source, target, root, folders = sys.argv[1:]
product = re.compile(re.escape(root) + "/(" + folders + ")/[^/]+\\.cpp$")
seen, kept = set(), []
for entry in json.load(open(source)):
    output = entry.get("output") or re.search(r" -o (\S+)", entry["command"]).group(1)
    from_product = not output.startswith(("tests/", "bench/", "fuzz/"))
    if product.match(entry["file"]) and entry["file"] not in seen and from_product:
        seen.add(entry["file"])
        kept.append(entry)
json.dump(kept, open(target, "w"), indent=1)
print(f"{len(kept)} product files")
EOF

command -v run-clang-tidy > /dev/null || { echo "run-clang-tidy is missing: scripts/setup.sh installs it" >&2; exit 2; }
status=0
run-clang-tidy -quiet -j "$jobs" -p "$work" "$root/($folders)/[^/]+\\.cpp\$" > "$work/out.txt" 2>&1 || status=$?
# Findings are "file:line:col: warning|error: text [check]" (run-clang-tidy
# always colours them); a finding in a header shows once per file that
# includes it, so each is counted once.
sed -E 's/\x1b\[[0-9;]*m//g' "$work/out.txt" | grep -E '^/.*:[0-9]+:[0-9]+: (warning|error): ' \
  | sort -u > "$work/findings.txt" || true
sed "s#^$root/##" "$work/findings.txt"
count=$(wc -l < "$work/findings.txt")
if grep -q 'Error while processing' "$work/out.txt" || { [ "$status" != 0 ] && [ "$count" = 0 ]; }; then
  tail -20 "$work/out.txt" >&2
  echo "clang-tidy could not process some files" >&2
  exit 2
fi
echo "lint: $count finding(s)"
if [ "$count" -gt 0 ]; then
  echo "by check:"
  grep -oE '\[[a-z0-9.,-]+\]$' "$work/findings.txt" | sort | uniq -c | sort -rn
  exit 1
fi
