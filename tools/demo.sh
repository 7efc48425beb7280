#!/usr/bin/env bash
# Builds the toolkit and runs the demo script on the Iris data. The training
# traces go to log files under build/demo; what is shown is each plug-in's
# result on the test rows and where the model files are.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! cmake --build build >build/build.log 2>&1; then
  tail -n 40 build/build.log
  echo "the build failed; its whole output is in build/build.log"
  exit 1
fi
echo "Built the programs in build/bin and the plug-ins in build/libs (log: build/build.log)"
# The demo runs in a folder of its own, so the model files it writes stay out
# of the source tree.
rm -rf build/demo && mkdir -p build/demo && cp examples/* build/demo/
cd build/demo

# Shows the log's tail and stops when a step fails.
run_logged() {
  local log=$1; shift
  if ! "$@" </dev/null >"$log" 2>&1; then
    tail -n 20 "$log"
    echo "failed: $* (the whole output is in build/demo/$log)"
    exit 1
  fi
}

echo
echo "== Demo script (examples/demo.script); its whole output: build/demo/demo.log"
run_logged demo.log ../bin/scriptrun demo.script ../libs
# "== name: text" is a result line; "== name" alone names the function whose
# own result line ("Classification error", "Correct classifications") follows.
awk '/^== [^:]*: / { sub(/^== /, "  "); print; next }
     /^== / { pending = substr($0, 4); next }
     pending != "" && /^(Classification error|Correct classifications)/ {
       gsub(/  +/, " "); print "  " pending ": " $0; pending = "" }' demo.log
echo "Model files: build/demo/iris-*.xml"

echo
echo "== Network trainer and tester; traces: build/demo/nettrain.log and build/demo/nettest.log"
# Train on 80% of iris.data with early stopping on the rest, test on iris.test.
run_logged nettrain.log ../bin/nettrain iris 10 5 0.8 0
run_logged nettest.log ../bin/nettest iris
grep -E '^(Ratio of correct answers)' nettest.log | sed 's/^/  nettest: /'
echo "Network files: build/demo/iris.wts and build/demo/iris.fre"
