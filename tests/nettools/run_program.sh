#!/usr/bin/env bash
# Stands in for scriptrun when tests/scripts/run_case.sh runs a case of
# nettrain or nettest: runs the program and arguments of the case's
# "command" file from the folder NETTOOLS_BIN, in the work folder, with the
# standard input run_case.sh gives (/dev/null).
set -u
read -r -a command < command
exec "$NETTOOLS_BIN/${command[0]}" "${command[@]:1}"
