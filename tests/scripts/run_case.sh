#!/usr/bin/env bash
# Runs one end-to-end case: scriptrun on <case>/script in a fresh work folder
# and compares standard error, standard output and the exit status with the
# case's files "stderr", "stdout" and "status" (each optional; a missing
# "status" means 0). The work folder holds a copy of the case, "libs" (the
# built plug-ins) and "testlibs" (the test plug-ins). A case's "args" file
# holds the arguments after the script name (default: none, so "libs").
# A case's "check" file, when present, is run in the work folder afterwards
# and must exit 0 (for checking files that the script wrote).
# usage: run_case.sh <scriptrun> <build dir> <case dir> <work dir>
set -u
scriptrun=$1 build=$2 case=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cp -r "$case"/. "$work"/
ln -s "$build/libs" "$work/libs"
ln -s "$build/testlibs" "$work/testlibs"
cd "$work"
args=()
[ -f args ] && read -r -a args < args
timeout 120 "$scriptrun" script "${args[@]}" </dev/null >actual.stdout 2>actual.stderr
status=$?
fail=0
expect_status=0
[ -f status ] && expect_status=$(cat status)
if [ "$status" != "$expect_status" ]; then
  echo "exit status $status, expected $expect_status"; fail=1
fi
for stream in stdout stderr; do
  if [ -f "$stream" ] && ! cmp -s "$stream" "actual.$stream"; then
    echo "$stream differs:"; diff "$stream" "actual.$stream" | head -40; fail=1
  fi
done
if [ -f check ] && ! bash check; then
  echo "check failed"; fail=1
fi
exit $fail
