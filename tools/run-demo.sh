#!/usr/bin/env bash
# Runs the demo with the programs and plug-ins of a build folder and checks
# that every step gave its result: examples/demo.script through scriptrun,
# then the network trainer and tester on the Iris rows. Shows one line per
# result; ends non-zero, naming the plug-in, when a step refused or a result
# line is missing. The traces go to log files in the work folder, which is
# made afresh with a copy of the examples (an earlier demo folder is emptied).
# usage: run-demo.sh <build dir> <work dir> [<examples dir>]
set -euo pipefail
export LC_ALL=C
if [ $# -lt 2 ]; then
  echo "usage: run-demo.sh <build dir> <work dir> [<examples dir>]" >&2; exit 2
fi
build=$(cd "$1" && pwd)
work=$2
examples=${3:-$(dirname "$0")/../examples}
# An earlier demo folder holds demo.script; any other folder with contents is
# left alone rather than emptied.
if [ -d "$work" ] && [ -n "$(ls -A "$work")" ] && [ ! -f "$work/demo.script" ]; then
  echo "run-demo.sh: $work holds files of another kind; give a new or an earlier demo folder" >&2
  exit 2
fi
rm -rf "$work" && mkdir -p "$work" && cp "$examples"/* "$work"/
cd "$work"

# Shows the log's tail and stops when a step fails.
run_logged() {
  local log=$1; shift
  if ! "$@" </dev/null >"$log" 2>&1; then
    tail -n 20 "$log"
    echo "failed: $* (the whole output is in $work/$log)"
    exit 1
  fi
}

# Writes "<symbol> <plug-in>" for every function the plug-ins define, in
# the order in which the interpreter binds them: the libraries in byte-wise
# order of their file names.
list_exports() {
  local library
  for library in "$build"/libs/*.so; do
    nm -D --defined-only "$library" 2>/dev/null |
      awk -v plugin="$(basename "$library" .so)" 'NF == 3 { print $3, plugin }'
  done
}

# The plug-in that a function binds to, from the list of exports.
plugin_of() {
  awk -v f="$1" '$1 == f { print $2; found = 1; exit } END { if (!found) print "the plug-in of " f }' exports
}

# Reads demo.script, then demo.log twice. From the script: the results it
# announces ("== name: text" is a result line; "== name" alone names the
# function whose own result line, "Classification error" or "Correct
# classifications", follows) and the function that gives each variable its
# value. From the log's first pass: the last variable table. The second pass
# prints the result lines, each transform's "(variable)" with the size of
# the matrix it holds. Problems go to the file "problems", one a line, the
# causes first: "empty <variable> <function> <statement>", "missing <name>",
# "refused <name>", fields separated by tabs.
show_results() {
  awk -v rows="$1" '
    FNR == 1 { file++ }
    file == 1 && /write\(.== / {
      name = $0; sub(/^.*write\(.== /, "", name); sub(/(:|\\).*$/, "", name)
      expected[++count] = name; next }
    file == 1 && /^[ \t]*[A-Za-z_][A-Za-z0-9_]*[ \t]*=[ \t]*[A-Za-z_][A-Za-z0-9_]*[ \t]*\(/ {
      statement = $0; sub(/^[ \t]+/, "", statement); sub(/;[ \t]*$/, "", statement)
      split(statement, part, /[ \t]*[=(][ \t]*/)
      function_of[part[1]] = part[2]; statement_of[part[1]] = statement; next }
    file == 2 && /Variable name/ { variables = 0; split("", type); split("", bytes); next }
    file == 2 && /^\|.*\|$/ {
      row = $0; gsub(/\|/, " ", row)
      if (split(row, field, " ") == 3 && field[3] ~ /^[0-9]+$/) {
        order[++variables] = field[1]; type[field[1]] = field[2]; bytes[field[1]] = field[3]
      }
      next }
    file == 3 && /^== [^:]*: / {
      line = substr($0, 4); name = line; sub(/:.*/, "", name)
      if (match(line, /\([A-Za-z_][A-Za-z0-9_]*\)$/)) {
        variable = substr(line, RSTART + 1, RLENGTH - 2)
        line = substr(line, 1, RSTART) variable ": " size(variable) ")"
      }
      if (line ~ / -[0-9.]+%/) refused[++refusals] = name
      shown[name] = 1; print "  " line; next }
    file == 3 && /^== / { pending = substr($0, 4); next }
    file == 3 && pending != "" && /^(Classification error|Correct classifications)/ {
      gsub(/  +/, " "); shown[pending] = 1; print "  " pending ": " $0; pending = "" }
    # A transform projects the test rows, so a matrix of b bytes (b - 8 of
    # them values) has (b - 8) / 8 / rows columns.
    function size(variable,   columns) {
      if (type[variable] != "matrix") return "empty"
      columns = rows > 0 ? (bytes[variable] - 8) / 8 / rows : 0.5
      if (columns == int(columns)) return rows " rows x " columns " columns"
      return bytes[variable] " bytes"
    }
    END {
      for (i = 1; i <= variables; i++)
        if (type[order[i]] == "empty")
          print "empty\t" order[i] "\t" function_of[order[i]] "\t" statement_of[order[i]] > "problems"
      for (i = 1; i <= count; i++)
        if (!(expected[i] in shown)) print "missing\t" expected[i] > "problems"
      for (i = 1; i <= refusals; i++) print "refused\t" refused[i] > "problems"
    }' demo.script demo.log demo.log
}

# Prints each problem, naming its plug-in; false when there was one.
report_problems() {
  [ -s problems ] || return 0
  list_exports > exports
  echo
  echo "The demo failed:"
  local kind name function statement message
  while IFS=$'\t' read -r kind name function statement; do
    case $kind in
      empty)
        if [ -n "$function" ]; then
          echo "  $(plugin_of "$function") refused: $statement left $name empty"
          message=$(grep -m 1 -F "$function:" demo.log || true)
          [ -z "$message" ] || echo "    $message"
        else
          echo "  $name is empty"
        fi ;;
      missing) echo "  ${name%%,*}: the result line of \"== $name\" is missing" ;;
      refused) echo "  ${name%%,*}: a rate below 0, which learning_rate gives when it refuses its scores" ;;
    esac
  done < problems
  echo "The whole output is in $work/demo.log"
  return 1
}

echo
echo "== Demo script (examples/demo.script); its whole output: $work/demo.log"
run_logged demo.log "$build/bin/scriptrun" demo.script "$build/libs"
: > problems
show_results "$(grep -c -v -E '^[[:space:]]*(#|$)' iris-test.txt)"
report_problems || exit 1
echo "Model files: $work/iris-*.xml"

echo
echo "== Network trainer and tester; traces: $work/nettrain.log and $work/nettest.log"
# 5 hidden units, 1000 epochs at the rate 0.01 on all rows of iris.data,
# drawing the classes in turn; tested on iris.test.
run_logged nettrain.log "$build/bin/nettrain" iris 5 1000 0.01 1
run_logged nettest.log "$build/bin/nettest" iris
if ! grep -m 1 '^Ratio of correct answers' nettest.log | sed 's/^/  nettest: /' | grep .; then
  echo "The demo failed: nettest printed no ratio of correct answers (see $work/nettest.log)"
  exit 1
fi
echo "Network files: $work/iris.wts and $work/iris.fre"
