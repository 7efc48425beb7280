#!/usr/bin/env bash
# Builds what the demo runs (scriptrun, the plug-ins, nettrain and nettest;
# no tests, no benchmarks) in build-demo, then runs the demo there with
# tools/run-demo.sh: one line per result, the traces in log files under
# build-demo/demo. Ends non-zero when the build or any step of the demo fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-demo
tools/install-deps.sh

echo "== Configuring $build (log: $build/configure.log)"
tools/logged-build.sh "$build/configure.log" cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOOLKIT_TESTS=OFF -DTOOLKIT_BENCH=OFF
plugins=($(sed -n 's/^add_plugin(\([A-Za-z0-9_]*\).*/\1/p' plugins/*/CMakeLists.txt))
echo "== Building scriptrun, nettrain, nettest and ${#plugins[@]} plug-ins (log: $build/build.log)"
tools/logged-build.sh "$build/build.log" cmake --build "$build" --target scriptrun nettrain nettest "${plugins[@]}"
echo "Built the programs in $build/bin and the plug-ins in $build/libs"

# The demo runs in a folder of its own, so the model files it writes stay out
# of the source tree.
tools/run-demo.sh "$build" "$build/demo"
