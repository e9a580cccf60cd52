#!/usr/bin/env bash
# Checks what an install lays out, and the Debian package made of it.
#   bash tests/install_check.sh install BUILD   installs BUILD into a temporary
#       prefix: exactly the install set, both desktop validators pass (CTest)
#   bash tests/install_check.sh package DEB     the package's fields, and its
#       files: the install set under /usr (tools/test.sh, after cpack)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
id=$(sed -n 's/.*kDesktopFileId\[\] = "\([^"]*\)".*/\1/p' "$source_dir/app/desktop_id.h")
version=$(sed -n 's/^project(Velostrip VERSION \([0-9.]*\) .*/\1/p' "$source_dir/CMakeLists.txt")
[ -n "$id" ] && [ -n "$version" ] || { echo "no desktop ID or version found" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() {
  echo "FAILED: $*" >&2
  failed=1
}

# Every file an install lays out, below its prefix, and nothing else.
install_set() {
  echo bin/velostrip
  echo "share/applications/$id.desktop"
  echo "share/icons/hicolor/scalable/apps/$id.svg"
  for size in 16 22 24 32 48 64 128 256; do
    echo "share/icons/hicolor/${size}x${size}/apps/$id.png"
  done
  echo "share/metainfo/$id.metainfo.xml"
  echo share/doc/velostrip/changelog.gz
  echo share/doc/velostrip/copyright
  echo share/man/man1/velostrip.1.gz
}

# The same list as the tree gives it; "what" names the tree in messages.
same_files() {
  local what=$1 listed=$2
  if ! diff -u <(install_set | sort) <(sort "$listed") >"$tmp/files.diff"; then
    fail "$what does not hold exactly the install set (- missing, + extra):"
    cat "$tmp/files.diff" >&2
  fi
}

check_install() {
  local build=$1 prefix=$tmp/prefix
  cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log" >&2; fail "cmake --install"; return; }
  (cd "$prefix" && find . ! -type d | sed 's|^\./||') >"$tmp/installed"
  same_files "the install" "$tmp/installed"
  [ -z "$(find "$prefix" -type d -empty)" ] || fail "empty folders: $(find "$prefix" -type d -empty)"
  [ -x "$prefix/bin/velostrip" ] || fail "bin/velostrip is not executable"

  # desktop-file-validate exits 0 on some errors ("will be fatal in the
  # future"): every line it marks an error fails the test.
  local desktop=$prefix/share/applications/$id.desktop
  if ! desktop-file-validate "$desktop" >"$tmp/desktop.log" 2>&1 || grep -q ': error:' "$tmp/desktop.log"; then
    fail "desktop-file-validate:"
    cat "$tmp/desktop.log" >&2
  fi
  grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's Icon is not $id"
  grep -qx "Exec=velostrip %f" "$desktop" || fail "the desktop entry's Exec is not the program"
  # The metainfo alone, then the tree: its launchable desktop entry and icon.
  if ! appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$tmp/metainfo.log" 2>&1; then
    fail "appstreamcli validate:"
    cat "$tmp/metainfo.log" >&2
  fi
  if ! appstreamcli validate-tree --no-net "$prefix" >"$tmp/tree.log" 2>&1; then
    fail "appstreamcli validate-tree:"
    cat "$tmp/tree.log" >&2
  fi
  grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo has no release $version"

  # Each icon has the size of its folder.
  for size in 16 22 24 32 48 64 128 256; do
    file "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep -q "PNG image data, $size x $size," ||
      fail "the ${size}x${size} icon is not a $size px PNG"
  done
  # The manual page reads without a warning and names the version.
  if ! zcat "$prefix/share/man/man1/velostrip.1.gz" | LC_ALL=C.UTF-8 MANWIDTH=80 man -l --warnings=w - \
      >"$tmp/man.txt" 2>"$tmp/man.log" || [ -s "$tmp/man.log" ]; then
    fail "the manual page:"
    cat "$tmp/man.log" >&2
  fi
  grep -q "Velostrip $version" "$tmp/man.txt" || fail "the manual page does not name version $version"
}

check_package() {
  local deb=$1
  local field expected
  for field in Package Version Section Recommends; do
    case $field in
      Package) expected=velostrip ;;
      Version) expected=$version ;;
      Section) expected=graphics ;;
      Recommends) expected="qt6-image-formats-plugins, qt6-wayland" ;;
    esac
    [ "$(dpkg-deb -f "$deb" "$field")" = "$expected" ] ||
      fail "$field is \"$(dpkg-deb -f "$deb" "$field")\", not \"$expected\""
  done
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture"
  [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"
  # The description: a summary and an extended description below it.
  [ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 2 ] || fail "no extended description"
  # Depends: the libraries the program links, found by dpkg-shlibdeps, and
  # the font it needs at run time.
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for package in fonts-liberation2 libc6 'libstdc\+\+6' libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 \
      'libavformat[0-9]+' 'libavcodec[0-9]+' 'libswscale[0-9]+' 'libavutil[0-9]+'; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
  done
  # No maintainer scripts: the control part holds the fields and the checksums.
  dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort >"$tmp/control"
  diff -u <(printf 'control\nmd5sums\n') "$tmp/control" >&2 || fail "the control part holds more than its fields"

  # The files: the install set under /usr, with only the folders that hold it.
  dpkg-deb -c "$deb" >"$tmp/contents"
  awk '$1 !~ /^d/ { print $6 }' "$tmp/contents" | sed 's|^\./usr/||' >"$tmp/packaged"
  same_files "the package" "$tmp/packaged"
  local dir
  while read -r dir; do
    awk -v dir="$dir" 'index($0, dir) == 1 { found = 1 } END { exit !found }' "$tmp/packaged" || fail "the package has a folder that holds none of its files: $dir"
  done < <(awk '$1 ~ /^d/ { print $6 }' "$tmp/contents" | sed 's|^\./usr/||; s|^\./||' | grep -v '^$')
  grep -q ' root/root .* \./usr/share/doc/velostrip/copyright$' "$tmp/contents" ||
    fail "the copyright is not at /usr/share/doc/velostrip/copyright, owned by root"
  # The program is stripped, and carries Debian's hardening: a position-
  # independent executable, the stack protector, relocations made read-only
  # and bound at start. (Fortified calls show only where a call site knows
  # its buffer's size; the build defines _FORTIFY_SOURCE for every source.)
  dpkg-deb -x "$deb" "$tmp/unpacked"
  local program=$tmp/unpacked/usr/bin/velostrip
  file "$program" | grep -q ', stripped' || fail "the program is not stripped"
  # (grep reads all of readelf's output: an early exit would fail the pipe.)
  readelf -h "$program" | grep -E 'Type: +DYN' >/dev/null || fail "the program is not position-independent"
  readelf -lW "$program" | grep 'GNU_RELRO' >/dev/null || fail "the program has no read-only relocations"
  readelf -dW "$program" | grep -E 'BIND_NOW|FLAGS_1.*NOW' >/dev/null ||
    fail "the program's symbols are not bound at start"
  readelf --dyn-syms -W "$program" | grep '__stack_chk_fail' >/dev/null || fail "the program has no stack protector"
  # lintian: no error and no warning (it may run as root only with a word).
  if ! lintian --allow-root --fail-on error,warning "$deb" >"$tmp/lintian.log" 2>&1; then
    fail "lintian:"
    cat "$tmp/lintian.log" >&2
  fi
}

case ${1:-} in
  install) check_install "$2" ;;
  package) check_package "$2" ;;
  *)
    echo "usage: $0 install BUILD | package DEB" >&2
    exit 2
    ;;
esac
exit $failed
