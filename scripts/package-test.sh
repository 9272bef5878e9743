#!/usr/bin/env bash
# Proves the Debian packages on a real Debian 12 system with a real kernel HID
# stack: builds the five packages (scripts/debian-packages.sh), boots Debian
# 12 with systemd and udev in qemu, and there (scripts/package-test-guest.sh)
# makes a reader through /dev/uhid, installs the packages with apt from a
# local folder (the reader's node goes to the group kestro at once), uses it
# with the kestro command as a member of kestro, checks that a member of
# plugdev only and a user in neither group cannot open it, runs the
# packages' autopkgtests (debian/tests), and removes the packages again.
# Fails when any check in the guest fails or the guest does not finish.
#   scripts/package-test.sh [build-dir]     (default build-plain)
# KESTRO_PACKAGES=folder takes the packages from that folder instead of
# building them.
#
# The guest's root file system is Debian's packages, made by mmdebstrap from
# this machine's own package sources (its apt configuration): systemd, udev, the kernel, and what the packages depend
# on (read from the built packages, so that the guest needs no network). It
# is cached in $KESTRO_VM_CACHE (default package-test in the cache folder of
# scripts/lib/cache.sh: /var/cache/kestro for root), one per set of packages,
# with checksums written when it was made and checked before each use; as
# root the folder must be one only root can change. It is booted as the kernel's initial RAM file system
# together with a small second archive that carries this run's packages and
# checks. The kernel is the one from that file system.
set -euo pipefail
name=package-test
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
script_args 1 "$@"
# shellcheck source=lib/cache.sh
. "$(dirname "$0")/lib/cache.sh"
cd "$(dirname "$0")/.."
build=${1:-build-plain}
cache=${KESTRO_VM_CACHE:-$(cache_dir)/package-test}
mkdir -p "$cache"
[ "$(id -u)" -ne 0 ] || cache_trusted "$cache"
started=$(date +%s)
elapsed() { echo "$(($(date +%s) - started)) s"; }

# --- The packages, and the fake reader (static: it runs in the guest as it is).
if [ -n "${KESTRO_PACKAGES:-}" ]; then
    debs=$KESTRO_PACKAGES
else
    debs=build-debian/packages
    bash scripts/debian-packages.sh "$debs"
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    configure "$build" Debug
fi
cmake --build "$build" -j "$jobs" --target kestro_uhid_device_static
reader="$build/platform/hidraw/tests/uhid/kestro_uhid_device_static"
say "packages and fake reader built ($(elapsed))"

# --- The root file system, cached per set of packages.
debs_list=$(ls "$debs"/*.deb | grep -v -- '-dbgsym_')
ours=$(for d in $debs_list; do dpkg-deb -f "$d" Package; done | sort -u)
needed=$(for d in $debs_list; do dpkg-deb -f "$d" Depends; done |
    tr ',' '\n' | sed -e 's/|.*//' -e 's/(.*)//' -e 's/:any//' -e 's/[[:space:]]//g' |
    grep -v -x -F -e '' $(printf -- '-e %s ' $ours) | sort -u)
