#!/usr/bin/env bash
# The main job in one command: set up a Debian 12 machine (the run set of
# scripts/setup.sh), build Kestro and open KestroConfigure against a reader.
# The program starts in the installed share/kestroconfigure folder, which
# holds README.TXT (as the desktop menu entry does), so that Help shows it.
#
# - A real reader connected (a hidraw node with vendor id 3E7A): the window
#   opens against it.
# - Otherwise a virtual reader (kestro-virtual-reader) is served in the IDTECH
#   mode in a private runtime directory, the window opens against it, and
#   obviously fake test cards (A, B, C: card numbers 4111111111111111,
#   5555555555554444, 378282246310005) are swiped every few seconds.
# - Without a reachable X display the window runs under Xvfb (with the
#   openbox window manager, so that it has a title bar), and a screenshot is
#   saved once the first card shows; where it went is printed.
#
# Everything it started stops when the window closes, on Ctrl-C, or after
# --demo-seconds.
#   bash scripts/run.sh [OPTION]...
# Options:
#   --demo-seconds N     close the window after N seconds and exit 0 (for
#                        runs without anyone at the screen; also
#                        KESTRO_DEMO_SECONDS=N). Without a display and without
#                        a terminal on standard input it is 60 unless given.
#   --swipe-every S      seconds between two swipes of the virtual reader (3)
#   --screenshot FILE    where the screenshot goes (default:
#                        BUILD/screenshots/kestroconfigure.png); also taken
#                        with a display when given
#   --screenshot-cards N take the screenshot once N cards have shown (1)
#   --virtual            use a virtual reader even when a real one is connected
#   --xvfb               run under Xvfb even when a display is there
#   --build-dir DIR      build directory (build-run)
#   --no-setup           skip scripts/setup.sh
set -euo pipefail
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
cd "$(dirname "$0")/.."
root=$PWD

title="Torvanex USB MSR Configure v1.00"
demo_seconds=${KESTRO_DEMO_SECONDS:-0}
swipe_every=3
screenshot=""
screenshot_cards=1
force_virtual=0
force_xvfb=0
build="build-run"
setup=1

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'
}

number() {  # option, value: the value when it is a whole number
    if ! [[ $2 =~ ^[0-9]+$ ]]; then
        echo "run.sh: $1 needs a whole number, not '$2'" >&2
        exit 2
    fi
    echo "$2"
}

value() {  # option, value: the value when there is one
    if [ -z "$2" ]; then
        echo "run.sh: $1 needs a value (try --help)" >&2
        exit 2
    fi
    echo "$2"
}

while [ $# -gt 0 ]; do
    case $1 in
        --demo-seconds) demo_seconds=$(number "$1" "${2-}"); shift 2 ;;
        --swipe-every) swipe_every=$(number "$1" "${2-}"); shift 2 ;;
        --screenshot) screenshot=$(value "$1" "${2-}"); shift 2 ;;
        --screenshot-cards) screenshot_cards=$(number "$1" "${2-}"); shift 2 ;;
        --virtual) force_virtual=1; shift ;;
        --xvfb) force_xvfb=1; shift ;;
        --build-dir) build=$(value "$1" "${2-}"); shift 2 ;;
        --no-setup) setup=0; shift ;;
        -h | --help) usage; exit 0 ;;
        *)
            echo "run.sh: unknown option '$1'" >&2
            echo "usage: bash scripts/run.sh [OPTION]... (--help tells more)" >&2
            exit 2 ;;
    esac
