#!/bin/bash
# Boots Debian's own kernel (the release of the installed headers) under QEMU
# with software emulation and a busybox initramfs, loads hgpipe.ko into it,
# binds it to a secondary VGA device (its first region is RAM), plays the host
# from a guest program through that region, and checks the calls, the ioctl
# validation and its log lines, removal while a call is blocked, and a clean
# kernel log after unload (qemu/init, qemu/hgpipe_vm_check.c).
#
# usage: qemu_check.sh <guest folder> <work folder> <kernel image folder>
# Exits 77 (skipped), with the reason, only where QEMU, a static busybox, the
# kernel headers or the kernel image cannot be had.
set -u

SKIP=77
guest=${1:?guest folder}
work=${2:?work folder}
kroot=${3:?kernel image folder}

skip() {
    echo "SKIPPED: $*"
    exit $SKIP
}
fail() {
    echo "FAIL: $*"
    exit 1
}

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed (package qemu-system-x86)"
busybox=$(command -v busybox) || skip "busybox is not installed (package busybox-static)"
if ldd "$busybox" >/dev/null 2>&1; then
    skip "$busybox is linked dynamically (install busybox-static)"
fi
kdir=
for cand in $(ls -d /usr/src/linux-headers-*-amd64 2>/dev/null | sort -V -r); do
    if [ -f "$cand/Makefile" ]; then
        kdir=$cand
        break
    fi
done
[ -n "$kdir" ] || skip "no kernel headers installed (package linux-headers-amd64)"
release=${kdir##*/linux-headers-}
"$guest/scripts/fetch_kernel.sh" "$release" "$kroot" || skip "the kernel image for $release cannot be had"
vmlinuz=$kroot/boot/vmlinuz-$release
echo "kernel: $vmlinuz"

rm -rf "$work"
mkdir -p "$work/hgpipe" "$work/trap" "$work/root/bin" "$work/root/proc" "$work/root/sys" "$work/root/dev" ||
    fail "cannot create $work"
cp "$guest"/src/Kbuild "$guest"/src/*.c "$guest"/src/*.h "$work/hgpipe/" || fail "cannot copy the module"
cp "$guest"/qemu/Kbuild "$guest"/qemu/hgpipe_port_trap.c "$work/trap/" || fail "cannot copy the trap module"
for m in hgpipe trap; do
    if ! make -C "$kdir" M="$work/$m" modules >"$work/$m/build.log" 2>&1; then
        cat "$work/$m/build.log"
        fail "kbuild could not build the $m module"
    fi
done
if ! ${CC:-gcc} -static -O1 -g -Wall -Wextra -pthread -I"$guest/harness" -I"$guest/src" \
    "$guest/qemu/hgpipe_vm_check.c" "$guest/harness/simhost.c" -o "$work/root/hgpipe_vm_check" \
    >"$work/check_build.log" 2>&1; then
    cat "$work/check_build.log"
    fail "cannot build the guest check program (static glibc from libc6-dev is needed)"
fi
cp "$busybox" "$work/root/bin/busybox" &&
    cp "$guest/qemu/init" "$work/root/init" &&
    cp "$work/hgpipe/hgpipe.ko" "$work/trap/hgpipe_port_trap.ko" "$work/root/" || fail "cannot fill the initramfs"
chmod +x "$work/root/init"
(cd "$work/root" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1 >"$work/initrd.gz") ||
    fail "cannot pack the initramfs"

# A warning or an oops ends the run at once (panic, no reboot), so it cannot pass unseen.
console=$work/console.log
timeout 100 "$qemu" -accel tcg -m 256 -smp 4 -nographic -no-reboot -monitor none -serial stdio \
    -vga none -device secondary-vga -nic none \
    -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 quiet iomem=relaxed panic=-1 oops=panic panic_on_warn=1" \
    </dev/null >"$console" 2>&1
status=$?
grep "HGPQ" "$console"
if [ $status -eq 124 ]; then
    tail -40 "$console"
    fail "the virtual machine did not finish within 100 s"
fi
if grep -q "HGPQ FAIL" "$console" || ! grep -q "HGPQ RESULT PASS" "$console" || ! grep -q "HGPQ DONE" "$console"; then
    tail -60 "$console"
    fail "hgpipe under $release"
fi
echo "PASS: hgpipe under QEMU with $release"
