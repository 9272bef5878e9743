#!/usr/bin/env bash
# scripts/wine32.sh's run, without Wine: roots whose static "busybox" the
# kernel refuses (a 32-bit program on a kernel without IA32 emulation),
# answers wrongly, or runs, and a folder without a root. A refused or wrong
# check must fail loudly without running the command; only a working one
# runs it, inside the root's namespace.
#   scripts/tests/wine32-test.sh
set -euo pipefail
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
script_args 0 "$@"
here=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
    echo "wine32-test: needs root (chroot and namespaces); skipped"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/wine32-test-XXXXXX")
trap 'rm -rf "$work"' EXIT

# name | busybox (refused, wrong, works, none) | status | printed line (a part) | command ran
cases=(
    "kernel refuses 32-bit code|refused|1|32-bit tests did NOT run|no"
    "check answers wrongly|wrong|1|32-bit tests did NOT run|no"
    "no prepared root|none|1|holds no prepared root|no"
    "kernel runs it|works|0||yes"
)
failures=0
for c in "${cases[@]}"; do
    IFS='|' read -r name busybox want_status want_line want_ran <<<"$c"
    dir=$work/${busybox}
    mkdir -p "$dir/root/bin" "$dir/root/usr/lib/wine"
    case $busybox in
        refused) printf '\177ELF\001\001\001garbage' >"$dir/root/bin/busybox" ;;
        wrong) printf '#!/bin/sh\necho x86_64\n' >"$dir/root/bin/busybox" ;;
        works) printf '#!/bin/sh\nshift\necho "$@"\n' >"$dir/root/bin/busybox" ;;
    esac
    [ -f "$dir/root/bin/busybox" ] && chmod +x "$dir/root/bin/busybox"
    if [ "$busybox" != none ]; then
        printf '#!/bin/sh\n' >"$dir/root/usr/lib/wine/wine"
        chmod +x "$dir/root/usr/lib/wine/wine"
    fi
    status=0
    out=$(bash "$here/wine32.sh" run "$dir" --timeout 20 -- \
        bash -c 'grep -q " $0/proc proc " /proc/self/mounts && touch "$0/../ran"' \
        "$dir/root" 2>&1) || status=$?
    ran=no
    [ -f "$dir/ran" ] && ran=yes
    if [ "$status" = "$want_status" ] && [ "$ran" = "$want_ran" ] &&
        { [ -z "$want_line" ] || grep -qF "$want_line" <<<"$out"; }; then
        echo "ok   $name: status $status, command ran: $ran"
    else
        echo "FAIL $name: status $status (expected $want_status), command ran: $ran" \
            "(expected $want_ran), output:"
        echo "$out" | sed 's/^/    /'
        failures=$((failures + 1))
    fi
done
status=0
bash "$here/wine32.sh" bogus >/dev/null 2>&1 || status=$?
if [ "$status" = 2 ]; then
    echo "ok   an unknown command: status 2"
else
    echo "FAIL an unknown command: status $status (expected 2)"
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
