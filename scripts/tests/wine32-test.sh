#!/usr/bin/env bash
# scripts/wine32.sh's run, without Wine: roots whose static "busybox" the
# kernel refuses (a 32-bit program on a kernel without IA32 emulation),
# answers wrongly, or runs, and a folder without a root. A refused or wrong
# check must fail loudly without running the command; only a working one
# runs it, inside the root's namespace; the check itself runs in the root's
# chroot. Then prepare's cache as root: a folder another user can change is
# refused, and a cached root is unpacked only when it matches its checksum.
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
    # The stand-ins are shell scripts: the root gets this machine's shell.
    mkdir -p "$dir/root/lib"
    cp /bin/dash "$dir/root/bin/sh"
    for lib in $(ldd /bin/dash | grep -o '/[^ ]*'); do
        mkdir -p "$dir/root$(dirname "$lib")"
        cp "$lib" "$dir/root$lib"
    done
    case $busybox in
        refused) printf '\177ELF\001\001\001garbage' >"$dir/root/bin/busybox" ;;
        wrong) printf '#!/bin/sh\necho x86_64\n' >"$dir/root/bin/busybox" ;;
        works) printf '#!/bin/sh\n: >/busybox-ran\nshift\necho "$@"\n' >"$dir/root/bin/busybox" ;;
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
    # The check ran the root's busybox in its chroot, never on this machine.
    if [ "$busybox" = works ] && [ ! -f "$dir/root/busybox-ran" ]; then
        want_ran="yes, with busybox in the chroot"
    fi
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

# prepare as root: cache folder (trusted, foreign: owned by another user,
# group: group-writable, above: a folder above it writable by all) | cached
# root (good: with its checksum, bad: changed since, none: no checksum) |
# status | printed line (a part) | unpacked. apt-get is a stand-in that
# fails, so a cache that is refused or rebuilt ends at the download.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "apt-get stand-in" >&2\nexit 100\n' >"$work/bin/apt-get"
chmod +x "$work/bin/apt-get"
cases=(
    "trusted|good|0|restored from|yes"
    "trusted|bad|1|does not match the checksum|no"
    "trusted|none|1|apt-get update failed|no"
    "foreign|good|1|is not owned by root|no"
    "group|good|1|can be changed by other users (mode 775)|no"
    "above|good|1|can be changed by other users (mode 777)|no"
)
for c in "${cases[@]}"; do
    IFS='|' read -r folder archive want_status want_line want_unpacked <<<"$c"
    base=$work/cache-$folder-$archive
    cache=$base/cache
    [ "$folder" != above ] || cache=$base/open/cache
    mkdir -p "$cache" "$base/made/root/usr/lib/wine"
    [ "$folder" != above ] || chmod 777 "$base/open"
    echo planted >"$base/made/root/marker"
    tarball=$cache/wine32-root-1.tar.zst
    tar -C "$base/made" --zstd -cf "$tarball" root
    (cd "$cache" && sha256sum wine32-root-1.tar.zst >wine32-root-1.tar.zst.sha256)
    case $archive in
        bad) echo more >>"$tarball" ;;
        none) rm "$tarball.sha256" ;;
    esac
    case $folder in
        foreign) chown -R nobody "$cache" ;;
        group) chmod 775 "$cache" ;;
    esac
    status=0
    out=$(PATH=$work/bin:$PATH KESTRO_CACHE_DIR=$cache XDG_CACHE_HOME=$work/elsewhere \
        bash "$here/wine32.sh" prepare "$base/dir" 2>&1) || status=$?
    unpacked=no
    [ -f "$base/dir/root/marker" ] && unpacked=yes
    if [ "$status" = "$want_status" ] && [ "$unpacked" = "$want_unpacked" ] &&
        grep -qF "$want_line" <<<"$out" && [ ! -e "$work/elsewhere" ]; then
        echo "ok   prepare, $folder cache folder, $archive cached root: status $status," \
            "unpacked: $unpacked"
    else
        echo "FAIL prepare, $folder cache folder, $archive cached root: status $status" \
            "(expected $want_status), unpacked: $unpacked (expected $want_unpacked), output:"
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
