#!/usr/bin/env bash
# Runs Windows programs in Wine, 32-bit or 64-bit, against a reader on a real
# kernel HID stack: a Debian 12 guest in qemu with Wine (both architectures)
# and the fake reader made through /dev/uhid (platform/hidraw/tests/uhid),
# which Wine's winebus presents through its hidraw bus to setupapi.dll and
# hid.dll as it presents a USB reader.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    cat <<'EOF'
usage: scripts/wine-hid.sh [OPTIONS] [--] PROGRAM.exe [ARGUMENTS...]
       scripts/wine-hid.sh [OPTIONS] --job SCRIPT
       scripts/wine-hid.sh --prepare

Boots a Debian 12 guest with Wine and a fake reader made through /dev/uhid,
and runs there PROGRAM.exe with its ARGUMENTS in Wine's drive C (C:\run, the
current directory; its \kestro.log is C:\kestro.log), or the guest shell
SCRIPT (see below). The program's console output comes back here; its
folder and C:\kestro.log come back into the --out folder.

Options:
  --arch 32|64      the Wine to run PROGRAM in (default 32: 32-bit Wine,
                    its own 32-bit prefix; 64: wine64, a 64-bit prefix)
  --mode MODE       the reader's mode at the start: idtech (default),
                    magtek or kb
  --away-ms MS      how long a reset keeps the reader off the bus before it
                    comes back in its new mode (default 300, at most 60000)
  --file PATH       copies PATH into C:\run beside the program (repeatable)
  --out DIR         where the results come back (default build-wine-hid/out)
  --timeout SECONDS bounds the whole guest run (default 600)
  --prepare         only makes (or checks) the cached guest and its prefixes
  -h, --help        this text

The reader's controls, from inside the program's run: the reader's folder
is C:\reader in both prefixes. A command is one line written into a file of
another name in that folder and renamed to C:\reader\command (so that the
reader never sees half a command); the reader then deletes it, acts, and
answers with one line in C:\reader\answer, which the program reads and
deletes before its next command. Commands:
  swipe [T1|T2|T3]  swipes a card in the current mode (default a test card
                    4111111111111111; tracks as ISO text, separated by |,
                    empty for a blank track); answers "swiped N" (the
                    report's length) or "error ..."
  unplug            the reader leaves the bus; answers "unplugged"
  plug [MODE]       a new reader arrives (in MODE, default the last mode);
                    answers as node
  node              waits for the reader's node under the current mode's
                    product id (after a mode change it is away for a
                    moment); answers "node /dev/hidrawN PPPP"
  state             answers "state MODE PPPP NODE" (NODE "-" when away)
  swipe-in MS [T1|T2|T3]
                    the same swipe MS milliseconds later, while the
                    program's read waits; answers "swiping in MS ms"
  stamp             answers "stamp NS": when the last swipe-in's report
                    was written, in the guest's CLOCK_MONOTONIC_RAW
                    nanoseconds (Wine's QueryPerformanceCounter clock)
  clock             answers "clock NS": that clock now
The reader acts on the library's feature reports itself: a mode change and
reset make it leave and come back under the new mode's product id.

A --job SCRIPT is sourced by bash in the guest, as root, in the folder
holding the --file files, with these commands:
  win32 PROGRAM.exe ARGS...   runs PROGRAM in 32-bit Wine, in the current
                              directory when it lies in the 32-bit prefix's
                              drive C, else in C:\run ($RUN32)
  win64 PROGRAM.exe ARGS...   the same in wine64 ($RUN64)
  reader COMMAND              a reader command as above; prints the answer
  keep PATH...                brings PATH back into the --out folder
  x11                         starts Xvfb (DISPLAY=:1) for windows; the
                              screen is the file $SCREEN (XWD)
  $OUT is the --out folder, $READER the reader's folder in the guest (for
  Linux programs). The job's status is the run's result.

The guest (Debian's packages for amd64 and i386 by mmdebstrap, sources from
this machine's apt configuration) with the two Wine prefixes made once in a
chroot of the same tree is cached in the folder wine-hid of the scripts'
cache (as root /var/cache/kestro or KESTRO_CACHE_DIR, a folder that root
alone can change), each archive with its checksum beside it. Needs
root, qemu-system-x86, mmdebstrap, zstd, e2fsprogs (scripts/setup.sh).
EOF
}

name=wine-hid
# shellcheck source=lib/common.sh
. scripts/lib/common.sh

# --- Arguments, read before anything changes.
arch=32 mode=idtech out=build-wine-hid/out limit=600 job= prepare_only=0 reader_args=
files=()
while [ $# -gt 0 ]; do
    case $1 in
        -h | --help) usage; exit 0 ;;
        --arch) arch=${2:-}; shift ;;
        --mode) mode=${2:-}; shift ;;
        --away-ms)
            [[ ${2:-} =~ ^[1-9][0-9]{0,4}$ ]] && [ "$2" -le 60000 ] || { usage >&2; exit 2; }
            reader_args+=" --away-ms $2"
            shift
            ;;
        --file) [ -n "${2:-}" ] || { usage >&2; exit 2; }; files+=("$2"); shift ;;
        --out) out=${2:-}; shift ;;
        --timeout) limit=${2:-}; shift ;;
        --job) job=${2:-}; shift ;;
        --prepare) prepare_only=1 ;;
        --) shift; break ;;
        -*) usage >&2; exit 2 ;;
        *) break ;;
    esac
    shift
