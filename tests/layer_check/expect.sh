#!/usr/bin/env bash
# Compiles one fixture through the layer check, as the build compiles a
# source, and tells whether the check answered as the fixture expects:
# refused for the given rule (and its object file gone), or, with no rule,
# let through. The fixtures' folder stands for the project. FIXTURE may name
# several, joined by "+": they are compiled in order into the same build, the
# ones before the last let through, and the last one is judged.
#   expect.sh RULE FIXTURE CHECK WIDGETS_DIR "INCLUDE_DIRS" COMPILER
set -uo pipefail
rule=$1 fixture=$2 check=$3 widgets=$4 include_dirs=$5 compiler=$6
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
flags=(-std=gnu++20 -fPIC -I"$here")
for dir in $include_dirs; do flags+=(-isystem "$dir"); done
compile() {
  bash "$check" --root "$here" --build "$out" --widgets "$widgets" -- "$compiler" "${flags[@]}" \
    -MD -MT "$out/fixture.o" -MF "$out/fixture.d" -o "$out/fixture.o" -c "$here/$1" 2>&1
}
IFS=+ read -r -a fixtures <<<"$fixture"
fixture=${fixtures[-1]}
for earlier in "${fixtures[@]:0:${#fixtures[@]}-1}"; do
  if ! message=$(compile "$earlier"); then
    printf 'refused %s, which comes first and should be let through:\n%s\n' "$earlier" "$message"
    exit 1
  fi
done
message=$(compile "$fixture")
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
