#!/usr/bin/env bash
# The accelerator choice of scripts/lib/qemu-accel.sh against a stand-in
# qemu-system-x86_64 on PATH that aborts with KVM, hangs, fails, or runs the
# probe firmware (with the real qemu, emulated, when it is installed).
#   scripts/tests/qemu-accel-test.sh
set -euo pipefail
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
script_args 0 "$@"
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qemu-accel-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
real_qemu=$(command -v qemu-system-x86_64 || true)

mkdir "$work/bin"
cat >"$work/bin/qemu-system-x86_64" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_QEMU_CALLS"
case $FAKE_QEMU in
    abort)
        echo "qemu-system-x86_64: error: failed to set MSR 0x10a to 0x69" >&2
        kill -ABRT $$ ;;
    hang) exec sleep 30 ;;
    fail)
        echo "qemu-system-x86_64: warning: host doesn't support requested feature" >&2
        echo "Could not access KVM kernel module: Permission denied" >&2
        exit 1 ;;
    real)
        # The real qemu, emulating: the firmware itself has to exit it with 0x2a.
        args=("$@")
        for i in "${!args[@]}"; do
            case ${args[i]} in kvm) args[i]=tcg ;; host) args[i]=max ;; esac
        done
        exec "$REAL_QEMU" "${args[@]}" ;;
esac
FAKE
chmod +x "$work/bin/qemu-system-x86_64"
touch "$work/kvm"

failures=0
# The probe's time limit is 0.05 s where the stand-in hangs, 20 s otherwise.
# name | KVM device | stand-in | KESTRO_QEMU_ACCEL | status | printed line (a part) | probed
cases=(
    "no device|none|abort|auto|0|accelerator tcg (no $work/none)|no"
    "KVM aborts|kvm|abort|auto|0|accelerator tcg (qemu aborted with KVM: qemu-system-x86_64: error: failed to set MSR 0x10a|yes"
    "KVM hangs|kvm|hang|auto|0|accelerator tcg (the KVM probe hung (no exit within 0.05 s))|yes"
    "KVM refused|kvm|fail|auto|0|accelerator tcg (the KVM probe failed (qemu status 1): Could not access KVM|yes"
    "KVM runs the firmware|kvm|real|auto|0|accelerator kvm (the KVM probe passed)|yes"
    "TCG asked for|kvm|abort|tcg|0|accelerator tcg (KESTRO_QEMU_ACCEL=tcg)|no"
    "KVM asked for|none|abort|kvm|0|accelerator kvm (KESTRO_QEMU_ACCEL=kvm)|no"
    "unknown choice|kvm|abort|fast|1|KESTRO_QEMU_ACCEL must be auto, kvm or tcg, not 'fast'|no"
    "no qemu|kvm|missing|auto|1|qemu-system-x86_64 is not installed|no"
)
for c in "${cases[@]}"; do
    IFS='|' read -r name device mode accel want_status want_line want_probe <<<"$c"
    seconds=20
    [ "$mode" = hang ] && seconds=0.05
    if [ "$mode" = real ] && [ -z "$real_qemu" ]; then
        echo "skipped: $name (qemu-system-x86_64 is not installed)"
        continue
    fi
    path=$work/bin:$PATH
    [ "$mode" = missing ] && path=$work/nothing
    rm -f "$work/calls"
    status=0
    # shellcheck disable=SC2016
    out=$(PATH=$path FAKE_QEMU=$mode FAKE_QEMU_CALLS=$work/calls REAL_QEMU=$real_qemu \
        KESTRO_KVM_DEVICE=$work/$device KESTRO_QEMU_ACCEL=$accel KESTRO_QEMU_PROBE_SECONDS=$seconds \
        TMPDIR=$work /bin/bash -c '. "$1"; qemu_accel_choose check && echo "args: ${QEMU_ACCEL_ARGS[*]}"' \
        _ "$here/lib/qemu-accel.sh" 2>&1) || status=$?
    probed=no
    [ -s "$work/calls" ] && probed=yes
    fail() { echo "FAILED: $name: $*"; printf '    %s\n' "$out"; failures=$((failures + 1)); }
    [ "$status" = "$want_status" ] || fail "status $status, wanted $want_status"
    [[ $out == *"$want_line"* ]] || fail "no '$want_line'"
    [ "$probed" = "$want_probe" ] || fail "probed: $probed, wanted $want_probe"
    if [ "$probed" = yes ] && ! grep -q -- '-accel kvm -cpu host ' "$work/calls"; then
        fail "the probe did not ask for KVM with the host's CPU: $(cat "$work/calls")"
    fi
    case $out in
        *"accelerator kvm"*) [[ $out == *"args: -accel kvm -cpu host"* ]] || fail "KVM's arguments" ;;
        *"accelerator tcg"*) [[ $out == *"args: -accel tcg"* ]] || fail "TCG's arguments" ;;
    esac
    for left in "$work"/qemu-accel-*; do
        [ ! -e "$left" ] || { fail "the probe left $left behind"; rm -rf "$left"; }
    done
