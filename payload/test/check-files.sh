#!/usr/bin/env bash
# check-files.sh PAYLOAD_DIR x64|x86
# Reads the generated test payload with msitools and gcab, without installing anything: the six
# files, the product codes and registry rows that the launcher relies on, the feature names of
# its silent command line, the embedded language transforms, the registry view of each
# component, and cabinets that take several 8192-byte writes with a partial last one.
set -euo pipefail

dir=$1
arch=$2

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if [ "$arch" = x64 ]; then
  kit_code='{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}'
  platform=x64
  component_64bit=256
  common_files=CommonFiles64Folder
else
  kit_code='{32C7E2B9-5D31-42A8-9F06-3E8A1C460090}'
  platform=Intel
  component_64bit=0
  common_files=CommonFilesFolder
fi

for f in cdk3.6.0_09.msi au.msi ss360090.cab st360090.cab sj360090.cab sz360090.cab; do
  [ -s "$dir/$f" ] || fail "missing or empty $dir/$f"
done
[ "$failures" -eq 0 ] || exit 1

table() { msiinfo export "$1" "$2" 2>/dev/null | tr -d '\r'; }

# expect_row DATABASE TABLE FIELD... : a row whose leading fields are exactly these ("*" for any).
expect_row() {
  local db=$1 name=$2
  shift 2
  local pattern="" field
  for field in "$@"; do
    if [ "$field" = "*" ]; then
      pattern+='[^\t]*\t'
    else
      pattern+="$(printf '%s' "$field" | sed 's/[][\.*^$+?(){}|]/\\&/g')"'\t'
    fi
  done
  # Every field of a row is followed by a tab, or by the line's end.
  table "$dir/$db" "$name" | sed 's/$/\t/' | grep -qP "^$pattern" ||
    fail "$db: no $name row $*"
}

kit=cdk3.6.0_09.msi
expect_row $kit Property ProductCode "$kit_code"
expect_row $kit Property ProductVersion 3.6.0.11
expect_row $kit Property Manufacturer Tarnwell
expect_row $kit Property INSTALL_LANGUAGE 1033
msiinfo suminfo "$dir/$kit" | grep -q "^Template: $platform;1033" || fail "$kit: template is not $platform;1033"
# The features that a silent run names in ADDLOCAL.
expect_row $kit Feature ToolsFeature
expect_row $kit Feature PubliccreFeature
# Root 2 is HKEY_LOCAL_MACHINE.
expect_row $kit Registry '*' 2 'SOFTWARE\Tarnwell\Corvid Development Kit\3.6.0_09' BuildNumber 11 KitRegistry
expect_row $kit Registry '*' 2 'SOFTWARE\Tarnwell\Corvid Development Kit\3.6.0_09' CorvidHome '[INSTALLDIR]' KitRegistry
expect_row $kit Registry '*' 2 'SOFTWARE\Tarnwell\Corvid Runtime Environment\3.6.0_09' BuildNumber 11 CreRegistry
# The registry values go to the view of the package's platform.
expect_row $kit Component KitRegistry '*' INSTALLDIR $((component_64bit | 4))
expect_row $kit Directory INSTALLDIR CorvidFolder 'cdk3.6.0_09'
for f in cre.msi cre1041.MST cre2052.MST; do
  expect_row $kit File "$f" PublicCreInstaller "$f"
done
expect_row $kit _Storages 1041
expect_row $kit _Storages 2052

au=au.msi
if table "$dir/$au" Property | grep -q '{6D2F84B1-39C7-4E5A-8B16-0C7E93A5F2D4}'; then
  fail "$au uses the product code of the old updater"
fi
expect_row $au Registry '*' 2 'SOFTWARE\Tarnwell\Auto Update' AUVersion 5.6.09.11 UpdaterVersion
# The updater's values are in the 32-bit view in both flavours (no 64-bit attribute).
expect_row $au Component UpdaterVersion '*' UPDATEDIR 4
expect_row $au File caureg.exe Registration caureg.exe
expect_row $au Directory UPDATEDIR CorvidCommonFolder 'Corvid Update'
expect_row $au Directory CorvidCommonFolder "$common_files" Corvid

for cab in ss360090.cab st360090.cab sj360090.cab sz360090.cab; do
  size=$(stat -c %s "$dir/$cab")
  if [ "$size" -le $((2 * 8192)) ] || [ $((size % 8192)) -eq 0 ]; then
    fail "$cab has $size bytes: not several 8192-byte writes with a partial last one"
  fi
  gcab --list "$dir/$cab" >/dev/null || fail "$cab is not a cabinet"
done
[ "$(stat -c %s "$dir/st360090.cab")" -gt $((4 * 1024 * 1024)) ] || fail "st360090.cab is not the large one"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
