#!/usr/bin/env bash
# Checks every compile against the layers' rules. The build runs each compile
# through it (it is the compiler's launcher, see CMakeLists.txt): it runs the
# compiler, then reads the dependency file the compiler wrote, which lists
# every file the source reached, however the includes were spelled and
# through whatever headers. A compile that breaks a rule fails, and its
# object file goes.
#
# The rules:
#  1. every include names its header in quotes or angle brackets, never by a
#     path that climbs ("../") or starts at the root ("/"), which would reach
#     a layer's headers without going through its include path, and never by
#     a macro; checked in the text of every file of the project the source
#     reached (comments, line splices and "%:" read as the compiler reads them);
#  2. FFmpeg's headers (libav*/, libsw*/, libpostproc/) only in movie/, and
#     in tests/ and bench/, which may check the movie layer against FFmpeg;
#  3. no Qt Widgets header in engine/ or document/, reached however it may be;
#  4. no circle between folders: a source of folder A that reaches a file of
#     folder B makes the arrow A -> B, and an arrow that closes a circle with
#     the arrows of every other source compiled into the same build (tests/
#     and bench/ excepted, which reach what they test) is refused.
# A source's folder is the first folder of its path in the project; a source
# the build generates (Qt's moc files) has the folder of its target.
#
#   check_layers.sh --root SOURCE_DIR --build BUILD_DIR --widgets QTWIDGETS_DIR
#                   --folder TARGET_FOLDER -- COMPILER ARGUMENTS...
set -uo pipefail

root="" build="" widgets="" folder="-"
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --root) root=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --widgets) widgets=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    *) echo "check_layers: unknown option $1" >&2; exit 2 ;;
  esac
done
shift  # the "--"
if [ -z "$root" ] || [ -z "$build" ] || [ -z "$widgets" ] || [ $# -eq 0 ]; then
  echo "check_layers: usage: check_layers.sh --root DIR --build DIR --widgets DIR [--folder NAME] -- COMPILE..." >&2
  exit 2
fi

"$@" || exit

# The compile's dependency file, object and source, from its arguments.
depfile="" object="" source=""
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  case "${args[i]}" in
    -MF) depfile=${args[i + 1]:-} ;;
    -MF?*) depfile=${args[i]#-MF} ;;
    -o) object=${args[i + 1]:-} ;;
    -c) source=${args[i + 1]:-} ;;
  esac
done
fail() {
  [ -n "$object" ] && rm -f -- "$object"
  exit 1
}
if [ -z "$depfile" ] || [ ! -f "$depfile" ]; then
  echo "check_layers: ${source:-the compile} wrote no dependency file (-MD -MF), so its includes cannot be checked" >&2
  fail
fi

