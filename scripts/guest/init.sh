#!/bin/sh
# PID 1 of the test guest (installed as /sbin/cdk-init in the image; the kernel is booted with
# init=/sbin/cdk-init). It mounts what Wine needs, mounts the host's shared folder (9p over
# virtio, tag hostshare) at /mnt/share, runs /mnt/share/job.sh with its output in job.log and
# its exit status in job.rc, then syncs and powers the machine off. The host reads the results
# from the shared folder; a missing job.rc tells it the job never finished.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
hostname cdk-guest
modprobe 9pnet_virtio
modprobe 9p
mkdir -p /mnt/share
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 hostshare /mnt/share; then
  echo "cdk-guest: job start"
  rc=0
  sh /mnt/share/job.sh >/mnt/share/job.log 2>&1 </dev/null || rc=$?
  echo "$rc" >/mnt/share/job.rc
  sync
  umount /mnt/share
  echo "cdk-guest: job end, status $rc"
else
  echo "cdk-guest: could not mount the shared folder (tag hostshare)"
fi
sync
# A read-only root before the power goes: the image that keeps the Wine prefix stays clean.
mount -o remount,ro / 2>/dev/null
echo o >/proc/sysrq-trigger
sleep 60