done
demo_seconds=$(number KESTRO_DEMO_SECONDS "$demo_seconds")
case $build in /*) ;; *) build=$root/$build ;; esac
[ "$swipe_every" -ge 1 ] || swipe_every=1
[ "$screenshot_cards" -ge 1 ] || screenshot_cards=1

# --- set up and build -------------------------------------------------------
if [ "$setup" = 1 ]; then
    bash scripts/setup.sh run  # what building and opening the window needs, no test tools
fi
echo "run.sh: building KestroConfigure (Release) in $build"
configure "$build" Release -DKESTRO_TESTS=OFF -DKESTRO_BENCH=OFF
# Everything the install takes (programs, man pages, the desktop icons):
# with tests and benchmarks off that is the whole default build.
cmake --build "$build" -j "$jobs"
# The installed layout: the program finds the library in ../lib.
dist=$build/dist
cmake --install "$build" --prefix "$dist" >/dev/null
program=$dist/bin/KestroConfigure
help_dir=$dist/share/kestroconfigure
reader_program=$dist/bin/kestro-virtual-reader

# --- what it starts, and how it all stops -----------------------------------
work=$(mktemp -d /tmp/kestro-run-XXXXXX)
logs=$build/run-logs
mkdir -p "$logs"
xvfb_pid="" wm_pid="" reader_pid="" app_pid=""

stop() {  # pid: SIGTERM, then SIGKILL if it is still there after 3 s
    local pid=$1 i
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || return 0
    for ((i = 0; i < 30; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
    trap - EXIT INT TERM
    stop "$app_pid"
    stop "$reader_pid"  # removes its sockets
    stop "$wm_pid"
    stop "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'echo; echo "run.sh: interrupted, stopping"; exit 130' INT
trap 'exit 143' TERM

now_ms() {
    local t=${EPOCHREALTIME/[.,]/}
    echo $((t / 1000))
}

# Waits until the command succeeds, at most $1 tenths of a second.
wait_for() {
    local tenths=$1 i
    shift
    for ((i = 0; i < tenths; i++)); do
        if "$@" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# The hidraw backend's rule: the HID device's uevent names vendor 3E7A.
real_reader_connected() {
    local uevent
    for uevent in /sys/class/hidraw/hidraw*/device/uevent; do
        [ -r "$uevent" ] || continue
        if grep -qiE '^HID_ID=[0-9a-f]+:0*3E7A:' "$uevent"; then
            return 0
        fi
    done
    return 1
}

