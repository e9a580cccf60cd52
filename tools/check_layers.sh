#!/usr/bin/env bash
# Refuses the includes that the layers' include paths cannot refuse:
#  1. every include names its header in quotes or angle brackets, never with
#     a path that climbs ("../") or starts at the root ("/"), which would
#     reach a layer's headers without going through its include path;
#  2. FFmpeg's headers (libav*/, libsw*/, libpostproc/) only in movie/, and
#     in tests/ and bench/, which may check the movie layer against FFmpeg;
#  3. no Qt Widgets header in engine/, however it is spelled (<QWidget>,
#     <QtWidgets/QWidget>, <qwidget.h>, <QtWidgets>).
# The build runs it before compiling anything (see CMakeLists.txt); by hand:
#   bash tools/check_layers.sh [the QtWidgets header folder]
set -euo pipefail
cd "$(dirname "$0")/.."

widgets_dir=${1:-}
if [ -z "$widgets_dir" ]; then
  for flag in $(pkg-config --cflags-only-I Qt6Widgets); do
    case "$flag" in -I*/QtWidgets) widgets_dir=${flag#-I} ;; esac
  done
fi
if [ ! -d "$widgets_dir" ]; then
  echo "check_layers: no Qt Widgets header folder found (give it as the first argument)" >&2
  exit 2
fi

sources() {  # the C++ files of the given folders
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cc' \) 2>/dev/null | sort
}
# The header each include names, as "file:line:header"; a computed include
# (#include MACRO) gives its whole text.
includes() {
  sources "$@" | xargs -r grep -HnE '^[[:space:]]*#[[:space:]]*include' |
    sed -E 's/^([^:]*:[0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]*)[>"].*/\1:\2/;
            s/^([^:]*:[0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*(.*)$/\1:computed \2/'
}

failed=0
refuse() {  # rule text, then the offending "file:line:header" lines on stdin
  local rule=$1 line
  while IFS= read -r line; do
    echo "check_layers: ${line%%:*}:$(cut -d: -f2 <<<"$line"): $rule: ${line#*:*:}" >&2
    failed=1
  done
}

all=(framework movie engine main_window app path_editor text_composer tests bench)

refuse "include by a climbing or absolute path" < <(includes "${all[@]}" | grep -E ':[0-9]+:(/|(.*/)?\.\.(/|$))' || true)
refuse "computed include" < <(includes "${all[@]}" | grep -E ':[0-9]+:computed ' | sed 's/:computed /:/' || true)
refuse "FFmpeg header outside movie/" < <(
  includes framework engine main_window app path_editor text_composer |
    grep -E ':[0-9]+:(libav[a-z]*|libsw[a-z]*|libpostproc)/' || true)

# Qt Widgets' own headers; the few that only forward to Qt Gui's (qaction.h,
# qshortcut.h ...) are left to the other folders' names.
qt_root=$(dirname "$widgets_dir")
widgets_only=$(comm -23 <(ls "$widgets_dir" | sort) <(ls "$qt_root/QtGui" "$qt_root/QtCore" 2>/dev/null | sort -u))
refuse "Qt Widgets header in engine/" < <(
  includes engine | awk -F: -v names="$widgets_only" '
    BEGIN { n = split(names, list, "\n"); for (i = 1; i <= n; i++) widgets[list[i]] = 1 }
    { header = $3; for (i = 4; i <= NF; i++) header = header ":" $i }
    header ~ /^QtWidgets(\/|$)/ || (header in widgets) { print }')

exit $failed
