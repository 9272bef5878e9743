# shellcheck shell=bash
# The guest of scripts/wine-hid.sh: Debian 12 for amd64 and i386 with
# systemd, udev, the kernel, Wine for both architectures and Xvfb, made by
# mmdebstrap from this machine's apt sources; two Wine prefixes made once in
# a chroot of that tree; packed as tar.zst with a sha256 file beside it.
# Sourced, not run, after lib/common.sh and lib/cache.sh.
#
#   wine_hid_root_archive DIR       prints the archive, making it when missing
#   wine_hid_restore ARCHIVE TREE   checks the checksum and unpacks into TREE
#   wine_hid_images WORK            WORK/root → root.img, vmlinuz, initramfs.gz;
#                                   WORK/disk → run.img

# Bumped whenever the recipe below changes what the archive holds.
WINE_HID_RECIPE=1
WINE_HID_PACKAGES=(systemd systemd-sysv udev kmod linux-image-amd64 busybox-static
    wine wine64 wine32:i386 libwine libwine:i386 xvfb)
# What the guest never uses, for both architectures: LLVM and the graphics
# drivers (Xvfb draws in memory), and all the kernel's modules but the disk,
# ext4 and HID ones (the includes). Documentation goes after the install:
# excluded, dpkg fails on the architecture-named changelogs of packages
# installed for both architectures.
WINE_HID_EXCLUDES=(/usr/lib/x86_64-linux-gnu/libLLVM* /usr/lib/i386-linux-gnu/libLLVM*
    /usr/lib/x86_64-linux-gnu/libz3* /usr/lib/i386-linux-gnu/libz3*
    /usr/lib/x86_64-linux-gnu/dri/* /usr/lib/i386-linux-gnu/dri/* /lib/modules/*/kernel/*)
WINE_HID_INCLUDES=(/lib/modules/*/kernel/drivers/hid/* /lib/modules/*/kernel/drivers/virtio/*
    /lib/modules/*/kernel/drivers/block/virtio_blk* /lib/modules/*/kernel/fs/ext4/*
    /lib/modules/*/kernel/fs/jbd2/* /lib/modules/*/kernel/fs/mbcache*
    /lib/modules/*/kernel/lib/crc16* /lib/modules/*/kernel/crypto/crc32c_generic*)
# The initramfs loads these, in this order, to mount the two disks.
WINE_HID_MODULES=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci
    virtio_blk crc16 mbcache jbd2 crc32c_generic ext4)

# The machine's own apt sources, given to mmdebstrap as files.
wine_hid_sources() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -s "$f" ] && grep -q '^[^#]' "$f" && echo "$f"
    done
    return 0
}

# Runs a shell command inside TREE (a chroot in its own mount and process
# namespace, so that every Wine process ends with it).
wine_hid_chroot() {  # tree, seconds, command
    local tree=$1 seconds=$2 command=$3
    timeout -k 5 "$seconds" unshare --mount --pid --fork --kill-child bash -c '
        set -e
        mount -t proc proc "$1/proc"
        mount --rbind /dev "$1/dev"
        mount -t tmpfs tmpfs "$1/tmp"
        exec chroot "$1" /usr/bin/env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
            LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" /bin/bash -c "$2"' \
        bash "$tree" "$command"
}

# Makes one prefix with the setting Wine 8 needs to present hidraw devices:
# winebus starts its udev bus only when its SDL bus is disabled (a missing
# SDL library does not count), so without it no reader is ever listed.
wine_hid_prefix() {  # tree, prefix, wine, wineserver, WINEARCH
    wine_hid_chroot "$1" 300 "
        export WINEPREFIX=$2 WINEARCH=$5 WINESERVER=$4
        $3 wineboot --init >/tmp/wineboot.log 2>&1 || { tail -n 20 /tmp/wineboot.log; exit 1; }
        $3 reg add 'HKLM\\System\\CurrentControlSet\\Services\\winebus' /v 'Enable SDL' \
            /t REG_DWORD /d 0 /f >/dev/null 2>&1
        $4 -w
        grep -q '\"Enable SDL\"=dword:00000000' $2/system.reg"
}