# systemd as init, udev, kmod for udev's module loading, the kernel, and
# runuser and useradd (util-linux and passwd are part of every system).
system=(systemd systemd-sysv udev kmod linux-image-amd64)
mapfile -t mirrors < <(apt_sources bookworm)
[ "${#mirrors[@]}" -gt 0 ] || fail "this machine's apt configuration has no source for bookworm"
# Left out of the guest: what only draws on a screen (Mesa's drivers and
# LLVM; the window is not opened there). Of the kernel's modules the guest
# keeps the HID drivers.
excludes=(/usr/lib/x86_64-linux-gnu/libLLVM* /usr/lib/x86_64-linux-gnu/libz3*
    /usr/lib/x86_64-linux-gnu/dri/* /lib/modules/*/kernel/*)
includes=(/lib/modules/*/kernel/drivers/hid/*)
key=$(printf '%s\n' 1 "${system[@]}" $needed "${mirrors[@]}" "${excludes[@]}" "${includes[@]}" |
    sha256sum | cut -c 1-16)
rootfs=$cache/rootfs-$key
if ! checksum_check "$rootfs/root.cpio" || ! checksum_check "$rootfs/vmlinuz"; then
    command -v mmdebstrap >/dev/null || { say "mmdebstrap is missing (scripts/setup.sh installs it)"; exit 1; }
    say "making the root file system $rootfs (once per set of packages; minutes)"
    rm -rf "$rootfs"
    mkdir -p "$rootfs"
    opts=()
    for p in "${excludes[@]}"; do opts+=(--dpkgopt="path-exclude=$p"); done
    for p in "${includes[@]}"; do opts+=(--dpkgopt="path-include=$p"); done
    list=$(printf '%s,' "${system[@]}" $needed)
    if ! mmdebstrap --variant=minbase --include="${list%,}" "${opts[@]}" \
        bookworm "$rootfs/tree" "${mirrors[@]}" >"$rootfs/mmdebstrap.log" 2>&1; then
        tail -n 30 "$rootfs/mmdebstrap.log"
        say "FAILED: mmdebstrap (whole log: $rootfs/mmdebstrap.log)"
        exit 1
    fi
    # The packages installed in the guest later get every file again.
    # The kernel boots without an initial RAM disk: the file system is one.
    rm -f "$rootfs"/tree/etc/dpkg/dpkg.cfg.d/99mmdebstrap "$rootfs"/tree/boot/initrd.img-*
    rm -rf "$rootfs"/tree/var/cache/apt/*.bin "$rootfs"/tree/var/lib/apt/lists/*
    cp "$rootfs"/tree/boot/vmlinuz-* "$rootfs/vmlinuz.part"
    (cd "$rootfs/tree" && find . | cpio -o -H newc --quiet) >"$rootfs/root.cpio.part"
    rm -rf "$rootfs/tree"
    mv "$rootfs/vmlinuz.part" "$rootfs/vmlinuz"
    mv "$rootfs/root.cpio.part" "$rootfs/root.cpio"
    checksum_write "$rootfs/vmlinuz"
    checksum_write "$rootfs/root.cpio"
    say "root file system ready: $(du -sh "$rootfs/root.cpio" | cut -f1) ($(elapsed))"
fi

# --- This run's archive: the packages, the fake reader, the checks, and
# systemd's entry point (a target with the basic system, udev, and the checks).
run=$build/package-test
rm -rf "$run"
mkdir -p "$run/extra/srv/proof/debs" "$run/extra/etc/systemd/system"
cp $debs_list "$run/extra/srv/proof/debs/"
(cd "$run/extra/srv/proof/debs" && dpkg-scanpackages --multiversion . >Packages 2>/dev/null)
cp "$reader" "$run/extra/srv/proof/kestro_uhid_device"
cp scripts/package-test-guest.sh "$run/extra/srv/proof/checks.sh"
cp -r debian/tests "$run/extra/srv/proof/tests"
ln -s lib/systemd/systemd "$run/extra/init"
echo package-test >"$run/extra/etc/hostname"
cat >"$run/extra/etc/systemd/system/package-test.target" <<'UNIT'
[Unit]
Description=The package checks on the basic system
Requires=basic.target package-test.service
After=basic.target
AllowIsolate=yes
UNIT
cat >"$run/extra/etc/systemd/system/package-test.service" <<'UNIT'
[Unit]
Description=The package checks
After=basic.target systemd-udevd.service systemd-udev-trigger.service
[Service]
Type=oneshot
ExecStart=/srv/proof/checks.sh
StandardOutput=tty
StandardError=tty
TTYPath=/dev/ttyS0
# Should the checks end without reporting (a fault in them), qemu still ends.
ExecStopPost=/bin/sh -c 'printf "\\003" | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null'
UNIT
(cd "$run/extra" && find . | cpio -o -H newc --quiet) >"$run/extra.cpio"
cat "$rootfs/root.cpio" "$run/extra.cpio" >"$run/initrd"

# --- Boot: KVM when it works here, otherwise TCG (scripts/lib/qemu-boot.sh).
# shellcheck source=lib/qemu-boot.sh
. scripts/lib/qemu-boot.sh
log=$run/guest.log
checks_ran() { grep -q '^guest: \(passed\|[0-9]* of\)' "$log"; }
limit=900
QEMU_BOOT_WHAT="Debian 12"
qemu_boot package-test "$log" 180 "$limit" checks_ran -- -kernel "$rootfs/vmlinuz" \
    -initrd "$run/initrd" -m 2048 -append 'console=ttyS0 panic=-1 quiet systemd.unit=package-test.target'
rc=$QEMU_BOOT_STATUS
grep '^guest:' "$log" || true

fail() {
    say "FAILED: $* (wall time $(elapsed))"
    say "whole guest output: $log"
    exit 1
}
[ "$rc" -ne 124 ] || fail "the guest did not finish within $limit s under $QEMU_ACCEL"
checks_ran || fail "the guest's checks did not run (qemu status $rc)"
[ "$rc" -eq 1 ] || fail "checks failed in the guest (qemu status $rc)"
grep -q '^guest: passed' "$log" || fail "no passing summary from the guest"
say "passed under $QEMU_ACCEL (wall time $(elapsed))"
