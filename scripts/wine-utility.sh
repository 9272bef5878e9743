#!/usr/bin/env bash
# Cross-builds KestroConfigure.exe, the native Win32 window, for 32-bit (the
# target) and 64-bit Windows with MinGW-w64 and tests it:
#   - each program is a GUI program that imports system DLLs only;
#   - each program runs under Wine on an Xvfb display (the 64-bit one in
#     wine64, the 32-bit one in 32-bit Wine from scripts/wine32.sh), driven
#     from outside by utility/win32/tests/ui_driver.cpp built for the same
#     architecture: its version resource; with a double of kestro.dll
#     in the IDTECH mode (window, controls, detection, one card, tab order,
#     fonts, colours, Help, closing), with Exit, with a double that finds no
#     reader, and with no kestro.dll at all;
#   - while the card is shown, a screenshot of the window is taken and the
#     colours of the mode box, the card box and the card list are checked
#     on it (the picture kept by --screenshot is the 64-bit program's).
#   scripts/wine-utility.sh                      build and test
#   scripts/wine-utility.sh --screenshot FILE    also keep the window's picture
set -euo pipefail
name=wine-utility
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
shot_out=
case $# in
    0) ;;
    1) case $1 in -h | --help) script_help; exit 0 ;; *) script_usage "unknown option '$1'" ;; esac ;;
    2) [ "$1" = --screenshot ] && [ -n "$2" ] || script_usage "unknown option '$1'"
       shot_out=$(realpath -m "$2") ;;
    *) script_usage "too many arguments" ;;
esac
cd "$(dirname "$0")/.."

for arch in i686 x86_64; do
    dir=build-win32ui-$arch
    tools=$arch-w64-mingw32
    configure "$dir" Release -DKESTRO_WERROR=ON -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake"
    cmake --build "$dir" -j 2 --target KestroConfigure fake_kestro_idtech fake_kestro_none \
        kestro_ui_driver
    exe=$dir/utility/win32/KestroConfigure.exe
    subsystem=$("$tools-objdump" -p "$exe" | awk '$1 == "Subsystem" {print $3, $4}')
    [ "$subsystem" = "(Windows GUI)" ] || fail "$exe is not a GUI program ($subsystem)"
    imports=$("$tools-objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort)
    for imp in $imports; do
        case $imp in
            kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | msvcrt.dll) ;;
            *) fail "$exe imports $imp, which is not a system DLL" ;;
        esac
    done
    echo "wine-utility: $exe imports only $(echo $imports)"
done

# shellcheck source=lib/wine64.sh
. scripts/lib/wine64.sh
command -v xvfb-run >/dev/null || fail "xvfb-run is missing (scripts/setup.sh installs it)"
command -v import >/dev/null || fail "ImageMagick is missing (scripts/setup.sh installs it)"

tmp=$(mktemp -d /tmp/kestro-wineui.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
trap cleanup EXIT

# The test directories in a prefix's drive C: each one holds the program
# and what the case needs beside it.
stage() {  # arch, root, name, double (idtech, none or nothing)
    local build=build-win32ui-$1 root=$2
    mkdir -p "$root/$3"
    cp "$build/utility/win32/KestroConfigure.exe" utility/README.TXT "$root/$3/"
    if [ -n "$4" ]; then
        cp "$build/utility/win32/tests/$4/kestro.dll" "$root/$3/"
    fi
}
stage_all() {  # arch, root
    stage "$1" "$2" reader idtech
    stage "$1" "$2" exit idtech
    stage "$1" "$2" noreader none
    stage "$1" "$2" nolibrary ""
    cp "build-win32ui-$1/utility/win32/tests/kestro_ui_driver.exe" "$2/"
}

# Everything that needs the display runs in one Xvfb session, with WINE (the
# command that starts a Windows program), ROOT (drive C's kestro-ui), OUT (a
# folder for output), BOOT (1: create the prefix first) and SHOT_OUT set.
cat >"$tmp/session.sh" <<'EOF'
set -uo pipefail
wine=$WINE
tmp=$OUT
root=$ROOT
shot_out=$SHOT_OUT
if [ "$BOOT" = 1 ] && ! timeout 300 "$wine" wineboot --init >"$tmp/wineboot.log" 2>&1; then
    tail -n 20 "$tmp/wineboot.log"
    echo "wine-utility: Wine could not create its prefix"
    exit 1
fi
# Wine draws the window's frame itself (there is no window manager), and
# renders the classic faces with a metric-alike face when one is installed:
# Liberation Sans (Arial's metrics, as setup installs it), else Nimbus Sans,
# whose taller lines overfill the design's 17-pixel labels.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
for twin in 'Liberation Sans' 'Nimbus Sans'; do
    [ -n "$(fc-list "$twin")" ] || continue
    for face in 'MS Sans Serif' Arial; do
        "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "$twin" /f \
            >/dev/null 2>&1
    done
    break
done

# Dominant colour of a screen rectangle of the screenshot, as #RRGGBB.
dominant() {  # x y w h
    convert "$tmp/screen.png" -crop "$3x$4+$1+$2" +repage -format %c histogram:info:- |
        sort -rn | head -n 1 | grep -o '#[0-9A-F]\{6\}'
}

# Answers the driver's screenshot request in the reader case.
take_shot() {  # directory of the case
    local request=$1/shot-request n=0
    while [ ! -f "$request" ] && [ $n -lt 1200 ]; do
        kill -0 "$driver" 2>/dev/null || return 0
        sleep 0.1
        n=$((n + 1))
    done
    [ -f "$request" ] || return 0
    sleep 0.5  # the last repaint
    import -window root "$tmp/screen.png"
    local ok=1 name x y w h want got
    while read -r name x y w h; do
        case $name in
            window) convert "$tmp/screen.png" -crop "${w}x$h+$x+$y" +repage -strip "$tmp/window.png" ;;
            txtMsrType | lstCardData) want='#E0E0E0' ;;
            txtCardData) want='#FFFFC0' ;;
        esac
        if [ "$name" != window ]; then
            got=$(dominant "$x" "$y" "$w" "$h")
            if [ "$got" = "$want" ]; then
                echo "ok   on the screen, $name is $want"
            else
                echo "FAIL on the screen, $name is $got, expected $want"
                ok=0
            fi
        fi
    done <"$request"
    [ $ok = 1 ] && echo ok >"$tmp/shot-colours"
    if [ -n "$shot_out" ] && [ -f "$tmp/window.png" ]; then
        cp "$tmp/window.png" "$shot_out"
    fi
    touch "$1/shot-done"
}