done

# Giving KVM up after a guest hung under it.
# shellcheck disable=SC2016
out=$(/bin/bash -c '. "$1"; qemu_accel_set kvm probed; qemu_accel_fallback check "the guest hung"
    echo "$QEMU_ACCEL ${QEMU_ACCEL_ARGS[*]}"' _ "$here/lib/qemu-accel.sh")
[ "$out" = "check: accelerator tcg from now on (the guest hung)
tcg -accel tcg" ] || { echo "FAILED: fallback: $out"; failures=$((failures + 1)); }

# qemu_boot (scripts/lib/qemu-boot.sh), with a stand-in guest that does its
# work, hangs or fails under each accelerator. KVM's time limit is 0.05 s
# where the guest hangs there, 20 s otherwise.
# name | KESTRO_QEMU_ACCEL | guest under KVM | under TCG | status | boots | printed line (a part)
mkdir "$work/boot-bin"
cat >"$work/boot-bin/qemu-system-x86_64" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_QEMU_CALLS"
case " $* " in *" -accel kvm "*) what=$FAKE_KVM ;; *) what=$FAKE_TCG ;; esac
case $what in
    done) echo $'guest: done\r'; exit 3 ;;
    hang) exec sleep 30 ;;
    fail) echo "qemu-system-x86_64: no guest"; exit 1 ;;
esac
FAKE
chmod +x "$work/boot-bin/qemu-system-x86_64"
cases=(
    "done under KVM|kvm|done|fail|3|1|booting the test guest under kvm"
    "hangs under KVM|kvm|hang|done|3|2|accelerator tcg from now on (the guest hung under KVM)"
    "fails under KVM|kvm|fail|done|3|2|(the guest did not do its work under KVM (qemu status 1))"
    "TCG only|tcg|done|done|3|1|booting the test guest under tcg"
    "fails under TCG too|kvm|fail|fail|1|2|booting the test guest under tcg"
)
for c in "${cases[@]}"; do
    IFS='|' read -r name accel kvm tcg want_status want_boots want_line <<<"$c"
    kvm_limit=20
    [ "$kvm" = hang ] && kvm_limit=0.05
    rm -f "$work/calls"
    # shellcheck disable=SC2016
    out=$(PATH=$work/boot-bin:$PATH FAKE_KVM=$kvm FAKE_TCG=$tcg FAKE_QEMU_CALLS=$work/calls \
        KESTRO_QEMU_ACCEL=$accel /bin/bash -c '. "$1"; . "$2"; name=check log=$3 kvm_limit=$4
        done_it() { grep -qx "guest: done" "$log"; }
        QEMU_BOOT_WHAT="the test guest"
        qemu_boot check "$log" "$kvm_limit" 20 done_it -- -kernel vmlinuz -m 64
        echo "status $QEMU_BOOT_STATUS"' _ "$here/lib/common.sh" "$here/lib/qemu-boot.sh" \
        "$work/boot.log" "$kvm_limit" 2>&1) || true
    boots=$(wc -l <"$work/calls")
    fail() { echo "FAILED: qemu_boot, $name: $*"; printf '    %s\n' "$out"; failures=$((failures + 1)); }
    [[ $out == *"status $want_status" ]] || fail "wanted status $want_status"
    [ "$boots" = "$want_boots" ] || fail "$boots boots, wanted $want_boots"
    [[ $out == *"$want_line"* ]] || fail "no '$want_line'"
    grep -q -- '-nographic -no-reboot -net none -device isa-debug-exit,iobase=0xf4,iosize=0x04 -kernel vmlinuz -m 64$' \
        "$work/calls" || fail "qemu's arguments: $(cat "$work/calls")"
done

[ "$failures" = 0 ] || exit 1
echo "all accelerator choices as expected"
