# shellcheck shell=bash
# The virtual machine of scripts/wine32.sh, for kernels that run no 32-bit
# code: Debian's amd64 kernel (IA32 emulation on) under qemu boots an
# initramfs holding the i386 root's busybox and the disk and ext4 modules,
# mounts the root (an ext4 image made from the folder) and runs one job
# script in a chroot there. The job's output comes back on the serial
# console, its exit code through the isa-debug-exit port. Sourced, not run:
#
#   vm_job DIR SCRIPT SECONDS     runs SCRIPT in DIR/root; its exit code
#   vm_pull DIR PATH              copies PATH of the last job's disk back
#                                 into DIR/root (e.g. a new Wine prefix)

# Modules the guest loads, in this order: the virtio disk and ext4.
VM_MODULES=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_blk
    crc16 mbcache jbd2 crc32c_generic ext4)

# The kernel and its modules, from Debian's registry, kept in the cache.
vm_kernel() {  # cache; sets VM_KERNEL_DIR
    local cache=$1 pkg deb m src
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-6\.[0-9.]*-[0-9]*-amd64\)$/\1/p' | head -n 1)
    [ -n "$pkg" ] || fail "apt knows no linux-image-*-amd64 for the virtual machine"
    VM_KERNEL_DIR=$cache/wine32-vm/$pkg
    [ -f "$VM_KERNEL_DIR/vmlinuz" ] && return 0
    echo "wine32: downloading $pkg for the virtual machine"
    rm -rf "$cache/wine32-vm/unpack"
    mkdir -p "$cache/wine32-vm/unpack" "$VM_KERNEL_DIR.part/modules"
    (cd "$cache/wine32-vm" && apt-get download -q "$pkg" >/dev/null 2>&1) ||
        fail "could not download $pkg"
    deb=$(ls "$cache/wine32-vm/${pkg}"_*.deb | head -n 1)
    dpkg -x "$deb" "$cache/wine32-vm/unpack"
    cp "$cache"/wine32-vm/unpack/boot/vmlinuz-* "$VM_KERNEL_DIR.part/vmlinuz"
    for m in "${VM_MODULES[@]}"; do
        src=$(find "$cache/wine32-vm/unpack/lib/modules" -name "$m.ko*" | head -n 1)
        # A module built into the kernel has no file: nothing to load.
        [ -n "$src" ] || continue
        case $src in
            *.xz) xz -dc "$src" ;;
            *.zst) zstd -qdc "$src" ;;
            *) cat "$src" ;;
        esac >"$VM_KERNEL_DIR.part/modules/$m.ko"
    done
    rm -rf "$cache/wine32-vm/unpack" "$deb"
    mv "$VM_KERNEL_DIR.part" "$VM_KERNEL_DIR"
}

vm_job() {  # dir, script, seconds
    local dir=$1 script=$2 limit=$3 cache rc code
    cache=$(cache_dir)
    vm_kernel "$cache"
    local vm=$dir/vm
    rm -rf "$vm"
    mkdir -p "$vm/initramfs/bin" "$vm/initramfs/modules" "$vm/initramfs/mnt" \
        "$vm/initramfs/proc" "$vm/initramfs/dev"
    cp "$dir/root/bin/busybox" "$vm/initramfs/bin/busybox"
    local loads=""
    for m in "${VM_MODULES[@]}"; do
        if [ -f "$VM_KERNEL_DIR/modules/$m.ko" ]; then
            cp "$VM_KERNEL_DIR/modules/$m.ko" "$vm/initramfs/modules/"
            loads="$loads $m"
        fi
    done
    cat >"$vm/initramfs/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t devtmpfs devtmpfs /dev
for m in$loads; do
    insmod /modules/\$m.ko || echo "wine32-vm: insmod \$m failed"
done
code=125
n=0
while [ ! -b /dev/vda ] && [ \$n -lt 50 ]; do sleep 0.1; n=\$((n + 1)); done
if mount -t ext4 /dev/vda /mnt; then
    mkdir -p /mnt/proc /mnt/dev /mnt/tmp
    mount -t proc proc /mnt/proc
    mount -t devtmpfs devtmpfs /mnt/dev
    mount -t tmpfs tmpfs /mnt/tmp
    # Into a file: on the console Wine would draw with terminal controls.
    chroot /mnt /bin/busybox env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 \\
        WINEPREFIX=/root/pfx WINESERVER=/usr/lib/wine/wineserver32 WINEDEBUG=-all \\
        WINEDLLOVERRIDES="mscoree,mshtml=" WINE=/usr/lib/wine/wine \\
        WINESERVER32=/usr/lib/wine/wineserver32 /bin/sh /job.sh </dev/null >/mnt/tmp/job.out 2>&1
    code=\$?
    echo "wine32-vm: job begins"
    cat /mnt/tmp/job.out
    echo "wine32-vm: job ended with \$code"
    sync
else
    echo "wine32-vm: cannot mount the root image"
fi
[ "\$code" -gt 127 ] && code=127
printf "\\\\\$(printf %03o "\$code")" | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
poweroff -f
EOF
    chmod +x "$vm/initramfs/init"
    (cd "$vm/initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$vm/initramfs.gz"

    cp "$script" "$dir/root/job.sh"
    truncate -s 3G "$vm/root.img"
    mke2fs -q -t ext4 -d "$dir/root" "$vm/root.img" || fail "mke2fs could not make the root image"
    rm -f "$dir/root/job.sh"

    # shellcheck source=qemu-accel.sh
    . "$(dirname "${BASH_SOURCE[0]}")/qemu-accel.sh"
    qemu_accel_choose wine32 >&2
    echo "wine32: booting the virtual machine under $QEMU_ACCEL"
    rc=0
    timeout -k 5 "$limit" qemu-system-x86_64 "${QEMU_ACCEL_ARGS[@]}" -smp 2 -m 1024 \
        -kernel "$VM_KERNEL_DIR/vmlinuz" -initrd "$vm/initramfs.gz" \
        -drive "file=$vm/root.img,format=raw,if=virtio" -nographic -no-reboot -net none \
        -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
        -append 'console=ttyS0 panic=-1 quiet' </dev/null 2>&1 | tr -d '\r' >"$vm/console.log" ||
        rc=${PIPESTATUS[0]}
    # The console without the firmware's screen controls; the job's lines.
    sed -i -e 's/\x1bc//g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$vm/console.log"
    sed -n '/wine32-vm: job begins$/,/^wine32-vm: job ended with/p' "$vm/console.log" |
        sed '1d;$d'
    code=$(sed -n 's/^wine32-vm: job ended with \([0-9]*\)$/\1/p' "$vm/console.log" | tail -n 1)
    if [ -z "$code" ]; then
        tail -n 30 "$vm/console.log" >&2
        echo "wine32: the job did not run in the virtual machine (qemu status $rc)" >&2
        return 1
    fi
    return "$code"
}

vm_pull() {  # dir, absolute path in the root
    local dir=$1 path=$2
    rm -rf "$dir/root$path"
    debugfs -R "rdump $path $(dirname "$dir/root$path")" "$dir/vm/root.img" >/dev/null 2>&1 ||
        fail "could not copy $path out of the virtual machine's disk"
    [ -e "$dir/root$path" ] || fail "the virtual machine's disk has no $path"
}
