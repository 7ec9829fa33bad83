#!/bin/bash
# Builds hgpipe.ko with kbuild against the installed kernel headers, with the
# kernel's extra warnings (W=1) and sparse, and checks its metadata with modinfo. The sources are copied into the work folder first,
# so kbuild's objects never land in the source tree.
#
# usage: kbuild_check.sh <module source folder> <work folder>
# HGP_KDIR=<kernel build folder> picks the headers; otherwise the newest
# installed /usr/src/linux-headers-*-amd64 or /lib/modules/*/build is used.
# Exits 77 (skipped) when no headers or tools are installed.
set -u

SKIP=77
src=${1:?module source folder}
work=${2:?work folder}

skip() {
    echo "SKIPPED: $*"
    exit $SKIP
}
fail() {
    echo "FAIL: $*"
    exit 1
}

kdir=${HGP_KDIR:-}
if [ -z "$kdir" ]; then
    for cand in $(ls -d /usr/src/linux-headers-*-amd64 /lib/modules/*/build 2>/dev/null | sort -V -r); do
        if [ -f "$cand/Makefile" ]; then
            kdir=$cand
            break
        fi
    done
fi
[ -n "$kdir" ] || skip "no kernel headers installed (install the linux-headers-amd64 package); module not built"
[ -f "$kdir/Makefile" ] || skip "$kdir holds no kernel build Makefile; module not built"
command -v make >/dev/null || skip "make is not installed; module not built"
command -v modinfo >/dev/null || skip "modinfo is not installed (install the kmod package); module not checked"

echo "kernel headers: $kdir"
rm -rf "$work"
mkdir -p "$work" || fail "cannot create $work"
cp "$src"/Kbuild "$src"/*.c "$src"/*.h "$work"/ || fail "cannot copy the module sources"

# W=1 adds the kernel's extra warnings; sparse (C=2: every file) checks address spaces and endianness.
checker=()
if command -v sparse >/dev/null; then
    checker=(C=2 CHECK=sparse)
    echo "sparse: $(command -v sparse)"
else
    echo "NOTE: sparse is not installed (package sparse); the module is built without it"
fi
if ! make -C "$kdir" M="$work" W=1 "${checker[@]}" KCFLAGS=-Werror modules >"$work/build.log" 2>&1; then
    cat "$work/build.log"
    fail "kbuild could not build hgpipe.ko"
fi
if grep -E "(warning|error):" "$work/build.log" | grep -v "Skipping BTF"; then
    fail "the module build is not warning-free (W=1, sparse)"
fi
ko=$work/hgpipe.ko
[ -f "$ko" ] || fail "kbuild reported success but made no hgpipe.ko"

failed=0
check() {
    local field=$1 want=$2 got
    got=$(modinfo -F "$field" "$ko")
    if [ "$got" = "$want" ]; then
        echo "ok   $field: $got"
    else
        echo "FAIL $field: got '$got', want '$want'"
        failed=1
    fi
}
check license "GPL"
check description "hgpipe for Orvanta"
check alias "pci:v00000404d00000604sv*sd*bc*sc*i*"
check name "hgpipe"

release=$(sed -n 's/^#define UTS_RELEASE "\(.*\)"$/\1/p' "$kdir/include/generated/utsrelease.h" 2>/dev/null)
vermagic=$(modinfo -F vermagic "$ko")
if [ -n "$release" ] && [ "${vermagic%% *}" != "$release" ]; then
    echo "FAIL vermagic: '$vermagic' does not name $release"
    failed=1
else
    echo "ok   vermagic: $vermagic"
fi

[ $failed -eq 0 ] || fail "hgpipe.ko metadata"
echo "PASS: hgpipe.ko built against $kdir"
