#!/usr/bin/env bash
# Compiles one fixture through the layer check, as the build compiles a
# source, and tells whether the check answered as the fixture expects:
# refused for the given rule (and its object file gone), or, with no rule,
# let through. The fixtures' folder stands for the project.
#   expect.sh RULE FIXTURE CHECK WIDGETS_DIR "INCLUDE_DIRS" COMPILER
set -uo pipefail
rule=$1 fixture=$2 check=$3 widgets=$4 include_dirs=$5 compiler=$6
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
flags=(-std=gnu++20 -fPIC -I"$here")
for dir in $include_dirs; do flags+=(-isystem "$dir"); done
message=$(bash "$check" --root "$here" --build "$out" --widgets "$widgets" -- "$compiler" "${flags[@]}" \
  -MD -MT "$out/fixture.o" -MF "$out/fixture.d" -o "$out/fixture.o" -c "$here/$fixture" 2>&1)
status=$?
if [ -z "$rule" ]; then
  if [ $status -ne 0 ]; then
    printf 'refused, but should be let through:\n%s\n' "$message"
    exit 1
  fi
  echo "let through"
  exit 0
fi
if [ $status -eq 0 ]; then
  echo "let through, but should be refused: $rule"
  exit 1
fi
if ! grep -qF -- "$rule" <<<"$message"; then
  printf 'refused, but not for "%s":\n%s\n' "$rule" "$message"
  exit 1
fi
if [ -e "$out/fixture.o" ]; then
  echo "refused, but its object file stayed"
  exit 1
fi
echo "$message"
