#!/usr/bin/env bash
# Builds the toolkit and runs the demo script on the Iris data.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
# The demo runs in a folder of its own, so the model files it writes stay out
# of the source tree.
rm -rf build/demo && mkdir -p build/demo && cp examples/* build/demo/
cd build/demo
../bin/scriptrun demo.script ../libs </dev/null
