#!/usr/bin/env bash
# probe-test.sh CASE WORK_DIR CMAKE GENERATOR TOOLCHAIN PROJECT_DIR WINE_RUN PREFIX TABLE MAKE_CABINET...
# Builds the probe project (payload/test/project) with a payload folder made up here, and holds
# the resources of its program against the folder's files (check-resources.sh, with the payload
# table TABLE: one "file type id" line per resource).
#   large    a 120 MB cabinet as the only payload file, as large as a release's largest
#   rebuild  a folder with quotes and blanks in its name, whose files are then changed, added
#            and removed: each build must carry exactly the folder's current files
set -euo pipefail

case=$1
work=$2
cmake=$3
generator=$4
toolchain=$5
project=$6
wine_run=$7
prefix=$8
table=$9
shift 9
make_cabinet=("$@")

here=$(cd "$(dirname "$0")" && pwd)
build="$work/build"
mapfile -t all_files < <(cut -d' ' -f1 "$table")

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

configure() {
  rm -rf "$build"
  "$cmake" -S "$project" -B "$build" -G "$generator" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCDK_PAYLOAD_DIR="$payload" >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; exit 1; }
}

build() {
  "$cmake" --build "$build" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
}

# check ABSENT_FILE...: the program carries every file of the folder but these.
check() {
  "$here/check-resources.sh" "$wine_run" "$prefix" "$build/payload_dump.exe" "$payload" \
    "$table" "$work/dump" "$@" || fail "resources after: $step"
}

absent_except() {
  local keep=" $* " f
  for f in "${all_files[@]}"; do
    [[ $keep == *" $f "* ]] || printf '%s ' "$f"
  done
}

case "$case" in
  large)
    payload="$work/payload"
    rm -rf "$payload"
    mkdir -p "$payload"
    t0=$(now_ms)
    "${make_cabinet[@]}" "$payload/st360090.cab" tools.dat=120M
    t1=$(now_ms)
    configure
    for f in $(absent_except st360090.cab); do
      grep -q "^ *$f (CORVID_" "$work/configure.log" || fail "configure did not report $f as absent"
    done
    ! grep -q "^ *st360090.cab" "$work/configure.log" || fail "configure reported st360090.cab as absent"
    t2=$(now_ms)
    build
    t3=$(now_ms)
    step="a build with a $(stat -c %s "$payload/st360090.cab")-byte cabinet"
    # shellcheck disable=SC2046
    check $(absent_except st360090.cab)
    t4=$(now_ms)
    echo "cabinet $((t1 - t0)) ms, configure $((t2 - t1)) ms, build $((t3 - t2)) ms, check $((t4 - t3)) ms"
    # Half a gigabyte of payload, objects and copies, kept only for a failure.
    [ "$failures" -ne 0 ] || rm -rf "$payload" "$build" "$work/dump"
    ;;
  rebuild)
    payload="$work/pay load \"quoted\""
    rm -rf "$payload"
    mkdir -p "$payload"
    printf 'kit database\n' >"$payload/cdk3.6.0_09.msi"
    "${make_cabinet[@]}" "$payload/ss360090.cab" a.dat=20K
    configure
    build
    step="the first build"
    # shellcheck disable=SC2046
    check $(absent_except cdk3.6.0_09.msi ss360090.cab)

    "$cmake" --build "$build" >"$work/build.log" 2>&1
    grep -q "no work to do" "$work/build.log" || fail "a build without changes did work: $(cat "$work/build.log")"

    # Rewritten in place: the folder itself does not change, only the file.
    "${make_cabinet[@]}" "$work/changed.cab" b.dat=30K
    cat "$work/changed.cab" >"$payload/ss360090.cab"
    build
    step="a cabinet rewritten"
    # shellcheck disable=SC2046
    check $(absent_except cdk3.6.0_09.msi ss360090.cab)

    printf 'updater database\n' >"$payload/au.msi"
    build
    step="a file added"
    # shellcheck disable=SC2046
    check $(absent_except cdk3.6.0_09.msi ss360090.cab au.msi)

    rm "$payload/cdk3.6.0_09.msi"
    build
    step="a file removed"
    # shellcheck disable=SC2046
    check $(absent_except ss360090.cab au.msi)
    ;;
  *)
    echo "unknown case $case" >&2
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
