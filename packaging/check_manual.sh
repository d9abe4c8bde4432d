#!/bin/sh
# zorvid(8) names every option of zorvid and every key its configuration reader accepts:
#   check_manual.sh zorvid.8.gz server_config.cpp main.cpp
# The keys are read from the reader's own comparisons, the options from their declarations,
# so that a key or option added without its place in --print-config or --help shows here.
set -eu
page=$(gzip -dc "$1")
missing=""
for key in $(grep -o 'key == "[^"]*"' "$2" | sed 's/key == "\(.*\)"/\1/'); do
  printf '%s\n' "$page" | grep -qF "\\fB$key\\fR" || missing="$missing key:$key"
done
for option in $(grep -o 'add_\(option\|flag\)("--[^"]*"' "$3" | sed 's/.*("\(.*\)"/\1/'); do
  printf '%s\n' "$page" | grep -qF "\\fB$option\\fR" || missing="$missing option:$option"
done
if [ -n "$missing" ]; then
  echo "zorvid(8) does not list:$missing" >&2
  exit 1
fi
