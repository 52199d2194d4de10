#!/usr/bin/env bash
# check-resources.sh WINE_RUN PREFIX PROGRAM PAYLOAD_DIR TABLE WORK_DIR [ABSENT_FILE...]
# Runs a payload_dump program under Wine: it writes the payload resources of its own module to a
# folder and reports each one's size. Every resource of the payload table (TABLE: one
# "file type id" line each) must equal the payload file it was built from (size and bytes); the
# files named as absent must be reported absent and not written.
set -euo pipefail

wine_run=$1
prefix=$2
program=$3
payload=$4
table=$5
work=$6
shift 6
absent=" $* "

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
report=$("$wine_run" "$prefix" "$program" "Z:${work//\//\\}" </dev/null | tr -d '\r')
echo "$report"

while read -r name type id; do
  line=$(grep "^$type $id " <<<"$report") || { fail "no report of $type $id"; continue; }
  if [[ $absent == *" $name "* ]]; then
    [ "$line" = "$type $id absent" ] || fail "$type $id ($name) should be absent: $line"
    [ ! -e "$work/$name" ] || fail "$name was written although absent"
    continue
  fi
  size=$(stat -c %s "$payload/$name")
  [ "$line" = "$type $id $size" ] || fail "$type $id: '$line', expected size $size of $name"
  cmp -s "$payload/$name" "$work/$name" || fail "$type $id differs from $payload/$name"
done <"$table"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all resources match"
