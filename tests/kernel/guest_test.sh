#!/usr/bin/env bash
# The pass-through back end on a real kernel: Debian's kernel boots in QEMU from an
# initramfs that holds busybox, melvaro-cli and the time-out probe; emulated IDE and
# virtio-SCSI CD/DVD drives hold ISO images made by genisoimage and xorriso, one tray is
# empty. The guest runs guest_init.sh and prints every result on the serial console;
# this script checks them against the source files.
# Usage: guest_test.sh BIN_DIR TESTBIN_DIR
# Exit status 77 (skipped) only where QEMU, the kernel or busybox-static are missing.
set -uo pipefail
bin=$1
testbin=$2
here=$(cd "$(dirname "$0")" && pwd)
skip() {
  echo "SKIP: $*"
  exit 77
}
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
failures=0

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed"
busybox=$(command -v busybox) || skip "busybox is not installed (busybox-static)"
kernel="" modules=""
for image in $(ls -v /boot/vmlinuz-* 2>/dev/null | tac); do
  version=${image#/boot/vmlinuz-}
  if [ -r "$image" ] && [ -f "/lib/modules/$version/modules.dep" ]; then
    kernel=$image
    modules=/lib/modules/$version
    break
  fi
done
[ -n "$kernel" ] || skip "no readable kernel with its modules under /boot (linux-image-amd64)"
for tool in genisoimage xorriso cpio; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d /tmp/melvaro-kernel-XXXXXX)
trap 'rm -rf "$work"' EXIT

# The discs' contents.
src=$work/src
mkdir -p "$src/one/Photos/2026" "$src/one/a/b/c" "$src/two/Added" "$src/plain/DATA"
printf 'first session\n' >"$src/one/readme.txt"
head -c 300000 /dev/urandom >"$src/one/Photos/2026/picture.jpg"  # five 31-block reads
head -c 70000 /dev/urandom >"$src/one/a/b/c/deep.bin"
printf 'a long name\n' >"$src/one/Long name with spaces.txt"
printf 'second session\n' >"$src/two/second.txt"
head -c 100000 /dev/urandom >"$src/two/Added/more.bin"
printf 'iso only\n' >"$src/plain/README.TXT"
head -c 140000 /dev/urandom >"$src/plain/DATA/BIG.BIN"
img=$work/images
mkdir -p "$img"
genisoimage -quiet -J -R -V SINGLE -o "$img/single.iso" "$src/one" || fail "genisoimage"
genisoimage -quiet -V PLAIN -o "$img/plain.iso" "$src/plain" || fail "genisoimage"
xorriso -report_about SORRY -outdev "$img/multi.iso" -joliet on -volid FIRST \
  -map "$src/one" /one -commit >/dev/null 2>&1 || fail "xorriso: first session"
xorriso -report_about SORRY -dev "$img/multi.iso" -joliet on -volid SECOND \
  -map "$src/two" /two -commit >/dev/null 2>&1 || fail "xorriso: second session"
sessions=$(xorriso -indev "$img/multi.iso" -toc 2>&1 | grep -c '^ISO session')
[ "$sessions" = 2 ] || fail "xorriso made $sessions sessions, not 2"
# A DVD-ROM: the single-session image at the start of a sparse image of DVD size.
cp --sparse=always "$img/single.iso" "$img/dvd.img"
truncate -s 4700372992 "$img/dvd.img"

# What each disc holds: disc path (the engine's "\" form) and source file.
manifest() {
  local root=$1 prefix=$2
  (cd "$root" && find . -type f | sort) | while IFS= read -r f; do
    f=${f#./}
    printf '%s\t%s\n' "$prefix\\${f//\//\\}" "$root/$f"
  done
}
{
  manifest "$src/one" ""
} >"$work/single.files"
cp "$work/single.files" "$work/dvd.files"
{
  manifest "$src/one" "\\one"
  manifest "$src/two" "\\two"
} >"$work/multi.files"
manifest "$src/plain" "" >"$work/plain.files"

# Drives: the product names the guest finds them by, the image each holds.
drives=(IDE-SINGLE:single IDE-MULTI:multi IDE-PLAIN:plain IDE-EMPTY:
  SCSI-SINGLE:single SCSI-MULTI:multi SCSI-PLAIN:plain SCSI-DVD:dvd SCSI-EMPTY:)
qemu_drives=(-device virtio-scsi-pci,id=vs)
ide=0 target=0
for d in "${drives[@]}"; do
  name=${d%%:*} disc=${d#*:}
  file=""
  case $disc in
    dvd) file=",file=$img/dvd.img,format=raw,readonly=on" ;;
    ?*) file=",file=$img/$disc.iso,format=raw,readonly=on" ;;
  esac
  qemu_drives+=(-drive "if=none,id=$name,media=cdrom$file")
  if [[ $name == IDE-* ]]; then
    qemu_drives+=(-device "ide-cd,drive=$name,bus=ide.$((ide / 2)),unit=$((ide % 2)),model=$name")
    ide=$((ide + 1))
  else
    qemu_drives+=(-device "scsi-cd,drive=$name,bus=vs.0,scsi-id=$target,lun=0,vendor=MELVARO,product=$name")
    target=$((target + 1))
  fi
