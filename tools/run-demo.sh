#!/usr/bin/env bash
# Runs the demo with the programs and plug-ins of a build folder and checks
# that every step gave its result: examples/demo.script through scriptrun,
# then the network trainer and tester on the Iris rows. First checks that
# every plug-in loads, naming any that does not with the loader's reason.
# Shows one line per result; ends non-zero when a step refused or a result
# line is missing, naming each plug-in with what its own call printed, and
# the first data file refused as the cause. The traces go to log files in
# the work folder, which is made afresh with a copy of the examples; an
# earlier demo folder (one holding the mark this script leaves) is emptied,
# and any other existing path is refused with status 2.
# usage: run-demo.sh <build dir> <work dir> [<examples dir>]
set -euo pipefail
export LC_ALL=C
if [ $# -lt 2 ]; then
  echo "usage: run-demo.sh <build dir> <work dir> [<examples dir>]" >&2; exit 2
fi
build=$(cd "$1" && pwd)
work=$2
source=$(cd "$(dirname "$0")/.." && pwd)
examples=${3:-$source/examples}

# The file that marks a folder this script made; only such a folder is
# emptied by a later run.
marker=.run-demo-folder

# Makes the work folder, or empties one that an earlier run made, and copies
# the examples into it. Any other existing path (a file, a link, a folder
# with contents, the examples or a folder holding them) is refused with status 2 before
# anything is touched.
prepare_work_folder() {
  local work=$1 examples=$2
  if [ -L "$work" ] || { [ -e "$work" ] && [ ! -d "$work" ]; }; then
    echo "run-demo.sh: $work is not a folder; give a new folder or an earlier demo folder" >&2
    exit 2
  fi
  if [ -d "$work" ] && [ -n "$(ls -A "$work")" ]; then
    local own examples_at
    own=$(cd "$work" && pwd -P) examples_at=$(cd "$examples" && pwd -P)/
    if [ ! -f "$work/$marker" ] || [ -L "$work/$marker" ] || [[ $examples_at == "$own"/* ]]; then
      echo "run-demo.sh: $work holds files that no earlier demo made (it has no $marker); nothing was changed: give a new folder, or remove this one yourself" >&2
      exit 2
    fi
    find "$work" -mindepth 1 -maxdepth 1 ! -name "$marker" -exec rm -rf {} +
  fi
  mkdir -p "$work"
  echo "made by tools/run-demo.sh, which empties this folder when it runs again" > "$work/$marker"
  cp "$examples"/* "$work"/
}

# Work files (the numbered script, the raw trace, the lists the checks
# make) live in a folder of their own, removed however the run ends.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The plug-ins the demo runs: every one the source tree builds.
plugin_names() {
  sed -n 's/^add_plugin(\([A-Za-z0-9_]*\).*/\1/p' "$source"/plugins/*/CMakeLists.txt
}

# Names each plug-in of the build that the loader cannot load, with its
# reason (a missing file, a library it needs that cannot be found, a symbol
# nothing defines); false when there is one.
check_plugins() {
  local name library reasons reason failed=0
  for name in $(plugin_names); do
    library=$build/libs/$name.so
    if [ ! -f "$library" ]; then
      reasons="$library does not exist"
    else
      # A library that cannot be found leaves its symbols undefined too;
      # only the library is named then.
      reasons=$(ldd -r "$library" 2>&1 | awk '
        /=> not found/ { print $1 " cannot be found"; missing = 1; next }
        /undefined symbol:/ { sub(/^[ \t]*undefined symbol:[ \t]*/, ""); sub(/[ \t]+\(.*$/, "")
                              symbols = symbols (symbols == "" ? "" : ", ") $0; next }
        /not a dynamic executable/ { print "it is not a library" }
        END { if (!missing && symbols != "") print "it needs " symbols ", which nothing defines" }' || true)
    fi
    [ -n "$reasons" ] || continue
    [ $failed -eq 1 ] || echo "The demo cannot run: these plug-ins do not load:"
    failed=1
    while IFS= read -r reason; do echo "  $name: $reason"; done <<< "$reasons"
  done
  return $failed
}

# Copies demo.script to $scratch/demo.run with "write('@@demo-step N@@\n')"
# after each statement, so that the trace shows where each statement's
# output ends. Statements are cut as the interpreter cuts them (at ";"
# outside strings and comments); an empty one ends the run, so nothing is
# added after it. Writes "N<tab>target<tab>function<tab>statement" for each
# statement to $scratch/steps, the statement with comments dropped and
# blanks run together.
number_statements() {
  awk -v run="$scratch/demo.run" -v steps="$scratch/steps" '
    function put(text) { printf "%s", text > run }
    function keep(c) { compact = compact c; shown = shown c }
    function finish(   target, function_name, rest) {
      if (compact == "") { done = 1; return }
      count++
      put("write(\"@@demo-step " count "@@\\n\");")
      target = ""; function_name = ""; rest = compact
      if (match(rest, /^[A-Za-z_][A-Za-z0-9_]*=/)) { target = substr(rest, 1, RLENGTH - 1); rest = substr(rest, RLENGTH + 1) }
      if (match(rest, /^[A-Za-z_][A-Za-z0-9_]*\(/)) function_name = substr(rest, 1, RLENGTH - 1)
      gsub(/^ +| +$/, "", shown)
      print count "\t" target "\t" function_name "\t" shown > steps
      compact = ""; shown = ""
    }
    {
      line = $0 "\n"
      for (i = 1; i <= length(line); i++) {
        c = substr(line, i, 1); put(c)
        if (done) continue
        if (in_line) { if (c == "\n") in_line = 0; continue }
        if (in_block) { if (c == "/" && last == "*") in_block = 0; last = c; continue }
        if (in_string) { keep(c); if (c == "\047" || c == "\"") in_string = 0; continue }
        if (c == ";") finish()
        else if (c == "%" || c == "#") in_line = 1
        else if (c ~ /[ \t\r\n]/) { if (shown != "" && shown !~ / $/) shown = shown " " }
        else if (c == "*" && compact ~ /\/$/) {
          in_block = 1; last = "*"
          compact = substr(compact, 1, length(compact) - 1); sub(/\/$/, "", shown)
        } else { keep(c); if (c == "\047" || c == "\"") in_string = 1 }
      }
    }
    END { if (!done && !in_string && !in_block && compact != "") { put("\n;"); finish() } }
  ' demo.script
}

# Runs the numbered script. demo.log gets the trace without the step marks;
# $scratch/said gets "N<tab>line" for each line that statement N printed
# (the plug-in list before the first statement left out). Shows the log's
# tail and stops when the interpreter ends with an error.
run_demo_script() {
  local status=0
  "$build/bin/scriptrun" "$scratch/demo.run" "$build/libs" </dev/null >"$scratch/trace" 2>&1 ||
    status=$?
  # A mark ends with a line end of its own, which goes with it.
  awk -v said="$scratch/said" '
    BEGIN { step = 1; mark = "@@demo-step [0-9]+@@" }
    {
      line = $0; clean = ""
      while (match(line, mark)) {
        part = substr(line, 1, RSTART - 1); clean = clean part
        if (part != "") print step "\t" part > said
        step = substr(line, RSTART + 12, RLENGTH - 14) + 1
        line = substr(line, RSTART + RLENGTH)
      }
      if (line != "" && !(step == 1 && (line ~ /^Loading plugin / || line ~ /^-+$/)))
        print step "\t" line > said
      carried = carried clean line
      if ($0 !~ (mark "$")) { print carried; carried = "" }
    }
    END { if (carried != "") print carried }' "$scratch/trace" > demo.log
  if [ $status -ne 0 ]; then
    tail -n 20 demo.log
    echo "failed: $build/bin/scriptrun demo.script $build/libs (the whole output is in $work/demo.log)"
    exit 1
  fi
}

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
  awk -v f="$1" '$1 == f { print $2; found = 1; exit } END { if (!found) print "the plug-in of " f }' "$scratch/exports"
}

# Reads the statement list, then demo.log twice. From the statements: the
# results announced ("== name: text" is a result line; "== name" alone names
# the function whose own result line, "Classification error" or "Correct
# classifications", follows), the variable a result line shows, and the
# statement that gives each variable its value. From the log's first pass:
# the last variable table. The second pass prints the result lines, each
# transform's "(variable)" with the size of the matrix it holds. Problems go
# to $scratch/problems, one a line: "<step> empty <variable>", "<step>
# missing <name>" (the step after the announcement, which prints the result)
# and "<step> refused <name>" (the step that made the rate), tab-separated.
show_results() {
  awk -F '\t' -v rows="$1" -v problems="$scratch/problems" '
    FNR == 1 { file++ }
    file == 1 && $3 == "write" && $4 ~ /^write\(.== / {
      name = $4; sub(/^write\(.== /, "", name); sub(/(:|\\).*$/, "", name)
      expected[++count] = name; announced[name] = $1
      if (match($4, /, *[A-Za-z_][A-Za-z0-9_]*\)$/)) {
        shows[name] = substr($4, RSTART + 1, RLENGTH - 2); sub(/^ +/, "", shows[name])
      }
      next }
    file == 1 && $2 != "" { made_by[$2] = $1; next }
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
        if (type[order[i]] == "empty") print made_by[order[i]] + 0 "\tempty\t" order[i] > problems
      for (i = 1; i <= count; i++)
        if (!(expected[i] in shown)) print announced[expected[i]] + 1 "\tmissing\t" expected[i] > problems
      for (i = 1; i <= refusals; i++) {
        name = refused[i]; step = announced[name]
        if ((name in shows) && (shows[name] in made_by)) step = made_by[shows[name]]
        print step "\trefused\t" name > problems
      }
    }' "$scratch/steps" demo.log demo.log
}

# The last three lines that statement <step> printed, indented: a refusal
# ends the call, so its message comes last.
said_by() {
  awk -F '\t' -v step="$1" '$1 == step { line[++n] = $2 }
    END {
      if (n > 3) print "    (" n - 3 " lines before these in demo.log)"
      for (i = n > 3 ? n - 2 : 1; i <= n; i++) print "    " line[i]
    }' "$scratch/said"
}

# One problem: what failed, and what its statement printed.
report_problem() {
  local step=$1 kind=$2 name=$3 function statement
  IFS=$'\t' read -r _ _ function statement < <(awk -F '\t' -v s="$step" '$1 == s' "$scratch/steps")
  case $kind in
    empty)
      if [ -n "$function" ]; then
        echo "  $(plugin_of "$function") refused: $statement left $name empty"
      else
        echo "  $name is empty"
      fi ;;
    missing) echo "  ${name%%,*}: the result line of \"== $name\" is missing" ;;
    refused) echo "  ${name%%,*}: a rate below 0, which learning_rate gives when it refuses its scores" ;;
  esac
  if [ "$step" -gt 0 ]; then said_by "$step"; fi
}

# The step of the first load_database that left its target empty, if any.
first_refused_load() {
  sort -t $'\t' -k1,1n "$scratch/problems" | awk -F '\t' '
    FNR == NR { function_of[$1] = $3; next }
    $2 == "empty" && function_of[$1] == "load_database" { print $1; exit }' "$scratch/steps" -
}

# Prints each problem in the order of the script, naming its plug-in and
# showing what its statement printed. The first data file that load_database
# refused is named as the cause, and the problems after it as following from
# it. False when there was a problem.
report_problems() {
  [ -s "$scratch/problems" ] || return 0
  list_exports > "$scratch/exports"
  local cause step kind name heading="The demo failed:"
  cause=$(first_refused_load)
  echo
  while IFS=$'\t' read -r step kind name; do
    if [ "$kind-$step" = "empty-$cause" ]; then
      [ -z "$heading" ] && heading="The cause:" || heading="The demo failed. The cause:"
    elif [ -n "$cause" ] && [ "$step" -ge "$cause" ]; then
      heading="What follows from it:" cause=""
    fi
    [ -z "$heading" ] || echo "$heading"
    heading=""
    report_problem "$step" "$kind" "$name"
  done < <(sort -t $'\t' -k1,1n -s "$scratch/problems")
  echo "The whole output is in $work/demo.log"
  return 1
}

check_plugins || exit 1
prepare_work_folder "$work" "$examples"
cd "$work"
echo
echo "== Demo script (examples/demo.script); its whole output: $work/demo.log"
number_statements
run_demo_script
: > "$scratch/problems"
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
