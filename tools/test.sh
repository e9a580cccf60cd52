#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: once in a normal
# build and once with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# Qt and fontconfig keep caches for the life of the process; those are not leaks of ours.
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELOSTRIP_SANITIZE=ON -DVELOSTRIP_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900
