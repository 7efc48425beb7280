#!/usr/bin/env bash
# The demo's checks (tools/run-demo.sh), on its own data and on copies with a
# value that is not a number: the demo passes and shows the size of each
# projection; with a bad training row for the scripts it ends with status 1,
# naming the refused load_database as the cause and showing, under what
# follows from it, each refused call with its own message; with a bad row for
# the network trainer it ends with status 1 at nettrain. A plug-in that does
# not load stops it before it runs, named with the reason. It empties only a
# folder an earlier demo made, and refuses any other existing path, leaving
# every file as it was.
# usage: demo_checks.sh <source dir> <build dir> <work dir>
set -u
source=$1 build=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
fail=0

# Runs the demo on a copy of the examples whose files $2, $3, ... have "nan"
# as the first value of line 3, in the work folder $work/<name>-run (or the
# one the variable into names), with the build folder $build (or the one the
# variable with names); the output goes to $work/<name>.out and its status to
# the variable status.
run_demo() {
  local name=$1 corrupt; shift
  mkdir -p "$work/$name" && cp "$source"/examples/* "$work/$name/"
  for corrupt in "$@"; do sed -i '3s/^[^ ,]*/nan/' "$work/$name/$corrupt"; done
  "$source/tools/run-demo.sh" "${with:-$build}" "${into:-$work/$name-run}" "$work/$name" \
    >"$work/$name.out" 2>&1
  status=$?
}

# Every path under $1 with its kind, mode, size and contents.
snapshot() {
  find "$1" -printf '%p %y %m %s %l\n' | sort
  find "$1" -type f -exec md5sum {} + | sort
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

run_demo good
expect good 0 \
  "  flatdisc: the test rows projected onto the discriminant directions (flat: 45 rows x 3 columns)" \
  "  squaremark: 97.8% of the test rows correct"
if grep -q -- "-1.0%\|empty)" "$work/good.out"; then
  echo "good: a result line shows a refusal"; fail=1
fi
for file in problems exports; do
  [ ! -e "$work/good-run/$file" ] || { echo "good: the demo folder keeps $file"; fail=1; }
done

run_demo scripts iris-train.txt
expect scripts 1 \
  "  flatdisc: the test rows projected onto the discriminant directions (flat: empty)" \
  "The demo failed. The cause:" \
  "  textdata refused: train = load_database('iris-train.txt') left train empty" \
  "    load_database: 'iris-train.txt': line 3: 'nan' is not a number" \
  "What follows from it:" \
  "  flatdisc refused: flat = execute_flatdisc(test, 'iris-flatdisc.xml') left flat empty" \
  "    Execute FLATDISC: the XML file name is not valid or wrong file!" \
  "    Execute UNMIXER: the XML file name is not valid!" \
  "  pathlet: the result line of \"== pathlet\" is missing" \
  "  bellmix: the result line of \"== bellmix, network\" is missing" \
  "  neurnet: a rate below 0, which learning_rate gives when it refuses its scores"
if grep -q "^== Network" "$work/scripts.out"; then
  echo "scripts: the demo went on after a refusal"; fail=1
fi

# Two files broken differently: each refusal shows its own message.
run_demo two-files iris-train.txt scores.txt
expect two-files 1 "    load_database: 'scores.txt': line 3: 'nan' is not a number"
if [ "$(grep -A1 -F "scores = load_database" "$work/two-files.out" | tail -n 1)" != \
     "    load_database: 'scores.txt': line 3: 'nan' is not a number" ]; then
  echo "two-files: the scores.txt refusal is not followed by its own message"; fail=1
fi

# An earlier demo folder is emptied and used again.
touch "$work/good-run/stray.txt"
into=$work/good-run run_demo network iris.data
expect network 1 \
  "failed: $build/bin/nettrain iris 5 1000 0.01 1 (the whole output is in $work/good-run/nettrain.log)"
if [ -e "$work/good-run/stray.txt" ] || [ ! -f "$work/good-run/demo.log" ]; then
  echo "network: the earlier demo folder was not emptied first"; fail=1
fi

# Plug-ins that do not load stop the demo before it runs, each named with
# the loader's reason: a build whose tessel.so is gone, whose toolbelt.so
# needs a symbol nothing defines, and whose bellmix.so needs a library the
# loader cannot find.
mkdir -p "$work/broken-build/libs"
ln -s "$build/bin" "$work/broken-build/bin"
ln -s "$build"/libs/*.so "$work/broken-build/libs/"
rm "$work/broken-build/libs/tessel.so"
ln -sf "$build/testlibs/broken/unresolved.so" "$work/broken-build/libs/toolbelt.so"
ln -sf "$build/testlibs/unloadable/needs_missing.so" "$work/broken-build/libs/bellmix.so"
with=$work/broken-build run_demo plugins
expect plugins 1 \
  "The demo cannot run: these plug-ins do not load:" \
  "  bellmix: libtp_missing_dependency.so cannot be found" \
  "  tessel: $work/broken-build/libs/tessel.so does not exist" \
  "  toolbelt: it needs symbol_nobody_defines, which nothing defines"
[ ! -e "$work/plugins-run" ] || { echo "plugins: the demo made its folder"; fail=1; }

# Existing paths the demo did not make are refused with status 2 and left
# as they were: the examples folder itself, a user's folder holding a
# demo.script of their own, a plain file, a link to a folder.
mkdir -p "$work/mine" && cp "$source/examples/demo.script" "$work/mine/"
echo "% edited" >> "$work/mine/demo.script"
echo "1,2,3" > "$work/mine/my-data.txt" && echo "notes" > "$work/mine/my-notes.md"
echo "keep me" > "$work/important.txt"
cp -r "$source/examples" "$work/examples"
ln -s mine "$work/link"
for target in examples mine important.txt link; do
  before=$(snapshot "$work/$target")
  "$source/tools/run-demo.sh" "$build" "$work/$target" "$work/examples" \
    >"$work/refused.out" 2>&1
  status=$?
  expect refused 2
  grep -q "^run-demo.sh: $work/$target " "$work/refused.out" ||
    { echo "$target: no message naming it"; fail=1; }
  [ "$(snapshot "$work/$target")" = "$before" ] || { echo "$target: changed"; fail=1; }
done
exit $fail
