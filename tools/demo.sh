#!/usr/bin/env bash
# Builds the toolkit and runs the demo script on the Iris data.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
cd examples
../build/bin/scriptrun demo.script ../build/libs </dev/null