status=0
for case in reader exit noreader nolibrary; do
    args=("$case" "C:\\kestro-ui\\$case")
    [ "$case" = reader ] && args+=(--screenshot)
    (cd "$root" && timeout 240 "$wine" 'C:\kestro-ui\kestro_ui_driver.exe' "${args[@]}") \
        >"$tmp/$case.out" 2>"$tmp/$case.err" &
    driver=$!
    if [ "$case" = reader ]; then
        take_shot "$root/$case" >"$tmp/shot.out"
    fi
    rc=0
    wait "$driver" || rc=$?
    tr -d '\r' <"$tmp/$case.out"
    if [ "$case" = reader ]; then
        cat "$tmp/shot.out"
        [ -f "$tmp/shot-colours" ] || status=1
    fi
    if [ $rc -ne 0 ] || ! tr -d '\r' <"$tmp/$case.out" |
        grep -Eq "^kestro_ui_driver $case: [1-9][0-9]* passed, 0 failed\$"; then
        tail -n 20 "$tmp/$case.err"
        echo "wine-utility: the $case case failed (exit code $rc)"
        status=1
    fi
done
exit $status
EOF

# 64-bit: the machine's wine64, in a prefix of its own.
export WINEPREFIX=$tmp/prefix
mkdir -p "$tmp/out64"
stage_all x86_64 "$WINEPREFIX/drive_c/kestro-ui"
echo "wine-utility: x86_64: running KestroConfigure.exe under Wine and Xvfb"
status=0
WINE=$wine ROOT=$WINEPREFIX/drive_c/kestro-ui OUT=$tmp/out64 BOOT=1 SHOT_OUT=$shot_out \
    timeout 1200 xvfb-run -a -s "-screen 0 1024x768x24" bash "$tmp/session.sh" || status=$?
"$wineserver" -k >/dev/null 2>&1 || true
[ "$status" -eq 0 ] || fail "x86_64: KestroConfigure.exe failed its tests under Wine (status $status)"
if [ -n "$shot_out" ]; then
    [ -s "$shot_out" ] || fail "no screenshot was written to $shot_out"
    echo "wine-utility: the window's picture is in $shot_out"
fi
echo "wine-utility: x86_64: KestroConfigure.exe passed its tests under Wine"

# 32-bit: 32-bit Wine in an i386 root with its prepared prefix
# (scripts/wine32.sh); on a kernel that runs no 32-bit code this fails, it
# never passes.
echo "wine-utility: i686: preparing 32-bit Wine (scripts/wine32.sh)"
bash scripts/wine32.sh prepare "$tmp/w32"
root32=$tmp/w32/root/root/pfx/drive_c/kestro-ui
mkdir -p "$tmp/out32"
stage_all i686 "$root32"
echo "wine-utility: i686: running KestroConfigure.exe under 32-bit Wine and Xvfb"
status=0
ROOT=$root32 OUT=$tmp/out32 BOOT=0 SHOT_OUT='' timeout 1200 \
    xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/wine32.sh run "$tmp/w32" --x11 \
    --timeout 1100 -- bash -c 'WINE=$WINE32 bash "$1"' bash "$tmp/session.sh" || status=$?
[ "$status" -eq 0 ] || fail "i686: KestroConfigure.exe failed its tests under 32-bit Wine (status $status)"
echo "wine-utility: i686: KestroConfigure.exe passed its tests under 32-bit Wine"
