#!/usr/bin/env bash
# Builds the guest that runs the 32-bit Windows flavour: a Debian 12 (amd64) system with Debian's
# Wine for both word sizes and a ready Wine prefix, booted by qemu-system-x86_64 (see
# scripts/guest/run-batch.py). 32-bit Linux programs cannot run on the build machines' kernels,
# so 32-bit Wine runs in a full-system emulator instead.
#
#   build-image.sh            build when missing or out of date, else only check
#   build-image.sh --print    print the cache folder
#
# The result lives outside the repository and the build trees, in $CDK_GUEST_CACHE (default
# ~/.cache/cdk-guest): vmlinuz, initrd.img, disk.raw (ext4, 6 GB sparse, prefix at
# /opt/cdk/wineprefix) and stamp. The stamp holds a hash of this script and of init.sh; when
# either changes, the guest is built again. Steps run in $CACHE/work, each one remembered by a
# hash of its own definition, so a build that was interrupted goes on where it stopped.
# Needs root (debootstrap, chroot), debootstrap, qemu-system-x86 and qemu-utils
# (scripts/setup.sh installs them). Takes 4-15 minutes depending on the mirror and the load.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${CDK_GUEST_CACHE:-$HOME/.cache/cdk-guest}
if [ "${1:-}" = "--print" ]; then
  echo "$cache"
  exit 0
fi

log() { echo "build-image: $*" >&2; }
fail() {
  log "FAILED: $*"
  exit 1
}

stamp_now=$(cat "$here/build-image.sh" "$here/init.sh" | sha256sum | cut -d' ' -f1)
image_ready() {
  [ -f "$cache/stamp" ] && [ "$(cat "$cache/stamp")" = "$stamp_now" ] &&
    [ -f "$cache/disk.raw" ] && [ -f "$cache/vmlinuz" ] && [ -f "$cache/initrd.img" ]
}

if image_ready; then
  exit 0
fi

[ "$(id -u)" -eq 0 ] || fail "building the guest image needs root (debootstrap and chroot)"
for tool in debootstrap chroot mkfs.ext4 qemu-system-x86_64 qemu-img python3; do
  command -v "$tool" >/dev/null 2>&1 || PATH=$PATH:/usr/sbin:/sbin command -v "$tool" >/dev/null 2>&1 ||
    fail "$tool not found; run scripts/setup.sh"
done
export PATH=$PATH:/usr/sbin:/sbin

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
# Another build may have finished while this one waited for the lock.
if image_ready; then
  exit 0
fi

work=$cache/work
root=$work/root
mkdir -p "$work"

# The Debian mirror that the host's apt sources name (deb822 .sources or one-line .list).
debian_mirror() {
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }' | grep -v security | head -n1 || true)
  if [ -z "$uri" ]; then
    uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; break } }' |
      grep -v security | head -n1 || true)
  fi
  echo "${uri:-http://deb.debian.org/debian}"
}
mirror=$(debian_mirror)

unmount_root() {
  local m
  for m in dev/pts dev sys proc; do
    if mountpoint -q "$root/$m" 2>/dev/null; then umount -l "$root/$m" || true; fi
  done
}
trap unmount_root EXIT

