# shellcheck shell=bash disable=SC2034  # the variables are the callers'
# Chooses the accelerator for a script that boots a qemu virtual machine, so
# that the script runs wherever qemu does: KVM when it really works, TCG
# (software emulation, slower) otherwise. Sourced, not run:
#
#   . scripts/lib/qemu-accel.sh
#   qemu_accel_choose kernel-test [qemu-program]    # prints the choice
#   qemu-system-x86_64 "${QEMU_ACCEL_ARGS[@]}" ...
#   # the guest did not get going under KVM (abort, hang):
#   qemu_accel_fallback kernel-test "the guest hung"  # and boot again
#
# It sets QEMU_ACCEL (kvm or tcg), QEMU_ACCEL_ARGS (qemu's arguments for it)
# and QEMU_ACCEL_WHY (one line: why). A /dev/kvm that exists and is writable
# proves nothing: on some machines qemu aborts at once with KVM ("failed to
# set MSR ...") or the guest hangs. So KVM is chosen only when a probe passes:
# qemu with KVM and the same CPU model boots a 64 KiB firmware that writes one
# byte to the isa-debug-exit port, and has to exit with that byte within
# KESTRO_QEMU_PROBE_SECONDS (default 5; it takes well under a second).
# A guest can still hang later under KVM where the firmware ran, so a script
# should bound its KVM run and call qemu_accel_fallback when the guest did
# not get going.
#
# KESTRO_QEMU_ACCEL=auto (default), kvm (no probe) or tcg (no probe).
# KESTRO_KVM_DEVICE names the KVM device (default /dev/kvm).

qemu_accel_set() {  # kvm|tcg, why
    QEMU_ACCEL=$1
    QEMU_ACCEL_WHY=$2
    if [ "$1" = kvm ]; then
        QEMU_ACCEL_ARGS=(-accel kvm -cpu host)
    else
        QEMU_ACCEL_ARGS=(-accel tcg)
    fi
}

# Boots the probe firmware under KVM; succeeds when it ran. On failure the
# reason is on standard output.
qemu_accel_probe_kvm() {  # qemu-program
    local qemu=$1 seconds=${KESTRO_QEMU_PROBE_SECONDS:-5} dir rc=0 first
    dir=$(mktemp -d "${TMPDIR:-/tmp}/qemu-accel-XXXXXX")
    # Reset vector at 0xFFFF0, the firmware's last 16 bytes:
    # mov al, 0x2a; out 0xf4, al; hlt; jmp back to the hlt.
    {
        head -c 65520 /dev/zero
        printf '\xb0\x2a\xe6\xf4\xf4\xeb\xfd'
        head -c 9 /dev/zero
    } >"$dir/firmware"
    timeout -k 2 "$seconds" "$qemu" -accel kvm -cpu host -bios "$dir/firmware" \
        -display none -nodefaults -no-reboot -net none -m 16 \
        -device isa-debug-exit,iobase=0xf4,iosize=0x04 </dev/null >"$dir/output" 2>&1 || rc=$?
    first=$(grep -v -m 1 '^qemu-system-[a-z0-9_]*: warning:' "$dir/output" | cut -c 1-160) || true
    rm -rf "$dir"
    # isa-debug-exit: qemu's status is (byte << 1) | 1.
    case $rc in
        85) return 0 ;;
        124 | 137) echo "the KVM probe hung (no exit within $seconds s)" ;;
        134) echo "qemu aborted with KVM${first:+: $first}" ;;
        *) echo "the KVM probe failed (qemu status $rc)${first:+: $first}" ;;
    esac
    return 1
}

qemu_accel_choose() {  # caller's name, [qemu-program]
    local name=$1 qemu=${2:-qemu-system-x86_64} device=${KESTRO_KVM_DEVICE:-/dev/kvm} why
    case ${KESTRO_QEMU_ACCEL:-auto} in
        kvm) qemu_accel_set kvm "KESTRO_QEMU_ACCEL=kvm" ;;
        tcg) qemu_accel_set tcg "KESTRO_QEMU_ACCEL=tcg" ;;
        auto)
            if ! command -v "$qemu" >/dev/null 2>&1; then
                echo "$name: $qemu is not installed" >&2
                return 1
            fi
            if [ ! -e "$device" ]; then
                qemu_accel_set tcg "no $device"
            elif [ ! -r "$device" ] || [ ! -w "$device" ]; then
                qemu_accel_set tcg "$device is not readable and writable"
            elif why=$(qemu_accel_probe_kvm "$qemu"); then
                qemu_accel_set kvm "the KVM probe passed"
            else
                qemu_accel_set tcg "$why"
            fi
            ;;
        *)
            echo "$name: KESTRO_QEMU_ACCEL must be auto, kvm or tcg, not '$KESTRO_QEMU_ACCEL'" >&2
            return 1
            ;;
    esac
    echo "$name: accelerator $QEMU_ACCEL ($QEMU_ACCEL_WHY)"
}

qemu_accel_fallback() {  # caller's name, why KVM is given up
    qemu_accel_set tcg "$2"
    echo "$1: accelerator tcg from now on ($QEMU_ACCEL_WHY)"
}
