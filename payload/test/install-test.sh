#!/usr/bin/env bash
# install-test.sh WINE_RUN TEMPLATE_PREFIX WORK_DIR PAYLOAD_DIR CASE
# Installs the generated test payload (64-bit flavour) with Wine's own msiexec in a throw-away
# copy of a ready Wine prefix, and checks what each install leaves behind: files, registry
# values in the registry view the launcher reads, the platform's uninstall record, and that
# msiexec /x takes it all away again.
#   kit        the kit as a silent launcher run installs it, its public runtime, the default folder
#   languages  the kit's embedded transforms (TRANSFORMS=:1041, :2052) and the runtime's .MST files
#   updater    au.msi as the launcher installs it, and its registration program
set -euo pipefail

wine_run=$1
template=$2
work=$3
payload=$4
case=$5

kit_code='{64C7E2B9-5D31-42A8-9F06-3E8A1C460090}'
cre_code='{5B1C93D0-7E42-4F18-A3C6-1D76416009FF}'
au_code='{46DCF543-4BD7-41ED-BD03-1022225672B4}'
kit_key='HKLM\SOFTWARE\Tarnwell\Corvid Development Kit\3.6.0_09'
cre_key='HKLM\SOFTWARE\Tarnwell\Corvid Runtime Environment\3.6.0_09'
public_key='HKLM\SOFTWARE\Tarnwell\Corvid Public Runtime\3.6.0_09'
au_key='HKLM\SOFTWARE\Tarnwell\Auto Update'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'

prefix="$work/prefix"
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)

# A fresh copy of the template, which must be at rest while it is copied.
mkdir -p "$work"
WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
rm -rf "$prefix"
WINEPREFIX="$template" "$WINESERVER" -w 2>/dev/null || true
cp -a "$template" "$prefix"
# The prefix (700 MB) is kept only when a check failed, for a look at what the install left.
finish() {
  local status=$?
  WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
  if [ "$status" -eq 0 ]; then
    rm -rf "$prefix"
  fi
}
trap finish EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

