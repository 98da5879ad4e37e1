#!/usr/bin/env bash
# Fails, naming the files, when clang-format would change any C or C++ source of the tree.
set -euo pipefail
cd "${1:?usage: check_format.sh SOURCE_DIR}"
mapfile -d '' files < <(find include src tools tests bench fuzz examples \
  -type f \( -name '*.cc' -o -name '*.h' -o -name '*.c' \) -print0 | sort -z)
unformatted=()
for file in "${files[@]}"; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ ${#unformatted[@]} -ne 0 ]; then
  echo "clang-format would change these files (run: clang-format -i FILE):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