done

# The initramfs: busybox, the two programs with the libraries they link, the drive
# modules in the order they load, the scenario and its lists.
root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,lib/modules,scenario}
for program in "$busybox" "$bin/melvaro-cli" "$testbin/melvaro-kernel-probe"; do
  objcopy --strip-debug "$program" "$root/bin/$(basename "$program")" ||
    cp "$program" "$root/bin/"
  # A static busybox names no libraries.
  for lib in $(ldd "$program" 2>/dev/null | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$lib")"
    cp -L "$lib" "$root$lib"
  done
done
declare -A loaded=()
order=()
load() {
  local path
  path=$(grep -m1 -E "(^|/)$1\.ko(\.[a-z]+)?:" "$modules/modules.dep" | cut -d: -f1)
  [ -n "$path" ] || return 0  # built into the kernel
  [ -n "${loaded[$path]:-}" ] && return 0
  loaded[$path]=1
  local dep
  for dep in $(grep -m1 "^$path:" "$modules/modules.dep" | cut -d: -f2); do
    dep=$(basename "$dep")
    load "${dep%%.ko*}"
  done
  order+=("$path")
}
for m in sr_mod sg ata_piix virtio_pci virtio_scsi; do load "$m"; done
for path in "${order[@]}"; do
  case $path in
    *.ko) cp "$modules/$path" "$root/lib/modules/" ;;
    *.ko.xz) xz -dc "$modules/$path" >"$root/lib/modules/$(basename "${path%.xz}")" ;;
    *.ko.zst) zstd -qdc "$modules/$path" >"$root/lib/modules/$(basename "${path%.zst}")" ;;
    *) fail "cannot unpack module $path" ;;
  esac
  m=$(basename "$path")
  echo "${m%%.ko*}.ko" >>"$root/lib/modules/order"
done
cp "$here/guest_init.sh" "$root/init"
chmod +x "$root/init"
cat >"$root/etc/passwd" <<'EOF'
root:x:0:0:root:/tmp:/bin/sh
outsider:x:1000:1000:not in group cdrom:/tmp:/bin/sh
burner:x:1001:1001:in group cdrom:/tmp:/bin/sh
EOF
cat >"$root/etc/group" <<'EOF'
root:x:0:
cdrom:x:24:burner
outsider:x:1000:
burner:x:1001:
EOF
ide=0
for d in "${drives[@]}"; do
  name=${d%%:*} disc=${d#*:}
  if [[ $name == IDE-* ]]; then
    locator=ata:$((ide / 2 + 1)):$((ide % 2))
    ide=$((ide + 1))
  else
    locator=product:$name
  fi
  echo "$name ${disc:--} $locator" >>"$root/scenario/drives"
  [ -n "$disc" ] && cut -f1 "$work/$disc.files" >"$root/scenario/$disc.files"
done
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initramfs.cpio" || fail "cpio"

# The guest: KVM where it can run, software emulation otherwise.
accel=(-accel tcg)
[ -r /dev/kvm ] && [ -w /dev/kvm ] && accel=(-accel kvm -accel tcg)
log=$work/serial.log
timeout 900 "$qemu" "${accel[@]}" -machine pc -smp 1 -m 768 -display none -monitor none \
  -serial "file:$log" -no-reboot -kernel "$kernel" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0 panic=-1 quiet loglevel=4" "${qemu_drives[@]}" </dev/null
status=$?
tr -d '\r' <"$log" >"$work/console.log"
if [ -n "${MELVARO_KERNEL_LOG:-}" ]; then cp "$work/console.log" "$MELVARO_KERNEL_LOG"; fi
[ "$status" = 0 ] || fail "qemu exited with status $status"
grep -q '^@@@ SCENARIO DONE' "$work/console.log" || {
  tail -n 60 "$work/console.log"
  echo "FAIL: the guest did not finish its scenario" >&2
  exit 1
}

# The guest's sections: "@@@ BEGIN ID" ... "@@@ END ID STATUS".
out=$work/out
mkdir -p "$out"
awk -v dir="$out" '
  /^@@@ BEGIN / { id = $3; file = dir "/" id ".txt"; printf "" > file; next }
  /^@@@ END / { print $4 > (dir "/" $3 ".rc"); close(dir "/" $3 ".rc"); close(file); id = ""; next }
  id != "" { print >> file }
' "$work/console.log"
section() { cat "$out/$1.txt" 2>/dev/null; }
rc() { cat "$out/$1.rc" 2>/dev/null || echo missing; }
# expect ID STATUS TEXT: the section exited with STATUS and its output holds TEXT.
expect() {
  local id=$1 want=$2 text=$3
  if [ "$(rc "$id")" != "$want" ]; then
    section "$id" | head -n 40
    fail "$id exited $(rc "$id"), expected $want"
  elif ! section "$id" | grep -qF -- "$text"; then
    section "$id" | head -n 40
    fail "$id did not say '$text'"
  fi
}

# Every drive is listed once, at its node's letter, by the root user: the IDE drives on
# the two ATA ports' hosts, the SCSI drives on the virtio host at their targets.
[ "$(section devices | grep -c ',[C-Z]: ')" = "${#drives[@]}" ] || fail "devices lists other drives"
while read -r name node; do
  letter=$(printf "\\$(printf %o $((67 + ${node#/dev/sr})))")
  entry=$(section devices | grep ",$letter: ")
  case $name in
    IDE-*) [[ $entry == ?:?:0,$letter:\ "QEMU    QEMU DVD-ROM    "* ]] ;;
    SCSI-*) [[ $entry == ?:?:0,$letter:\ "MELVARO $(printf '%-16s' "$name")"* ]] ;;
  esac || fail "$name at $node is listed as '$entry'"
