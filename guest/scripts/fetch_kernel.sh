#!/bin/bash
# Unpacks Debian's kernel image package for the given release into a folder
# (never installs it), for booting under QEMU. Does nothing when the image is
# there already.
#
# usage: fetch_kernel.sh <kernel release, e.g. 6.1.0-57-amd64> <folder>
# Exits 1 with a message when the package cannot be had.
set -u
release=${1:?kernel release}
dest=${2:?folder}
image=$dest/boot/vmlinuz-$release
[ -f "$image" ] && exit 0
command -v apt-get >/dev/null && command -v dpkg-deb >/dev/null || {
    echo "apt-get or dpkg-deb is missing: cannot fetch the kernel image for $release"
    exit 1
}
mkdir -p "$dest/deb" || exit 1
cd "$dest/deb" || exit 1
rm -f ./*.deb
for pkg in "linux-image-$release-unsigned" "linux-image-$release"; do
    if apt-get download "$pkg" >download.log 2>&1; then
        break
    fi
done
deb=$(ls ./*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
    cat download.log
    echo "the kernel image package for $release cannot be downloaded"
    exit 1
fi
dpkg-deb -x "$deb" "$dest" || exit 1
# Only the image is booted; the modules tree (hundreds of MB) is not needed.
rm -rf "$deb" "$dest/lib" "$dest/usr"
[ -f "$image" ] || { echo "$deb holds no $image"; exit 1; }
echo "kernel image: $image"
