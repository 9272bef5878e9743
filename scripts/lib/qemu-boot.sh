# shellcheck shell=bash disable=SC2034  # QEMU_BOOT_STATUS is the caller's
# Boots a qemu guest whose result comes back through qemu's exit status (the
# isa-debug-exit device at 0xf4) and its serial console, on the accelerator
# of scripts/lib/qemu-accel.sh: under KVM first, bounded, and again under TCG
# when the guest did not get going there. Sourced, not run (after
# lib/common.sh, whose say it uses):
#
#   . scripts/lib/qemu-boot.sh
#   guest_ran() { grep -q '^guest: done' "$log"; }   # did the guest do its work?
#   QEMU_BOOT_WHAT="Debian's kernel"                 # for "booting ... under kvm"
#   qemu_boot kernel-test "$log" 60 240 guest_ran -- \
#       -kernel "$vmlinuz" -initrd "$initrd" -m 512 -append 'console=ttyS0 panic=-1 quiet'
#   # QEMU_BOOT_STATUS: qemu's status (124: the time ran out), QEMU_ACCEL: kvm or tcg
#
# Each boot runs qemu-system-x86_64 with the accelerator's arguments, no
# display (-nographic: the console is the serial port), no network, no
# reboot and the isa-debug-exit device, then the arguments given; the
# console goes to LOG without carriage returns. A KVM boot that has not
# done its work (the check, a function or command, fails) within
# KVM_SECONDS, or whose qemu fails, is retried under TCG with TCG_SECONDS.

# shellcheck source=qemu-accel.sh
. "$(dirname "${BASH_SOURCE[0]}")/qemu-accel.sh"

qemu_boot_once() {  # log, seconds, qemu arguments...
    local log=$1 limit=$2
    shift 2
    say "booting ${QEMU_BOOT_WHAT:-the guest} under $QEMU_ACCEL"
    set +e
    timeout -k 5 "$limit" qemu-system-x86_64 "${QEMU_ACCEL_ARGS[@]}" -nographic -no-reboot \
        -net none -device isa-debug-exit,iobase=0xf4,iosize=0x04 "$@" \
        </dev/null 2>&1 | tr -d '\r' >"$log"
    QEMU_BOOT_STATUS=${PIPESTATUS[0]}
    set -e
}

qemu_boot() {  # name, log, kvm seconds, tcg seconds, check, --, qemu arguments...
    local name=$1 log=$2 kvm_limit=$3 tcg_limit=$4 check=$5 why
    shift 5
    [ "${1:-}" = -- ] && shift
    qemu_accel_choose "$name"
    if [ "$QEMU_ACCEL" = kvm ]; then
        qemu_boot_once "$log" "$kvm_limit" "$@"
        "$check" && return 0
        case $QEMU_BOOT_STATUS in
            124 | 137) why="the guest hung under KVM" ;;
            *) why="the guest did not do its work under KVM (qemu status $QEMU_BOOT_STATUS)" ;;
        esac
        # The end of what it printed, without the firmware's screen controls.
        sed -e 's/\x1bc//g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$log" | tail -n 5 || true
        qemu_accel_fallback "$name" "$why"
    fi
    qemu_boot_once "$log" "$tcg_limit" "$@"
}