done < <(section nodes)

for d in "${drives[@]}"; do
  name=${d%%:*} disc=${d#*:}
  [ -n "$disc" ] || continue
  case $disc in
    dvd) expect "info.$name" 0 "medium: DVD-ROM" ;;
    *) expect "info.$name" 0 "medium: CD-ROM" ;;
  esac
  expect "info.$name" 0 "sessions: 1"
  expect "info.$name" 0 "session 1: start 0"
  expect "info.$name" 0 "identity: "
  expect "info.$name" 0 "reads: CD-R CD-RW DVD-ROM"
  # ls: every file with its size, and the answer the session's start came from.
  expect "ls.$name" 0 "SESSION 1 STARTS AT BLOCK 0 FROM"
  while IFS=$'\t' read -r path file; do
    size=$(stat -c %s "$file")
    line=$(section "ls.$name" | grep -F -- " $path" | grep -v '\\$' | head -n 1)
    [ -n "$line" ] || {
      fail "ls on $name does not list $path"
      continue
    }
    [ "$(echo "$line" | awk '{print $1}')" = "$size" ] || fail "ls on $name: $line (size $size)"
  done <"$work/$disc.files"
  # extract: the same bytes as the source.
  i=0
  while IFS=$'\t' read -r path file; do
    i=$((i + 1))
    expect "extract.$name.$i" 0 "bytes"
    want=$(md5sum <"$file" | cut -d' ' -f1)
    got=$(section "md5.$name.$i" | awk '{print $1}')
    [ "$got" = "$want" ] || fail "extract $path from $name: md5 $got, source $want"
  done <"$work/$disc.files"
done
# The Joliet-less disc lists ISO 9660 names without versions.
expect ls.IDE-PLAIN 0 '\DATA\BIG.BIN'
if section ls.SCSI-PLAIN | grep -q ';1'; then fail "ISO names keep their version"; fi

# No medium: a clear message and the documented exit status.
for name in IDE-EMPTY SCSI-EMPTY; do
  expect "info.$name" 2 "no medium in drive"
  expect "ls.$name" 2 "no medium in drive"
done
# Eject and load again.
expect eject.open 0 "ejected"
expect eject.after 2 "no medium in drive"
expect eject.load 0 "loaded"
expect eject.again 0 '\readme.txt'

# A user outside the group that owns the nodes is told why no drive is listed.
expect outsider.devices 2 "permission denied"
expect outsider.devices 2 "group cdrom"
expect outsider.ls 2 "permission denied"
# A member of the group on a node that opens for reading only: reading works, a writing
# job says why it cannot run.
node=$(section nodes | awk '$1 == "IDE-SINGLE" {print $2}')
expect burner.devices 0 ",$(printf "\\$(printf %o $((67 + ${node#/dev/sr})))"): QEMU"
expect burner.devices 0 "$node opens for reading only"
expect burner.devices 0 "reading only"
expect burner.ls 0 '\readme.txt'
expect burner.erase 2 "reading only"

# The time-out each command asks for is the one the kernel gets (120 s at least).
expect probe 0 "asked"
if ! section probe | grep -q '^kernel '; then
  section probe | head -n 40
  fail "the probe saw no SG_IO call in the kernel"
fi
while read -r _ op ms _; do
  want=$((ms > 120000 ? ms : 120000))
  section probe | grep -q "^kernel op=$op timeout=$want\$" ||
    fail "opcode $op asked $ms ms; the kernel got $(section probe | grep "^kernel op=$op " | head -n 1)"
done < <(section probe | grep '^asked ')

if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed; the guest's console:" >&2
  tail -n 40 "$work/console.log" >&2
  exit 1
fi
echo "all checks passed"
