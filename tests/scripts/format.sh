#!/usr/bin/env bash
# Every C++ file of the program, its tests and benchmarks is as clang-format
# (.clang-format) writes it; the files that are not are named.
cd "$(dirname "$0")/../.."
format=clang-format-16  # the version scripts/setup installs; 14 misreads lines starting "import::"
command -v $format >/dev/null || { echo "format: $format is missing (scripts/setup installs it)"; exit 1; }
bad=()
while IFS= read -r f; do
  $format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' | grep -v '^tests/data/')
for f in "${bad[@]}"; do echo "format: not formatted: $f (run: $format -i $f)"; done
if [ ${#bad[@]} -eq 0 ]; then echo "format: 1 passed, 0 failed"; else echo "format: 0 passed, 1 failed"; exit 1; fi