wine() { "$wine_run" "$prefix" "$@"; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
drive_c() { printf '%s/drive_c/%s' "$prefix" "$1"; }

msiexec_expect() {
  local expected=$1 status=0
  shift
  wine msiexec "$@" </dev/null || status=$?
  [ "$status" -eq "$expected" ] || fail "msiexec $* exited with $status, expected $expected"
}

# reg_value KEY NAME [32|64]: the value's data, or status 1 when the key or value is missing.
reg_value() {
  local out
  out=$(wine reg query "$1" /v "$2" ${3:+/reg:$3} 2>/dev/null </dev/null | tr -d '\r') || return 1
  sed -n "s/^ *$2 \{2,\}REG_[A-Z_]* \{2,\}//p" <<<"$out"
}

expect_value() {
  local actual
  if ! actual=$(reg_value "$1" "$2" "${4:-}"); then
    fail "no value $2 under $1${4:+ (view $4)}"
  elif [ "$actual" != "$3" ]; then
    fail "$1 $2 is '$actual', expected '$3'"
  fi
}

expect_no_key() {
  if wine reg query "$1" ${2:+/reg:$2} >/dev/null 2>&1 </dev/null; then
    fail "key $1${2:+ (view $2)} exists"
  fi
}

expect_key() {
  wine reg query "$1" ${2:+/reg:$2} >/dev/null 2>&1 </dev/null || fail "no key $1${2:+ (view $2)}"
}

expect_files() {
  local folder=$1 f
  shift
  for f in "$@"; do
    [ -f "$folder/$f" ] || fail "missing $folder/$f"
  done
}

expect_no_files() {
  local folder=$1 f
  shift
  for f in "$@"; do
    [ ! -e "$folder/$f" ] || fail "$folder/$f exists"
  done
}

kit_msi=$(winpath "$payload/cdk3.6.0_09.msi")
kit_files=(release README.txt bin/corvidc.cmd cre.msi cre1041.MST cre2052.MST)

case_kit() {
  # As a silent launcher run installs it, into a folder given on the command line.
  local start end
  start=$(date +%s%N)
  msiexec_expect 0 /i "$kit_msi" /qn ADDLOCAL=PubliccreFeature,ToolsFeature 'INSTALLDIR=C:\Kit Dir' WRAPPER=1
  end=$(date +%s%N)
  echo "kit install took $(((end - start) / 1000000)) ms"
  local home
  home=$(drive_c "Kit Dir")
  expect_files "$home" "${kit_files[@]}"
  expect_no_files "$home" lib/src.txt  # SourceFeature was not asked for
  expect_value "$kit_key" BuildNumber 11
  expect_value "$kit_key" CorvidHome 'C:\Kit Dir\'
  expect_value "$kit_key" InstallLanguage 1033
  expect_value "$cre_key" BuildNumber 11
  expect_key "$uninstall_key\\$kit_code"
  # The 64-bit package writes the 64-bit view only, where the 64-bit launcher looks.
  expect_no_key "$kit_key" 32

  # The public runtime, as the launcher's follow-up installs it from the kit's folder.
  msiexec_expect 0 /i 'C:\Kit Dir\cre.msi' /qn ADDLOCAL=ALL SDKSILENT=1
  expect_value "$public_key" InstallLanguage 1033
  expect_files "$(drive_c "Program Files/Corvid/cre3.6.0_09")" release
  expect_key "$uninstall_key\\$cre_code"
  msiexec_expect 0 /x "$cre_code" /qn
  expect_no_key "$public_key"
  expect_no_key "$uninstall_key\\$cre_code"

  msiexec_expect 0 /x "$kit_code" /qn
  expect_no_files "$home" "${kit_files[@]}"
  expect_no_key "$kit_key"
  expect_no_key "$cre_key"
  expect_no_key "$uninstall_key\\$kit_code"

  # Without INSTALLDIR and ADDLOCAL: every feature, in the default folder.
  msiexec_expect 0 /i "$kit_msi" /qn
  home=$(drive_c "Program Files/Corvid/cdk3.6.0_09")
  expect_files "$home" "${kit_files[@]}" lib/src.txt
  expect_value "$kit_key" CorvidHome 'C:\Program Files\Corvid\cdk3.6.0_09\'
  msiexec_expect 0 /x "$kit_code" /qn
  expect_no_files "$home" "${kit_files[@]}" lib/src.txt
}

case_languages() {
  local language
  for language in 1041 2052; do
    msiexec_expect 0 /i "$kit_msi" "TRANSFORMS=:$language" /qn ADDLOCAL=PubliccreFeature,ToolsFeature WRAPPER=1
    expect_value "$kit_key" InstallLanguage "$language"
    expect_value "$uninstall_key\\$kit_code" Language "$(printf '0x%x' "$language")"

    local home='C:\Program Files\Corvid\cdk3.6.0_09'
    msiexec_expect 0 /i "$home\\cre.msi" "TRANSFORMS=$home\\cre$language.MST" /qn ADDLOCAL=ALL SDKSILENT=1
    expect_value "$public_key" InstallLanguage "$language"
    msiexec_expect 0 /x "$cre_code" /qn
    msiexec_expect 0 /x "$kit_code" /qn
    expect_no_key "$kit_key"
  done
}

case_updater() {
  local update_dir log
  update_dir=$(drive_c "Program Files/Common Files/Corvid/Corvid Update")
  msiexec_expect 0 /i "$(winpath "$payload/au.msi")" DISABLE=1 ALLUSERS=1 /qn
  expect_files "$update_dir" caureg.exe
  # The updater's values live in the 32-bit view, also for the 64-bit package.
  expect_value "$au_key" AUVersion 5.6.09.11 32
  expect_value "$au_key" InstallOptions DISABLE=1 32
  expect_no_key "$au_key" 64
  expect_key "$uninstall_key\\$au_code"

  # The registration program as the launcher runs it, and as a test makes it fail.
  local caureg='C:\Program Files\Common Files\Corvid\Corvid Update\caureg.exe' status
  log="$work/caureg.log"
  rm -f "$log"
  status=0
  CDK_CAUREG_LOG=$(winpath "$log") wine "$caureg" -r cre 3.6.0_09-b11 || status=$?
  [ "$status" -eq 0 ] || fail "caureg -r cre 3.6.0_09-b11 exited with $status"
  [ "$(tr -d '\r' <"$log" 2>/dev/null)" = "-r cre 3.6.0_09-b11" ] || fail "caureg log: $(cat "$log" 2>/dev/null)"
  status=0
  CDK_CAUREG_EXIT_CODE=7 wine "$caureg" -r cre 3.6.0_09-b11 || status=$?
  [ "$status" -eq 7 ] || fail "caureg with CDK_CAUREG_EXIT_CODE=7 exited with $status"
  status=0
  wine "$caureg" -r jre 2>/dev/null || status=$?
  [ "$status" -eq 2 ] || fail "caureg with bad arguments exited with $status, expected 2"

  msiexec_expect 0 /x "$au_code" /qn
  expect_no_files "$update_dir" caureg.exe
  expect_no_key "$au_key" 32

  # Without DISABLE, as with auto-update enabled.
  msiexec_expect 0 /i "$(winpath "$payload/au.msi")" ALLUSERS=1 /qn
  expect_value "$au_key" InstallOptions DISABLE= 32
  msiexec_expect 0 /x "$au_code" /qn
}

case "$case" in
  kit) case_kit ;;
  languages) case_languages ;;
  updater) case_updater ;;
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
