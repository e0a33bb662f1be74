#!/bin/busybox sh
# The guest's init (guest_test.sh builds the initramfs around it): loads the drive
# modules, then runs melvaro-cli on every drive and prints each result between
# "@@@ BEGIN ID" and "@@@ END ID STATUS" on the serial console. It checks nothing
# itself; the host compares. It powers the guest off at the end.
/bin/busybox --install -s /bin
export PATH=/bin HOME=/tmp
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
chmod 1777 /tmp
for m in $(cat /lib/modules/order); do
  insmod "/lib/modules/$m" || echo "insmod $m failed"
done
echo 1 >/proc/sys/kernel/printk # kernel messages stay off the results

cli=/bin/melvaro-cli
wanted=$(wc -l </scenario/drives)
i=0
while [ "$(ls /dev/sr* 2>/dev/null | wc -l)" -lt "$wanted" ] && [ $i -lt 120 ]; do
  sleep 1
  i=$((i + 1))
done

# run ID COMMAND...: the command's standard output and error, and its exit status.
run() {
  local section=$1 status
  shift
  echo "@@@ BEGIN $section"
  "$@" >/tmp/run.out 2>&1
  status=$?
  cat /tmp/run.out
  [ -s /tmp/run.out ] && [ -n "$(tail -c 1 /tmp/run.out)" ] && echo
  echo "@@@ END $section $status"
}
# as USER COMMAND: runs the shell command as that user.
as() {
  local user=$1
  shift
  su -s /bin/sh -c "$*" "$user"
}

# The node of each drive: SCSI drives by their product name, IDE drives (which all
# answer "QEMU DVD-ROM") by the ATA port and device number in their sysfs path.
locate() {
  local d
  for d in /sys/block/sr*; do
    case $1 in
      product:*) [ "$(tr -d " " <"$d/device/model")" = "${1#product:}" ] || continue ;;
      ata:*)
        local port=${1#ata:}
        case "$(readlink -f "$d/device")" in
          */ata${port%:*}/host*/target*:*:${port#*:}/*) ;;
          *) continue ;;
        esac
        ;;
    esac
    echo "/dev/${d#/sys/block/}"
  done
}
while read -r name disc locator; do
  echo "$name $(locate "$locator")" >>/tmp/nodes
done </scenario/drives
run nodes cat /tmp/nodes
run devices $cli devices
$cli devices >/tmp/devices 2>/dev/null
node() {
  grep "^$1 " /tmp/nodes | cut -d' ' -f2
}
# The --drive argument of a drive: the H:T:L of the entry with the node's letter.
drive() {
  local n
  n=$(node "$1")
  n=${n#/dev/sr}
  [ -n "$n" ] || return
  grep ",$(printf "\\$(printf %o $((67 + n)))"): " /tmp/devices | cut -d, -f1
}

while read -r name disc locator; do
  id=$(drive "$name")
  [ -n "$id" ] || id=missing-$name
  run "info.$name" $cli --drive "$id" info
  run "ls.$name" $cli --debug --drive "$id" ls
  [ "$disc" != - ] || continue
  i=0
  while IFS= read -r path; do
    i=$((i + 1))
    run "extract.$name.$i" $cli --drive "$id" extract "$path" /tmp/extracted
    run "md5.$name.$i" md5sum /tmp/extracted
    rm -f /tmp/extracted
  done <"/scenario/$disc.files"
done </scenario/drives

# Eject, and load again.
id=$(drive SCSI-SINGLE)
run eject.open $cli --drive "$id" eject
run eject.after $cli --drive "$id" ls
run eject.load $cli --drive "$id" eject --load
run eject.again $cli --drive "$id" ls

# Users: "outsider" is not in group cdrom; "burner" is, and one node lets the group
# only read.
for n in /dev/sr*; do
  chown root:cdrom "$n"
  chmod 0660 "$n"
done
run outsider.devices as outsider "$cli devices"
run outsider.ls as outsider "$cli ls"
chmod 0640 "$(node IDE-SINGLE)"
id=$(drive IDE-SINGLE)
run burner.devices as burner "$cli devices"
run burner.ls as burner "$cli --drive $id ls"
run burner.erase as burner "$cli --debug --drive $id erase"
for n in /dev/sr*; do chmod 0660 "$n"; done

# The time-out of each command as the kernel receives it: a probe on the SG_IO ioctl
# of the SCSI layer reads the time-out and operation code from the caller's sg_io_hdr.
tracing=/sys/kernel/tracing
mount -t tracefs tracefs $tracing 2>/dev/null || mount -t debugfs debugfs /sys/kernel/debug
[ -d $tracing/events ] || tracing=/sys/kernel/debug/tracing
echo 'p:melvaro/sgio scsi_ioctl cmd=%dx:u32 timeout=+u40(%cx):u32 op=+u0(+u24(%cx)):x8' \
  >>$tracing/kprobe_events
echo 'cmd == 0x2285' >$tracing/events/melvaro/sgio/filter
echo 1 >$tracing/events/melvaro/sgio/enable
echo >$tracing/trace
/bin/melvaro-kernel-probe "$(drive SCSI-SINGLE)" >/tmp/probe.out 2>&1
probe=$?
/bin/melvaro-kernel-probe "$(drive IDE-SINGLE)" >>/tmp/probe.out 2>&1
[ $? = 0 ] || probe=1
echo 0 >$tracing/events/melvaro/sgio/enable
echo "@@@ BEGIN probe"
cat /tmp/probe.out
sed -n 's/.*timeout=\([0-9]*\) op=0x\([0-9a-f]*\).*/kernel op=\2 timeout=\1/p' $tracing/trace
cat $tracing/error_log 2>/dev/null
echo "@@@ END probe $probe"

run dmesg dmesg
echo "@@@ SCENARIO DONE"
sync
poweroff -f
