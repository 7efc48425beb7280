#!/usr/bin/env bash
# Runs one stage of a build (a cmake command) with its whole output in a log
# file, showing only ninja's "[n/m]" counter: on one line on a terminal,
# otherwise a line at each tenth of the build. When the stage fails, the
# log's tail is shown and the status is 1.
# usage: logged-build.sh <log file> <command> [<argument>...]
set -euo pipefail
log=$1; shift
mkdir -p "$(dirname "$log")"
tty=0
[ -t 1 ] && tty=1
if ! "$@" 2>&1 | tee "$log" | awk -v tty="$tty" '
    match($0, /^\[[0-9]+\/[0-9]+\]/) {
      split(substr($0, 2, RLENGTH - 2), step, "/")
      if (tty) printf "\r  step %d of %d", step[1], step[2]
      else if (int(step[1] * 10 / step[2]) > shown) {
        shown = int(step[1] * 10 / step[2]); printf "  step %d of %d\n", step[1], step[2]
      }
      fflush()
    }
    END { if (tty && NR) print "" }'; then
  tail -n 40 "$log"
  echo "failed: $* (the whole output is in $log)"
  exit 1
fi