wine_hid_build_root() {  # archive
    local archive=$1 work opts=() p list sources
    work=$(mktemp -d "$(dirname "$archive")/build.XXXXXX")
    # shellcheck disable=SC2064  # the folder is this call's
    trap "rm -rf '$work'" EXIT
    for p in "${WINE_HID_EXCLUDES[@]}"; do opts+=(--dpkgopt="path-exclude=$p"); done
    for p in "${WINE_HID_INCLUDES[@]}"; do opts+=(--dpkgopt="path-include=$p"); done
    list=$(printf '%s,' "${WINE_HID_PACKAGES[@]}")
    mapfile -t sources < <(wine_hid_sources)
    [ "${#sources[@]}" -gt 0 ] || fail "this machine's apt configuration has no sources"
    say "making the guest's tree with mmdebstrap (once per recipe; minutes)"
    if ! mmdebstrap --variant=minbase --architectures=amd64,i386 --include="${list%,}" \
        "${opts[@]}" bookworm "$work/tree" "${sources[@]}" >"$work/mmdebstrap.log" 2>&1; then
        tail -n 30 "$work/mmdebstrap.log" >&2
        fail "mmdebstrap could not make the guest's tree"
    fi
    local tree=$work/tree
    rm -f "$tree"/etc/dpkg/dpkg.cfg.d/99mmdebstrap "$tree"/boot/initrd.img-*
    rm -rf "$tree"/var/cache/apt/*.bin "$tree"/var/lib/apt/lists/* "$tree"/usr/share/doc \
        "$tree"/usr/share/man "$tree"/usr/share/locale
    # Wine's Windows-side builtins carry debug sections that only make the
    # tree and the prefixes (copies of them) large; the builtin marker
    # survives stripping.
    find "$tree/usr/lib/x86_64-linux-gnu/wine/x86_64-windows" -type f -print0 |
        xargs -0 -n 64 x86_64-w64-mingw32-strip --strip-debug 2>/dev/null || true
    find "$tree/usr/lib/i386-linux-gnu/wine/i386-windows" -type f -print0 |
        xargs -0 -n 64 i686-w64-mingw32-strip --strip-debug 2>/dev/null || true
    say "making the 64-bit and the 32-bit Wine prefix in a chroot of the tree"
    wine_hid_prefix "$tree" /root/pfx64 /usr/lib/wine/wine64 /usr/lib/wine/wineserver64 win64 ||
        fail "Wine could not make the 64-bit prefix"
    wine_hid_prefix "$tree" /root/pfx32 /usr/lib/wine/wine /usr/lib/wine/wineserver32 win32 ||
        fail "Wine could not make the 32-bit prefix"
    rm -rf "$tree/tmp/"* "$tree/tmp/".[!.]* 2>/dev/null || true
    # The prefixes' DLLs are copies of the builtins: one file each.
    hardlink -q "$tree/usr/lib" "$tree/root" >/dev/null 2>&1 || true
    tar -C "$tree" --zstd -cf "$archive.part" .
    mv "$archive.part" "$archive"
    checksum_write "$archive"
    rm -rf "$work"
    trap - EXIT
}

wine_hid_root_archive() {  # cache
    local cache=$1 key archive
    key=$( (printf '%s\n' "$WINE_HID_RECIPE" "${WINE_HID_PACKAGES[@]}" "${WINE_HID_EXCLUDES[@]}" \
        "${WINE_HID_INCLUDES[@]}"; wine_hid_sources | xargs cat) | sha256sum | cut -c 1-16)
    archive=$cache/root-$key.tar.zst
    exec 8>"$cache/wine-hid.lock"
    flock 8
    if ! checksum_check "$archive"; then
        wine_hid_build_root "$archive" >&2
        say "guest cached: $archive ($(du -h "$archive" | cut -f1))" >&2
    fi
    exec 8>&-
    echo "$archive"
}

wine_hid_restore() {  # archive, tree
    checksum_check "$1" || fail "$1 does not match its checksum"
    rm -rf "$2"
    mkdir -p "$2"
    tar -C "$2" --zstd -xf "$1"
}

wine_hid_images() {  # work
    local work=$1 tree=$1/root m src loads=""
    cp "$tree"/boot/vmlinuz-* "$work/vmlinuz"
    local ird=$work/initramfs
    rm -rf "$ird"
    mkdir -p "$ird"/{bin,modules,proc,sys,dev,newroot}
    cp "$tree/bin/busybox" "$ird/bin/busybox"
    for m in "${WINE_HID_MODULES[@]}"; do
        src=$(find "$tree/lib/modules" -name "$m.ko*" | head -n 1)
        [ -n "$src" ] || continue  # built into the kernel
        case $src in
            *.xz) xz -dc "$src" ;;
            *.zst) zstd -qdc "$src" ;;
            *) cat "$src" ;;
        esac >"$ird/modules/$m.ko"
        loads="$loads $m"
    done
    cat >"$ird/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for m in$loads; do
    insmod /modules/\$m.ko 2>/dev/null
done
n=0
while { [ ! -b /dev/vda ] || [ ! -b /dev/vdb ]; } && [ \$n -lt 100 ]; do sleep 0.1; n=\$((n + 1)); done
mount -t ext4 /dev/vda /newroot || echo "guest: FAILED: cannot mount the root"
mkdir -p /newroot/srv/wine-hid
mount -t ext4 /dev/vdb /newroot/srv/wine-hid || echo "guest: FAILED: cannot mount the run's disk"
cp /newroot/srv/wine-hid/units/* /newroot/etc/systemd/system/
umount /proc /sys
mount --move /dev /newroot/dev
exec switch_root /newroot /lib/systemd/systemd
EOF
    chmod +x "$ird/init"
    (cd "$ird" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"
    local size
    size=$(du -sm "$tree" | cut -f1)
    truncate -s "$((size + size / 2 + 512))M" "$work/root.img"
    mke2fs -q -t ext4 -d "$tree" "$work/root.img" || fail "mke2fs could not make the root's disk"
    truncate -s 256M "$work/run.img"
    mke2fs -q -t ext4 -d "$work/disk" "$work/run.img" || fail "mke2fs could not make the run's disk"
}
