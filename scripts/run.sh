#!/usr/bin/env bash
# Installs what is missing, builds Kalvo and starts it on its default line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALVO_BUILD_TESTS=OFF -DKALVO_BUILD_BENCH=OFF
cmake --build build
exec build/bin/kalvo "$@"
