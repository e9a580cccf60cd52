#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
# A folder of its own: the tests' build (tools/test.sh) keeps its settings.
# It builds the program alone; tools/test.sh makes the Debian package in it.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELOSTRIP_BENCH=OFF \
  -DVELOSTRIP_BUILD_TESTS=OFF >/dev/null
cmake --build build-release --target velostrip
exec ./build-release/velostrip