# Debian with a kernel, its initramfs and Wine for amd64 and i386, nothing recommended.
step_rootfs() {
  rm -rf "$root"
  mkdir -p "$root"
  log "debootstrap bookworm from $mirror"
  debootstrap --variant=minbase --arch=amd64 bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 30 "$work/debootstrap.log" >&2; fail "debootstrap (log: $work/debootstrap.log)"; }
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  # No service starts inside the chroot.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod +x "$root/usr/sbin/policy-rc.d"
  local apt=(chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C
    apt-get -y -q -o APT::Install-Recommends=false -o APT::Install-Suggests=false)
  log "installing the kernel and Wine (log: $work/packages.log)"
  {
    chroot "$root" dpkg --add-architecture i386 &&
      "${apt[@]}" update &&
      "${apt[@]}" install linux-image-amd64 initramfs-tools kmod zstd &&
      # The i386 glib postinst cannot run 32-bit programs here ("Exec format error"); that
      # leaves a trigger unprocessed and is harmless for Wine.
      { "${apt[@]}" install wine wine32:i386 wine64 || "${apt[@]}" install wine wine32:i386 wine64; } &&
      "${apt[@]}" clean
  } >"$work/packages.log" 2>&1 ||
    { tail -n 30 "$work/packages.log" >&2; fail "installing packages in the chroot (log: $work/packages.log)"; }
  [ -x "$root/usr/lib/wine/wine" ] && [ -x "$root/usr/lib/wine/wine64" ] ||
    fail "the chroot has no 32-bit and 64-bit Wine (log: $work/packages.log)"
  unmount_root
  rm -rf "$root"/var/lib/apt/lists/* "$root"/usr/share/doc/* "$root"/usr/share/man/*
}

# The kernel and initramfs for qemu's -kernel/-initrd, the init program, the ext4 image.
step_disk() {
  local k i
  k=$(ls "$root"/boot/vmlinuz-* 2>/dev/null | sort -V | tail -n1)
  i=$(ls "$root"/boot/initrd.img-* 2>/dev/null | sort -V | tail -n1)
  [ -n "$k" ] && [ -n "$i" ] || fail "no kernel or initramfs in $root/boot"
  cp "$k" "$work/vmlinuz"
  cp "$i" "$work/initrd.img"
  install -m 0755 "$here/init.sh" "$root/sbin/cdk-init"
  mkdir -p "$root/opt/cdk"
  rm -f "$work/disk.raw"
  log "making the ext4 image"
  mkfs.ext4 -q -F -L cdk-guest -d "$root" "$work/disk.raw" 6G || fail "mkfs.ext4 -d"
}

# The Wine prefix, made once inside a booted guest (a 32-bit program cannot make it from the
# first `wine prog.exe`): wineboot -i, then wait for the wineserver to finish writing.
step_prefix() {
  local share=$work/prefix-share
  rm -rf "$share"
  mkdir -p "$share"
  cat >"$share/job.sh" <<'JOB'
set -x
export WINEPREFIX=/opt/cdk/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winedbg.exe=d"
rm -rf "$WINEPREFIX"
wine wineboot -i
wineserver -w
test -f "$WINEPREFIX/system.reg" && test -d "$WINEPREFIX/drive_c/windows/syswow64"
JOB
  log "booting the guest to create the Wine prefix (about 2-6 minutes)"
  python3 "$here/run-batch.py" --boot-only --writable --name "guest image prefix" \
    --image-dir "$work" --share "$share" --timeout 1500 ||
    fail "creating the Wine prefix in the guest (console: $share/console.log, job: $share/job.log)"
}

run_step() {
  local name=$1 hash
  hash=$( (declare -f "step_$name"; echo "$mirror") | sha256sum | cut -d' ' -f1)
  if [ -f "$work/$name.done" ] && [ "$(cat "$work/$name.done")" = "$hash" ]; then
    log "step $name: already done"
    return
  fi
  local start=$SECONDS
  "step_$name"
  echo "$hash" >"$work/$name.done"
  log "step $name: $((SECONDS - start)) s"
}

start=$SECONDS
run_step rootfs
# disk and prefix follow from the root folder; they are redone whenever the steps before are.
if [ "$(cat "$work/rootfs.done")" != "$(cat "$work/disk.for" 2>/dev/null)" ]; then rm -f "$work/disk.done" "$work/prefix.done"; fi
run_step disk
cp "$work/rootfs.done" "$work/disk.for"
if [ "$(cat "$work/disk.done")" != "$(cat "$work/prefix.for" 2>/dev/null)" ]; then rm -f "$work/prefix.done"; fi
run_step prefix
cp "$work/disk.done" "$work/prefix.for"

rm -f "$cache/stamp"
mv -f "$work/vmlinuz" "$work/initrd.img" "$work/disk.raw" "$cache/"
rm -f "$work/disk.done" "$work/prefix.done"
# The root folder stays for a later rebuild of the later steps only while the rootfs step is
# unchanged; it is 2 GB, so keep it only when asked.
if [ -z "${CDK_GUEST_KEEP_WORK:-}" ]; then rm -rf "$work"; fi
echo "$stamp_now" >"$cache/stamp"
log "guest image ready in $cache ($((SECONDS - start)) s)"
