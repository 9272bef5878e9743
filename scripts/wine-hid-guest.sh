#!/bin/bash
# The run inside the Debian 12 guest of scripts/wine-hid.sh, started by
# systemd as root once udev is up: loads the HID modules, makes the fake
# reader through /dev/uhid, relays the reader commands that programs leave
# in C:\reader, runs the job (scripts/wine-hid.sh --help says what a job may
# use), keeps its results on the run's disk and hands the result to the host
# through qemu's isa-debug-exit port. The last line is "guest: passed" or
# "guest: FAILED ...".
set -u
export LC_ALL=C.UTF-8
here=/srv/wine-hid
usage() {
    echo "usage: $0 (no arguments; systemd runs it inside the guest of scripts/wine-hid.sh)"
}
case ${1:-} in
    -h | --help) usage; exit 0 ;;
    "") ;;
    *) usage >&2; exit 2 ;;
esac
if ! grep -qw 'systemd.unit=wine-hid.target' /proc/cmdline || [ ! -f "$here/job.sh" ]; then
    echo "wine-hid-guest.sh runs only inside the guest of scripts/wine-hid.sh" >&2
    exit 2
fi

finish() {  # status
    local code=$1
    sync
    if [ "$code" -eq 0 ]; then echo "guest: passed"; else echo "guest: FAILED (status $code)"; fi
    [ "$code" -gt 127 ] && code=127
    printf "\\$(printf %03o "$code")" | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
    exit "$code"
}

OUT=$here/out
reader_dir=$here/reader
READER=$reader_dir
mkdir -p "$OUT" "$reader_dir"
modprobe uhid && modprobe hid-generic || { echo "guest: cannot load uhid and hid-generic"; finish 1; }

# --- The reader, fed through a pipe; its answers, one line per command, in
# a file the relay reads.
mkfifo /tmp/reader-in
# shellcheck disable=SC2046 # the reader's options, one word each
"$here/kestro_uhid_device" "$(cat "$here/mode")" $(cat "$here/reader-args") </tmp/reader-in \
    >/tmp/reader-out \
    2>/tmp/reader-err &
exec 3>/tmp/reader-in
for _ in $(seq 500); do
    [ -s /tmp/reader-out ] && break
    sleep 0.02
done
read -r _ node _ </tmp/reader-out
if [ "${node:--}" = - ]; then
    echo "guest: the fake reader did not come up"
    cat /tmp/reader-err
    finish 1
fi
udevadm settle
echo "guest: the fake reader is $node"

reader_do() {  # command: its answer on standard output
    local before now i
    before=$(wc -l </tmp/reader-out)
    printf '%s\n' "$1" >&3
    for i in $(seq 3000); do
        now=$(wc -l </tmp/reader-out)
        if [ "$now" -gt "$before" ]; then
            sed -n "$((before + 1))p" /tmp/reader-out
            return 0
        fi
        sleep 0.01
    done
    echo "error the reader did not answer"
}
# Commands from programs: C:\reader\command, renamed in whole; the answer
# goes in under another name and is renamed in whole too.
relay() {
    local cmd
    while :; do
        if [ -f "$reader_dir/command" ]; then
            cmd=$(head -n 1 "$reader_dir/command" | tr -d '\r')
            rm -f "$reader_dir/command"
            reader_do "$cmd" >"$reader_dir/answer.new"
            mv "$reader_dir/answer.new" "$reader_dir/answer"
        fi
        sleep 0.01
    done
}
relay &
relay_pid=$!

# --- What a job may use.
RUN32=/root/pfx32/drive_c/run
RUN64=/root/pfx64/drive_c/run
SCREEN=/tmp/screen/Xvfb_screen0
for pfx in /root/pfx32 /root/pfx64; do
    mkdir -p "$pfx/drive_c/run"
    cp -r "$here/files/." "$pfx/drive_c/run/"
    ln -sfn "$reader_dir" "$pfx/drive_c/reader"
done
# Each runs in the current directory when it lies in its prefix's drive C,
# else in C:\run.
win32() {  # program, arguments...
    local dir=$RUN32
    case $PWD/ in /root/pfx32/drive_c/*) dir=$PWD ;; esac
    (cd "$dir" && env WINEPREFIX=/root/pfx32 WINEARCH=win32 \
        WINESERVER=/usr/lib/wine/wineserver32 WINEDEBUG="${WINEDEBUG:--all}" \
        WINEDLLOVERRIDES="mscoree,mshtml=" HOME=/root /usr/lib/wine/wine "$@")
}
win64() {  # program, arguments...
    local dir=$RUN64
    case $PWD/ in /root/pfx64/drive_c/*) dir=$PWD ;; esac
    (cd "$dir" && env WINEPREFIX=/root/pfx64 WINEARCH=win64 \
        WINESERVER=/usr/lib/wine/wineserver64 WINEDEBUG="${WINEDEBUG:--all}" \
        WINEDLLOVERRIDES="mscoree,mshtml=" HOME=/root /usr/lib/wine/wine64 "$@")
}
reader() {  # command words...
    reader_do "$*"
}
keep() {  # paths...
    local p
    for p in "$@"; do
        [ -e "$p" ] && cp -r "$p" "$OUT/"
    done
    return 0
}
x11() {
    mkdir -p /tmp/screen
    Xvfb :1 -screen 0 1024x768x24 -nolisten tcp -fbdir /tmp/screen >/tmp/xvfb.log 2>&1 &
    export DISPLAY=:1
    for _ in $(seq 500); do
        [ -S /tmp/.X11-unix/X1 ] && return 0
        sleep 0.02
    done
    echo "guest: Xvfb did not start"
    cat /tmp/xvfb.log
    return 1
}

# --- The job.
cd "$here/files" || finish 1
(
    set +e
    # shellcheck source=/dev/null
    . "$here/job.sh"
)
status=$?
echo quit >&3
kill "$relay_pid" 2>/dev/null
/usr/lib/wine/wineserver32 -k 2>/dev/null
/usr/lib/wine/wineserver64 -k 2>/dev/null
cp /tmp/reader-err "$OUT/reader-err.txt" 2>/dev/null
finish "$status"
