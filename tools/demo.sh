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
# The stand-alone network trainer and tester on the same flowers: train on
# 80% of iris.data with early stopping on the rest, then test on iris.test.
../bin/nettrain iris 10 5 0.8 0 </dev/null
../bin/nettest iris </dev/null