# The files of its first rule, one a line: continuation lines joined, the
# target before the first ": " dropped, escaped spaces kept.
deps=$(awk '
  { line = $0; more = sub(/\\$/, "", line); text = text line " " }
  !more { exit }
  END {
    sub(/^[^:]*:[ \t]/, "", text)
    gsub(/\\ /, "\001", text); gsub(/\\#/, "#", text); gsub(/\$\$/, "$", text)
    n = split(text, files, /[ \t]+/)
    for (i = 1; i <= n; i++) if (files[i] != "") { gsub(/\001/, " ", files[i]); print files[i] }
  }' "$depfile")
mapfile -t reached < <(printf '%s\n' "$deps" | xargs -r -d '\n' realpath -m --)
root=$(realpath -m -- "$root")
build=$(realpath -m -- "$build")
widgets=$(realpath -m -- "$widgets")
source_path=$(realpath -m -- "$source")

# The project's own files among them (not those the build made).
in_project() { [[ "$1" == "$root"/* && "$1" != "$build"/* ]]; }
project=()
for file in "${reached[@]}"; do in_project "$file" && project+=("$file"); done
if in_project "$source_path"; then
  relative=${source_path#"$root"/}
  folder="-"  # a source at the top of the project
  [[ "$relative" == */* ]] && folder=${relative%%/*}
fi
shown=${source_path#"$root"/}

failed=0
refuse() {  # the rule's text, then the files that break it
  local rule=$1
  shift
  for file in "$@"; do echo "check_layers: $shown: $rule: $file" >&2; done
  failed=1
}

# 2. FFmpeg's headers.
case "$folder" in
  movie | tests | bench) ;;
  *)
    mapfile -t ffmpeg < <(printf '%s\n' "${reached[@]}" |
      grep -E '/(libav[a-z]*|libsw[a-z]*|libpostproc)/[^/]+$' | grep -vF "$root/" || true)
    [ ${#ffmpeg[@]} -gt 0 ] &&
      refuse "reaches an FFmpeg header, which only movie/, tests/ and bench/ may use" "${ffmpeg[0]}"
    ;;
esac

# 3. Qt Widgets in the engine and the document. A few headers of Qt Widgets'
# folder only forward to Qt Gui's, which have the same names (qaction.h,
# qshortcut.h ...).
if [ "$folder" = engine ] || [ "$folder" = document ]; then
  mapfile -t inside < <(printf '%s\n' "${reached[@]}" | grep -F "$widgets/" || true)
  if [ ${#inside[@]} -gt 0 ]; then
    qt=$(dirname "$widgets")
    mapfile -t offending < <(printf '%s\n' "${inside[@]}" |
      awk -v others="$(ls "$qt/QtGui" "$qt/QtCore" 2>/dev/null)" '
        BEGIN { n = split(others, list, "\n"); for (i = 1; i <= n; i++) forwarded[list[i]] = 1 }
        { name = $0; sub(/.*\//, "", name) }
        !(name in forwarded) { print }')
    [ ${#offending[@]} -gt 0 ] && refuse "reaches a Qt Widgets header, which $folder/ may not use" "${offending[0]}"
  fi
fi

# 1. The includes as written, in every file of the project that was read.
if [ ${#project[@]} -gt 0 ]; then
  problems=$(awk -v root="$root/" '
    # Removes the comments of a line, keeping its string and character
    # literals (a header name in quotes is one); "state" carries a block
    # comment or a raw string over to the next line.
    function uncomment(line,    out, at, c, d, k, delim, rest, e, prev) {
      out = ""
      while (line != "") {
        if (state == "comment") {
          at = index(line, "*/")
          if (at == 0) return out
          line = substr(line, at + 2); state = ""; out = out " "
          continue
        }
        if (state == "raw") {
          at = index(line, rawEnd)
          if (at == 0) return out
          line = substr(line, at + length(rawEnd)); state = ""
          continue
        }
        at = match(line, /[\/"'\''R]/)
        if (at == 0) return out line
        out = out substr(line, 1, at - 1); line = substr(line, at)
        c = substr(line, 1, 1); d = substr(line, 2, 1)
        prev = substr(out, length(out), 1)
        if (c == "/") {
          if (d == "/") return out " "
          if (d == "*") { state = "comment"; line = substr(line, 3); continue }
          out = out c; line = substr(line, 2)
        } else if (c == "R") {
          if (d == "\"" && (prev !~ /[A-Za-z0-9_]/ || out ~ /(^|[^A-Za-z0-9_])(u8|u|U|L)$/) && (k = index(line, "("))) {
            delim = substr(line, 3, k - 3); rest = substr(line, k + 1)
            rawEnd = ")" delim "\""
            e = index(rest, rawEnd)
            if (e == 0) { state = "raw"; return out " " }
            out = out " "; line = substr(rest, e + length(rawEnd))
          } else {
            out = out c; line = substr(line, 2)
          }
        } else if (c == "'\''" && prev ~ /[0-9A-Za-z_]/ && out !~ /(^|[^A-Za-z0-9_])(u8|u|U|L)$/) {
          out = out c; line = substr(line, 2)  # a digit separator
        } else {
          # A literal: to its closing quote, escapes skipped; never past the line.
          for (k = 2; k <= length(line); k++) {
            d = substr(line, k, 1)
            if (d == "\\") k++
            else if (d == c) break
          }
          out = out substr(line, 1, k); line = substr(line, k + 1)
        }
      }
      return out
    }
    function report(what, text) {
      name = FILENAME
      if (index(name, root) == 1) name = substr(name, length(root) + 1)
      printf "%s:%d: %s: %s\n", name, first, what, text
    }
    FNR == 1 { state = ""; joined = ""; joining = 0 }
    {
      line = $0
      if (!joining) first = FNR
      # A backslash at the end of a line joins it to the next, before all else.
      joining = sub(/\\[ \t]*$/, "", line)
      joined = joined line
      if (joining) next
      code = uncomment(joined); joined = ""
      if (code !~ /^[ \t\f\v]*(#|%:)[ \t\f\v]*(include|include_next|import)([^A-Za-z0-9_]|$)/) next
      sub(/^[ \t\f\v]*(#|%:)[ \t\f\v]*(include_next|include|import)[ \t\f\v]*/, "", code)
      header = ""
      if (code ~ /^<[^>]*>/) header = substr(code, 2, index(code, ">") - 2)
      else if (code ~ /^"[^"]*"/) { header = substr(code, 2); header = substr(header, 1, index(header, "\"") - 1) }
      if (header == "") report("computed include", code)
      else if (header ~ /^\//) report("include by an absolute path", header)
      else if (header ~ /(^|\/)\.\.(\/|$)/) report("include by a climbing path", header)
    }' "${project[@]}")
  if [ -n "$problems" ]; then
    while IFS= read -r problem; do echo "check_layers: $problem (reached from $shown)" >&2; done <<<"$problems"
    failed=1
  fi
fi

# 4. Circles between folders. Each source of the project leaves its arrows
# in a file of its own under the build folder (rewritten at each compile);
# the arrows of this compile are checked against all of them. What the build
# generates (Qt's moc files) gathers the headers of a whole target and so
# leaves none.
case "$folder" in
  tests | bench | -) ;;
  *)
    if in_project "$source_path"; then
      edges_dir="$build/layer-arrows"
      mkdir -p "$edges_dir"
      edges_file="$edges_dir/$(printf '%s' "$shown" | tr '/' '%').arrows"
      mapfile -t targets < <(for file in "${project[@]}"; do
        relative=${file#"$root"/}
        [[ "$relative" == */* ]] && printf '%s\n' "${relative%%/*}"
      done | sort -u | grep -vxF -e "$folder" -e tests -e bench || true)
      temporary=$(mktemp "$edges_dir/.arrows.XXXXXX")
      for target in "${targets[@]}"; do printf '%s %s\n' "$folder" "$target"; done >"$temporary"
      mv -f "$temporary" "$edges_file"
      if [ ${#targets[@]} -gt 0 ]; then
        # A way back from a folder this source reaches to its own closes a circle.
        circle=$(cat "$edges_dir"/*.arrows 2>/dev/null | awk -v from="$folder" -v reached="${targets[*]}" '
          { next_of[$1] = next_of[$1] " " $2 }
          END {
            n = split(reached, starts, " ")
            for (s = 1; s <= n; s++) {
              delete seen; delete parent
              queue[1] = starts[s]; head = 1; tail = 1; seen[starts[s]] = 1
              while (head <= tail) {
                at = queue[head++]
                if (at == from) {
                  way = from
                  for (step = at; step != starts[s]; step = parent[step]) way = parent[step] " -> " way
                  print from " -> " way
                  exit
                }
                m = split(next_of[at], outs, " ")
                for (o = 1; o <= m; o++)
                  if (!(outs[o] in seen)) { seen[outs[o]] = 1; parent[outs[o]] = at; queue[++tail] = outs[o] }
              }
            }
          }')
        if [ -n "$circle" ]; then
          rm -f "$edges_file"
          refuse "closes a circle between folders" "$circle"
        fi
      fi
    fi
    ;;
esac

[ $failed -eq 0 ] || fail
