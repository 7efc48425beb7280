#!/usr/bin/env bash
# The demo's result checks (tools/run-demo.sh), on its own data and on copies
# with a value that is not a number: the demo passes and shows the size of
# each projection; with a bad training row for the scripts it ends with
# status 1, naming textdata as the first plug-in to refuse and every result
# lost after it; with a bad row for the network trainer it ends with status 1
# at nettrain.
# usage: demo_checks.sh <source dir> <build dir> <work dir>
set -u
source=$1 build=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
fail=0

# Runs the demo on a copy of the examples whose file $1 has "nan" as the
# first value of line 3 (no file when $1 is empty); the output goes to
# $work/<name>.out and its status to the variable status.
run_demo() {
  local name=$1 corrupt=$2
  mkdir -p "$work/$name" && cp "$source"/examples/* "$work/$name/"
  [ -z "$corrupt" ] || sed -i '3s/^[^ ,]*/nan/' "$work/$name/$corrupt"
  "$source/tools/run-demo.sh" "$build" "$work/$name-run" "$work/$name" \
    >"$work/$name.out" 2>&1
  status=$?
}

# expect <name> <status> <line>...: the run ended with the status and its
# output holds each line.
expect() {
  local name=$1 expected_status=$2 line; shift 2
  if [ "$status" != "$expected_status" ]; then
    echo "$name: status $status, expected $expected_status"; fail=1
  fi
  for line in "$@"; do
    if ! grep -qxF -- "$line" "$work/$name.out"; then
      echo "$name: no line \"$line\""; fail=1
    fi
  done
  [ $fail -eq 0 ] || { echo "-- output of $name:"; cat "$work/$name.out"; }
}

run_demo good ""
expect good 0 \
  "  flatdisc: the test rows projected onto the discriminant directions (flat: 45 rows x 3 columns)" \
  "  squaremark: 97.8% of the test rows correct"
if grep -q -- "-1.0%\|empty)" "$work/good.out"; then
  echo "good: a result line shows a refusal"; fail=1
fi

run_demo scripts iris-train.txt
expect scripts 1 \
  "  flatdisc: the test rows projected onto the discriminant directions (flat: empty)" \
  "The demo failed:" \
  "  textdata refused: train = load_database('iris-train.txt') left train empty" \
  "    load_database: 'iris-train.txt': line 3: 'nan' is not a number" \
  "  flatdisc refused: flat = execute_flatdisc(test, 'iris-flatdisc.xml') left flat empty" \
  "  pathlet: the result line of \"== pathlet\" is missing" \
  "  bellmix: the result line of \"== bellmix, network\" is missing" \
  "  neurnet: a rate below 0, which learning_rate gives when it refuses its scores"
if grep -q "^== Network" "$work/scripts.out"; then
  echo "scripts: the demo went on after a refusal"; fail=1
fi

run_demo network iris.data
expect network 1 \
  "failed: $build/bin/nettrain iris 5 1000 0.01 1 (the whole output is in $work/network-run/nettrain.log)"
exit $fail
