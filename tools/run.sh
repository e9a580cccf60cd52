#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELOSTRIP_BENCH=OFF >/dev/null
cmake --build build --target velostrip
exec ./build/velostrip
