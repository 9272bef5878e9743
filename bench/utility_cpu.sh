#!/usr/bin/env bash
# CPU used by KestroConfigure while it polls a reader and no card comes
# (goal: under 1% of one core). Starts a virtual reader in the IDTECH mode in
# a private runtime directory and the real program against it (under Xvfb, or
# the offscreen platform when Xvfb is missing), waits until the program has
# the reader open, then reads the program's utime + stime from
# /proc/PID/stat at the start and the end of the measured time.
#   bash bench/utility_cpu.sh [DIR] [SECONDS]
# DIR: an install prefix (DIR/bin/KestroConfigure, as scripts/run.sh makes in
# build-run/dist) or a build directory (DIR/utility/KestroConfigure).
# SECONDS: measured time, 60 by default. Exit status 1 when the goal is missed.
set -euo pipefail
dir=${1:-build-run/dist}
seconds=${2:-60}

if [ -x "$dir/bin/KestroConfigure" ]; then
    program=$dir/bin/KestroConfigure
    reader_program=$dir/bin/kestro-virtual-reader
    library_path=""
elif [ -x "$dir/utility/KestroConfigure" ]; then
    program=$dir/utility/KestroConfigure
    reader_program=$dir/virtual-reader/program/kestro-virtual-reader
    library_path=$(cd "$dir/library" && pwd)  # found through the system's search path
else
    echo "utility_cpu.sh: no KestroConfigure under $dir" >&2
    exit 2
fi

work=$(mktemp -d /tmp/kestro-cpu-XXXXXX)
pids=()
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT

# The display: Xvfb when it is there, else Qt's offscreen platform.
if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$work/display" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 100); do
        grep -q '[0-9]' "$work/display" && break
        sleep 0.1
    done
    display=":$(head -n 1 "$work/display")"
    platform=xcb
else
    display=""
    platform=offscreen
fi

XDG_RUNTIME_DIR=$work DISPLAY="" "$reader_program" serve --mode idtech --name cpu \
    >"$work/reader.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    XDG_RUNTIME_DIR=$work "$reader_program" status --name cpu >/dev/null 2>&1 && break
    sleep 0.1
done

KESTRO_VIRTUAL_READERS=1 XDG_RUNTIME_DIR=$work DISPLAY=$display QT_QPA_PLATFORM=$platform \
    LD_LIBRARY_PATH=${library_path}${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} \
    "$program" >"$work/program.log" 2>&1 &
app=$!
pids=("$app" "${pids[@]}")
opened=0
for _ in $(seq 100); do
    if XDG_RUNTIME_DIR=$work "$reader_program" status --name cpu 2>/dev/null |
        grep -q '^hosts: [1-9]'; then
        opened=1
        break
    fi
    sleep 0.1
done
if [ "$opened" = 0 ]; then
    echo "utility_cpu.sh: KestroConfigure did not open the reader" >&2
    cat "$work/program.log" >&2
    exit 2
fi
sleep 2  # start-up done

# utime and stime, fields 14 and 15 of /proc/PID/stat, counted after the
# command name (which may hold blanks) in clock ticks.
cpu_ticks() {
    local stat
    stat=$(<"/proc/$app/stat")
    stat=${stat##*) }
    read -r -a f <<<"$stat"
    echo $((f[11] + f[12]))
}
hz=$(getconf CLK_TCK)
before=$(cpu_ticks)
start=${EPOCHREALTIME/[.,]/}
sleep "$seconds"
after=$(cpu_ticks)
end=${EPOCHREALTIME/[.,]/}
kill -0 "$app" 2>/dev/null || { echo "utility_cpu.sh: KestroConfigure ended" >&2; exit 2; }

# Percent of one core, to two decimals, in integer arithmetic.
used_us=$(((after - before) * 1000000 / hz))
wall_us=$((end - start))
hundredths=$((used_us * 10000 / wall_us))
printf 'KestroConfigure polling without a card (%s platform): %d ticks of CPU in %d.%03d s = %d.%02d%% of one core\n' \
    "$platform" $((after - before)) $((wall_us / 1000000)) $((wall_us / 1000 % 1000)) \
    $((hundredths / 100)) $((hundredths % 100))
if [ "$hundredths" -lt 100 ]; then
    echo "goal: under 1%: met"
else
    echo "goal: under 1%: NOT met"
    exit 1
fi
