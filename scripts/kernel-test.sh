#!/usr/bin/env bash
# Runs the kernel HID tests (platform/hidraw/tests/uhid) against a real
# Linux HID stack: Debian's kernel booted by qemu with a small initramfs holding
# busybox, the three HID modules and the statically linked test program and
# kestro command (which the tests run as root and as another user). The
# guest's result comes back through qemu's exit code; this fails when the
# guest's tests fail, are skipped, or do not run at all.
#   scripts/kernel-test.sh [build-dir]     (default build-plain)
# Needs qemu-system-x86, cpio and apt-get (scripts/setup.sh installs them).
# The kernel and busybox packages are downloaded, not installed, and kept
# under <build-dir>/kernel-test.
set -euo pipefail
name=kernel-test
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
script_args 1 "$@"
cd "$(dirname "$0")/.."
build=${1:-build-plain}
started=$(date +%s)

# --- The static test program.
if [ ! -f "$build/CMakeCache.txt" ]; then
    configure "$build" Debug
fi
cmake --build "$build" -j "$jobs" --target kestro_kernel_tests_static kestro-cli-static
program="$build/platform/hidraw/tests/uhid/kestro_kernel_tests_static"
command="$build/tools/kestro/kestro-cli-static"  # the kestro command, run by the tests

# --- Kernel and busybox from Debian's registry, cached.
cache="$build/kernel-test"
mkdir -p "$cache/debs"
cache=$(cd "$cache" && pwd)
kernel_pkg() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-6\.1\.[^ ]*-amd64\)$/\1/p' | head -n 1
}
download() {  # package: fetched into the cache unless there already
    local pkg=$1
    if ! ls "$cache/debs/${pkg}"_*.deb >/dev/null 2>&1; then
        if ! (cd "$cache/debs" && apt-get download -q "$pkg" >/dev/null); then
            say "package lists look stale; updating them"
            apt-get update -qq
            (cd "$cache/debs" && apt-get download -q "$pkg" >/dev/null)
        fi
    fi
    ls "$cache/debs/${pkg}"_*.deb | head -n 1
}
kpkg=$(kernel_pkg)
if [ -z "$kpkg" ]; then
    apt-get update -qq
    kpkg=$(kernel_pkg)
fi
[ -n "$kpkg" ] || { say "no linux-image-6.1.*-amd64 known to apt"; exit 1; }
kdir="$cache/$kpkg"
if [ ! -f "$kdir/vmlinuz" ]; then
    deb=$(download "$kpkg")
    rm -rf "$cache/unpack" "$kdir"
    dpkg -x "$deb" "$cache/unpack"
    mkdir -p "$kdir"
    cp "$cache"/unpack/boot/vmlinuz-* "$kdir/vmlinuz"
    # vmlinuz and the modules come from the same package: the modules'
    # version magic must match the kernel.
    for m in hid uhid hid-generic; do
        src=$(find "$cache/unpack/lib/modules" -path "*/kernel/drivers/hid/$m.ko*" | head -n 1)
        [ -n "$src" ] || { say "module $m missing from $kpkg"; exit 1; }
        case "$src" in
            *.xz) xz -dc "$src" >"$kdir/$m.ko" ;;
            *.zst) zstd -qdc "$src" >"$kdir/$m.ko" ;;
            *) cp "$src" "$kdir/$m.ko" ;;
        esac
    done
    rm -rf "$cache/unpack" "$deb"
fi
if [ ! -x "$cache/busybox" ]; then
    deb=$(download busybox-static)
    rm -rf "$cache/unpack"
    dpkg -x "$deb" "$cache/unpack"
    cp "$cache/unpack/bin/busybox" "$cache/busybox"
    rm -rf "$cache/unpack"
fi

# --- The initramfs: /init loads the modules, runs the tests and writes
# their exit code to the isa-debug-exit port.
root="$cache/initramfs"
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,modules}
cp "$cache/busybox" "$root/bin/busybox"
cp "$kdir"/{hid,uhid,hid-generic}.ko "$root/modules/"
cp "$program" "$root/kernel-tests"
cp "$command" "$root/kestro"
cat >"$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
for m in hid uhid hid-generic; do
    insmod /modules/$m.ko || echo "guest: insmod $m failed"
done
cd /tmp
KESTRO_COMMAND_PROGRAM=/kestro /kernel-tests --gtest_color=no
code=$?
echo "guest: tests exited with $code"
[ "$code" -gt 127 ] && code=127
printf "\\$(printf %03o "$code")" | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$cache/initramfs.gz"

# --- Boot: KVM when it works here, otherwise TCG (scripts/lib/qemu-boot.sh).
# Under KVM the guest needs a few seconds; one that has not run its tests in
# 60 s hangs, and boots again under TCG. Tests that ran and failed do not
# boot again.
# shellcheck source=lib/qemu-boot.sh
. scripts/lib/qemu-boot.sh
log="$cache/guest.log"
tests_ran() {
    grep -q '^\[==========\] [1-9][0-9]* tests\? from .* ran' "$log"
}
limit=240
QEMU_BOOT_WHAT=$kpkg
qemu_boot kernel-test "$log" 60 "$limit" tests_ran -- -kernel "$kdir/vmlinuz" \
    -initrd "$cache/initramfs.gz" -m 512 -append 'console=ttyS0 panic=-1 quiet'
rc=$QEMU_BOOT_STATUS
# The guest's console, without the firmware's banner and screen controls.
sed -e 's/\x1bc//g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$log" | grep -v '^SeaBIOS\|^Booting from\|^$' || true
elapsed=$(($(date +%s) - started))

fail() {
    say "FAILED: $* (wall time ${elapsed} s)"
    say "whole guest output: $log"
    exit 1
}
[ "$rc" -ne 124 ] || fail "the guest did not finish within $limit s under $QEMU_ACCEL"
tests_ran || fail "the guest's tests did not run under $QEMU_ACCEL (qemu status $rc)"
! grep -q '^\[  SKIPPED \]' "$log" || fail "tests were skipped in the guest"
[ "$rc" -eq 1 ] || fail "the guest's tests failed (qemu exit code $rc)"
grep -q '^\[  PASSED  \]' "$log" || fail "no passing summary from the guest"
say "passed under $QEMU_ACCEL (wall time ${elapsed} s)"