# --- the display ------------------------------------------------------------
use_xvfb=1
if [ "$force_xvfb" = 0 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    use_xvfb=0
fi
if [ "$use_xvfb" = 1 ]; then
    # Xvfb picks a free display number and writes it to its standard output.
    Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$work/display" 2>"$logs/xvfb.log" &
    xvfb_pid=$!
    if ! wait_for 100 grep -q '[0-9]' "$work/display"; then
        echo "run.sh: Xvfb did not start (see $logs/xvfb.log)" >&2
        exit 1
    fi
    DISPLAY=":$(head -n 1 "$work/display")"
    export DISPLAY
    wait_for 50 xdpyinfo || { echo "run.sh: Xvfb on $DISPLAY does not answer" >&2; exit 1; }
    openbox >"$logs/openbox.log" 2>&1 &
    wm_pid=$!
    wait_for 50 wmctrl -m || true
    echo "run.sh: no display; running under Xvfb on $DISPLAY"
    # No display and no terminal (CI, a pipe): no one can close the window.
    if [ "$demo_seconds" = 0 ] && ! [ -t 0 ]; then
        demo_seconds=60
        echo "run.sh: no terminal either: the window closes after $demo_seconds s"
    fi
    [ -n "$screenshot" ] || screenshot=$build/screenshots/kestroconfigure.png
fi
if [ -n "$screenshot" ]; then
    mkdir -p "$(dirname "$screenshot")"
    screenshot=$(cd "$(dirname "$screenshot")" && pwd)/$(basename "$screenshot")
fi

# --- the reader -------------------------------------------------------------
virtual=1
if [ "$force_virtual" = 0 ] && real_reader_connected; then
    virtual=0
    # A reader this user may not open looks like no reader in the window.
    if "$dist/bin/kestro" list >/dev/null 2>"$work/access"; then
        echo "run.sh: a reader is connected; KestroConfigure opens it"
    else
        echo "run.sh: a reader is connected, but none answers:" >&2
        sed 's/^kestro: /run.sh: /' "$work/access" >&2
    fi
fi
reader_name=demo
reader() {  # a command of the virtual reader program, in its runtime directory
    local command=$1
    shift
    XDG_RUNTIME_DIR=$work "$reader_program" "$command" --name "$reader_name" "$@"
}
if [ "$virtual" = 1 ]; then
    # Keyboard mode types into the focused window of the X display: only into
    # our own Xvfb, never into the windows of someone's desktop.
    if [ "$use_xvfb" = 1 ]; then
        XDG_RUNTIME_DIR=$work "$reader_program" serve --mode idtech --name "$reader_name" \
            >"$logs/reader.log" 2>&1 &
    else
        XDG_RUNTIME_DIR=$work DISPLAY="" "$reader_program" serve --mode idtech \
            --name "$reader_name" >"$logs/reader.log" 2>&1 &
    fi
    reader_pid=$!
    if ! wait_for 50 reader status; then
        echo "run.sh: the virtual reader did not start (see $logs/reader.log)" >&2
        exit 1
    fi
    echo "run.sh: virtual reader '$reader_name' serving in the USB/HID IDTECH mode"
fi

# --- the window -------------------------------------------------------------
# Started in the folder that holds README.TXT, as a shortcut's start-in
# folder would: Help opens README.TXT from the current directory.
if [ "$virtual" = 1 ]; then
    (cd "$help_dir" && export XDG_RUNTIME_DIR=$work KESTRO_VIRTUAL_READERS=1 && exec "$program") \
        >"$logs/KestroConfigure.log" 2>&1 &
else
    (cd "$help_dir" && exec "$program") >"$logs/KestroConfigure.log" 2>&1 &
fi
app_pid=$!
echo "run.sh: KestroConfigure started ($program); close its window or press Ctrl-C to stop"
[ "$demo_seconds" -gt 0 ] && echo "run.sh: the window closes by itself after $demo_seconds s"

# Test cards: track 1, track 2, track 3 (card-formats: A, B, C).
cards=(
    "A|%B4111111111111111^TEST/CARD A^30121010000000000000?|;4111111111111111=30121010000000000?|"
    "B|%B5555555555554444^SAMPLE/TESTER^2905201000000000?|;5555555555554444=2905201000000000?|"
    "C|%B378282246310005^DEMO/ALPHA^281170200000?|;378282246310005=28117020000?|;011234567890123456=000978100000000000000000000000000000000000000000000000000000?"
)

swipe_next() {
    local letter t1 t2 t3 args number
    IFS='|' read -r letter t1 t2 t3 <<<"${cards[swipes % ${#cards[@]}]}"
    args=(--track1 "$t1" --track2 "$t2")
    [ -n "$t3" ] && args+=(--track3 "$t3")
    if reader swipe "${args[@]}"; then
        swipes=$((swipes + 1))
        number=${t2#;}
        echo "run.sh: swiped test card $letter (${number%%=*})"
    fi
}

take_screenshot() {
    local id
    id=$(xwininfo -name "$title" 2>/dev/null | awk '/Window id:/ {print $4; exit}')
    if [ -n "$id" ] && import -window "$id" -frame "$screenshot" 2>>"$logs/import.log"; then
        echo "run.sh: screenshot saved to $screenshot"
    elif import -window root "$screenshot" 2>>"$logs/import.log"; then
        echo "run.sh: screenshot (whole screen) saved to $screenshot"
    else
        echo "run.sh: no screenshot (see $logs/import.log)" >&2
    fi
}

start_ms=$(now_ms)
swipes=0
detected_ms=0   # when the window had the reader open
next_swipe_ms=0
shot_at_ms=0    # when the screenshot is due
shot_taken=0
closing=0
while kill -0 "$app_pid" 2>/dev/null; do
    now=$(now_ms)
    if [ "$virtual" = 1 ]; then
        # The window has the reader once the program is among its hosts.
        if [ "$detected_ms" = 0 ] && reader status 2>/dev/null | grep -q '^hosts: [1-9]'; then
            detected_ms=$now
            next_swipe_ms=$((now + 1000))
            echo "run.sh: KestroConfigure found the reader"
        fi
        if [ "$detected_ms" != 0 ] && [ "$now" -ge "$next_swipe_ms" ] && [ "$closing" = 0 ]; then
            swipe_next
            next_swipe_ms=$((now + swipe_every * 1000))
            # The window reads every 50 ms: a second is plenty for the card to show.
            if [ "$swipes" = "$screenshot_cards" ] && [ "$shot_at_ms" = 0 ]; then
                shot_at_ms=$((now + 1000))
            fi
        fi
    elif [ "$shot_at_ms" = 0 ]; then
        # A real reader: the screenshot shows the window after detection.
        shot_at_ms=$((start_ms + 5000))
    fi
    if [ -n "$screenshot" ] && [ "$shot_taken" = 0 ] && [ "$shot_at_ms" != 0 ] &&
        [ "$now" -ge "$shot_at_ms" ]; then
        take_screenshot
        shot_taken=1
    fi
    if [ "$demo_seconds" -gt 0 ] && [ "$closing" = 0 ] &&
        [ "$now" -ge $((start_ms + demo_seconds * 1000)) ]; then
        echo "run.sh: $demo_seconds s passed, closing the window"
        closing=1
        # Closing through the window manager runs the window's own close
        # handling; without one (or if that fails) the program is stopped.
        wmctrl -c "$title" 2>/dev/null || true
        if ! wait_for 50 bash -c "! kill -0 $app_pid"; then
            echo "run.sh: the window did not close; stopping KestroConfigure"
            stop "$app_pid"
        fi
        break
    fi
    sleep 0.2
done

status=0
wait "$app_pid" 2>/dev/null || status=$?
app_pid=""
if [ "$closing" = 1 ]; then
    status=0  # the demo ended the window on purpose
fi
echo "run.sh: KestroConfigure ended (status $status); logs in $logs"
exit "$status"
