#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: once in a normal
# build and once with AddressSanitizer (leak checks included) and
# UndefinedBehaviorSanitizer. Warnings are errors in both builds, and every
# compile of both refuses includes that cross the layers (tools/check_layers.sh).
# The builds live in build/ and build-asan/; tools/run.sh has its own folder,
# so running one script after the other rebuilds nothing needlessly. Last, the
# Debian package is made in tools/run.sh's folder, and its fields and files
# are checked.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1
# fontconfig's caches live as long as the process; they are the only leaks
# suppressed (see the file).
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELOSTRIP_BENCH=ON \
  -DCMAKE_CXX_FLAGS=-Werror >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELOSTRIP_SANITIZE=ON -DVELOSTRIP_BENCH=OFF \
  -DCMAKE_CXX_FLAGS=-Werror >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900
# The same settings as tools/run.sh, so that the two share the build.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELOSTRIP_BENCH=OFF \
  -DVELOSTRIP_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j "$jobs"
rm -f build-release/velostrip_*.deb
(cd build-release && cpack -G DEB >/dev/null)
bash tests/install_check.sh package build-release/velostrip_*.deb
