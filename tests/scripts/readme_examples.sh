#!/usr/bin/env bash
# Runs every script example of the README (each fenced block marked
# "script") as a newcomer would: from the top of a clone, with the built
# plug-ins. Each example carries the lines it prints, as comments
# "% prints: <line>"; it must print them, in that order, end with status 0,
# print no error, and leave every variable it assigns with a value, since a
# refused call leaves its target empty. To see the variables, the test runs
# each example with a closing "whos;" (so an example's last statement must
# end with ";").
# usage: readme_examples.sh <scriptrun> <build dir> <source dir> <work dir>
set -u
scriptrun=$1 build=$2 source=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cp -r "$source/examples" "$work/"
ln -s "$build/libs" "$work/libs"
cd "$work"
awk '/^```script$/ { n++; file = "example" n ".script"; printf "" > file; inside = 1; next }
     /^```/ { inside = 0; next }
     inside { print >> file }' "$source/README.md"
shopt -s nullglob
examples=(example*.script)
if [ ${#examples[@]} -eq 0 ]; then
  echo "the README holds no script example"; exit 1
fi

# The problems of one run: its expected lines missing or out of order, and
# the variables of the last "whos" table left empty.
problems() {
  local example=$1 output=$2
  awk 'FNR == 1 { file++ }
       file == 1 && /% prints: / { line = $0; sub(/^.*% prints: /, "", line); expected[++count] = line; next }
       file == 2 && /Variable name/ { variables = 0; next }
       file == 2 && /^\|.*\|$/ {
         row = $0; gsub(/\|/, " ", row)
         if (split(row, field, " ") == 3 && field[3] ~ /^[0-9]+$/) { name[++variables] = field[1]; type[variables] = field[2] }
         next }
       file == 2 && next_line < count && $0 == expected[next_line + 1] { next_line++ }
       END {
         if (count == 0) print "the example shows no line it prints (\"% prints: <line>\")"
         else if (next_line < count) print "it did not print \"" expected[next_line + 1] "\" (in its order)"
         for (i = 1; i <= variables; i++)
           if (type[i] == "empty") print "a call left " name[i] " empty"
       }' "$example" "$output"
}

fail=0
for example in "${examples[@]}"; do
  { cat "$example"; echo "whos;"; } > "$example.run"
  timeout 120 "$scriptrun" "$example.run" libs </dev/null >"$example.out" 2>&1
  status=$?
  found=$(problems "$example" "$example.out")
  [ $status -eq 0 ] || found+=$'\n'"exit status $status"
  ! grep -q 'ERROR' "$example.out" || found+=$'\n'"it printed an error"
  if [ -n "$found" ]; then
    echo "$example:"; echo "$found" | sed '/^$/d; s/^/  /'
    cat "$example"; echo "--"; tail -n 30 "$example.out"; fail=1
  fi
done
exit $fail
