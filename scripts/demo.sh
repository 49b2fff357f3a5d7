#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the library and runs the demonstration on the host
# store.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh host
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target nyr_demo
./build/examples/nyr_demo
