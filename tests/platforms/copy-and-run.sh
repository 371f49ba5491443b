#!/bin/sh
# copy-and-run.sh PROGRAM ARGS...: runs a copy of PROGRAM in a fresh
# temporary folder, removed afterwards.  The exit status and the output are
# the program's.
program=$1
shift
place=$(mktemp -d) || exit 125
trap 'rm -rf "$place"' EXIT
cp "$program" "$place/" || exit 125
cd "$place" || exit 125
"./$(basename "$program")" "$@"