done
case $arch in 32 | 64) ;; *) usage >&2; exit 2 ;; esac
case $mode in idtech | magtek | kb) ;; *) usage >&2; exit 2 ;; esac
[[ $limit =~ ^[1-9][0-9]*$ ]] || { usage >&2; exit 2; }
[ -n "$out" ] || { usage >&2; exit 2; }
if [ "$prepare_only" = 0 ]; then
    if [ -n "$job" ]; then
        [ $# -eq 0 ] || { usage >&2; exit 2; }
        [ -f "$job" ] || fail "FAILED: no job script $job"
    else
        [ $# -ge 1 ] || { usage >&2; exit 2; }
        [ -f "$1" ] || fail "FAILED: no program $1"
    fi
fi
for f in "${files[@]}"; do
    [ -e "$f" ] || fail "FAILED: no file $f"
done
[ "$(id -u)" -eq 0 ] || fail "FAILED: needs root (chroot, mount namespaces, the root-owned cache)"
for tool in qemu-system-x86_64 mmdebstrap zstd mke2fs debugfs cpio unshare; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done

started=$SECONDS
elapsed() { echo "$((SECONDS - started)) s"; }

# --- The cached guest: its tree with both prefixes, as tar.zst + sha256.
# shellcheck source=lib/cache.sh
. scripts/lib/cache.sh
# shellcheck source=lib/wine-hid-root.sh
. scripts/lib/wine-hid-root.sh
cache=$(cache_dir)/wine-hid
mkdir -p -m 0755 "$cache"
cache_trusted "$cache"
archive=$(wine_hid_root_archive "$cache")
say "guest ready in the cache: $archive ($(elapsed))"
[ "$prepare_only" = 0 ] || exit 0

# --- This run's folder: the restored tree as a disk image, a second disk
# for the run's files and results, and a small initramfs that mounts both.
work=build-wine-hid/run
# One run at a time uses this folder: a second would delete the first's
# disks under its guest.
mkdir -p build-wine-hid
exec 9>build-wine-hid/run.lock
flock -n 9 || fail "FAILED: another scripts/wine-hid.sh run is using $work"
rm -rf "$work"
mkdir -p "$work/disk/files" "$work/disk/out" "$work/disk/units" "$out"
work=$(realpath "$work")
out=$(realpath "$out")
wine_hid_restore "$archive" "$work/root"
say "guest tree restored ($(elapsed))"

build=${KESTRO_WINE_HID_BUILD:-build-wine-hid/linux}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRO_UTILITY=OFF \
        -DKESTRO_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j 2 --target kestro_uhid_device_static >/dev/null
cp "$build/platform/hidraw/tests/uhid/kestro_uhid_device_static" "$work/disk/kestro_uhid_device"
cp scripts/wine-hid-guest.sh "$work/disk/guest.sh"
for f in "${files[@]}"; do
    cp -r "$f" "$work/disk/files/"
done
if [ -n "$job" ]; then
    cp "$job" "$work/disk/job.sh"
else
    cp "$1" "$work/disk/files/"
    prog=$(basename "$1")
    shift
    {
        printf 'win%s %q' "$arch" "$prog"
        printf ' %q' "$@"
        printf '\nstatus=$?\nkeep "$RUN%s" "$RUN%s/../kestro.log"\nexit $status\n' "$arch" "$arch"
    } >"$work/disk/job.sh"
fi
echo "$mode" >"$work/disk/mode"
echo "$reader_args" >"$work/disk/reader-args"
echo "$limit" >"$work/disk/limit"
cat >"$work/disk/units/wine-hid.target" <<'UNIT'
[Unit]
Description=The Wine HID run on the basic system
Requires=basic.target wine-hid.service
After=basic.target
AllowIsolate=yes
UNIT
cat >"$work/disk/units/wine-hid.service" <<UNIT
[Unit]
Description=The Wine HID run
After=basic.target systemd-udevd.service systemd-udev-trigger.service
[Service]
Type=oneshot
ExecStart=/srv/wine-hid/guest.sh
TimeoutStartSec=$limit
StandardOutput=tty
StandardError=tty
TTYPath=/dev/ttyS0
# Should the run end without reporting (a fault in it), qemu still ends.
ExecStopPost=/bin/sh -c 'printf "\\\\003" | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null'
UNIT
wine_hid_images "$work"
say "disks made ($(elapsed))"

# shellcheck source=lib/qemu-accel.sh
. scripts/lib/qemu-accel.sh
qemu_accel_choose wine-hid
log=$work/console.log
say "booting Debian 12 under $QEMU_ACCEL (at most $limit s)"
rc=0
timeout -k 5 "$((limit + 60))" qemu-system-x86_64 "${QEMU_ACCEL_ARGS[@]}" -smp 2 -m 2048 \
    -kernel "$work/vmlinuz" -initrd "$work/initramfs.gz" \
    -drive "file=$work/root.img,format=raw,if=virtio,snapshot=on" \
    -drive "file=$work/run.img,format=raw,if=virtio" \
    -nographic -no-reboot -net none -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
    -append 'console=ttyS0 panic=-1 quiet systemd.unit=wine-hid.target' \
    </dev/null >"$log.raw" 2>&1 || rc=$?
tr -d '\r' <"$log.raw" | sed -e 's/\x1bc//g' -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' >"$log"
rm -f "$log.raw"
sed -n 's/^guest: //p' "$log"
# The results into the --out folder, over what a run left there before
# (nothing else in it is deleted).
mkdir -p "$out"
debugfs -R "rdump /out $work" "$work/run.img" >/dev/null 2>&1 || true
if [ -d "$work/out" ]; then
    cp -r "$work/out/." "$out/"
fi
rm -rf "$work/root" "$work/root.img"
[ "$rc" -ne 124 ] || fail "FAILED: the guest did not finish within $limit s ($(elapsed)); console: $log"
grep -q '^guest: \(passed\|FAILED\)' "$log" || fail "FAILED: the run did not end in the guest (qemu status $rc); console: $log"
[ "$rc" -eq 1 ] || fail "FAILED: the run failed in the guest (qemu status $rc, wall time $(elapsed)); results in $out"
say "passed under $QEMU_ACCEL (wall time $(elapsed)); results in $out"
