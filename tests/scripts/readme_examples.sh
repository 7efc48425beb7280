#!/usr/bin/env bash
# Runs every script example of the README (each fenced block marked
# "script") as a newcomer would: from the top of a clone, with the built
# plug-ins. Each must end with status 0 and print no error.
# usage: readme_examples.sh <scriptrun> <build dir> <source dir> <work dir>
set -u
scriptrun=$1 build=$2 source=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cp -r "$source/examples" "$work/"
ln -s "$build/libs" "$work/libs"
cd "$work"
awk -v out=example '/^```script$/ { n++; file = out n ".script"; printf "" > file; inside = 1; next }
     /^```/ { inside = 0; next }
     inside { print >> file }' "$source/README.md"
shopt -s nullglob
examples=(example*.script)
if [ ${#examples[@]} -eq 0 ]; then
  echo "the README holds no script example"; exit 1
fi
fail=0
for example in "${examples[@]}"; do
  timeout 120 "$scriptrun" "$example" libs </dev/null >"$example.out" 2>&1
  status=$?
  if [ $status -ne 0 ] || grep -q 'ERROR' "$example.out"; then
    echo "$example (status $status):"; cat "$example"; echo "--"; tail -n 20 "$example.out"; fail=1
  fi
done
exit $fail
