#!/usr/bin/env bash
# The shipped Windows builds against a reader on a real kernel HID stack, in
# a boot of the guest of scripts/wine-hid.sh: kestro.dll for x86 and x64
# from the Windows kit zip (kit/windows/make-kit.sh), each driven by
# library/wintest/kestro_hid_test.c through Wine's HID stack (the x86 one in
# 32-bit Wine, the x64 one in wine64), and the same program built for Linux
# against hidraw; before them the platform's conformance program for both
# architectures, whose HID checks then run against the reader. Each Windows
# trace (C:\kestro.log) is compared entry by entry with the Linux one
# (scripts/wine-hid-traces.sh). In a second boot, the kit's 32-bit
# KestroConfigure.exe with the kit's x86 kestro.dll runs on Xvfb in 32-bit
# Wine, driven by utility/win32/tests/ui_driver.cpp: it detects the reader,
# shows a card track by track with the counter, changes the mode IDTECH ->
# MAGTEK -> IDTECH, detecting each, and ends with Exit; a picture of the
# window with the first card is kept. A kit zip already built is used as it is.
#     --screenshot FILE   also writes the window's picture to FILE (PNG)
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: scripts/wine-hid-test.sh [--screenshot FILE] [--help]"
    sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'
}
shot_out=
case ${1:-} in
    -h | --help) usage; exit 0 ;;
    --screenshot)
        [ $# -eq 2 ] && [ -n "$2" ] || { usage >&2; exit 2; }
        shot_out=$(realpath -m "$2")
        ;;
    "") ;;
    *) usage >&2; exit 2 ;;
esac
say() { echo "wine-hid-test: $*"; }
fail() {
    echo "wine-hid-test: FAILED: $*"
    exit 1
}
started=$SECONDS
command -v convert >/dev/null || fail "ImageMagick's convert is missing (scripts/setup.sh installs it)"

# --- What runs in the guest: the kit's DLLs beside the Windows test
# programs, and the Linux build of the same program.
version=$(sed -nE 's/^project\(Kestro VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
zip=build-kit/kestro-$version-windows.zip
[ -f "$zip" ] || bash kit/windows/make-kit.sh
stage=build-wine-hid/stage
rm -rf "$stage"
mkdir -p "$stage/kit" "$stage/x86" "$stage/x64"
unzip -q "$zip" -d "$stage/kit"
for arch in i686 x86_64; do
    case $arch in i686) folder=x86 ;; *) folder=x64 ;; esac
    cmake --build "build-win-$arch" -j 2 --target kestro_hid_test >/dev/null
    cmake --build "build-win-$arch" -j 2 --target kp_conformance >/dev/null
    cp "build-win-$arch/library/wintest/kestro_hid_test.exe" \
        "build-win-$arch/platform/conformance/kp_conformance.exe" "$stage/$folder/"
    cp "$stage/kit/kestro-$version-windows/$folder/kestro.dll" "$stage/$folder/"
done
linux=build-wine-hid/linux
if [ ! -f "$linux/CMakeCache.txt" ]; then
    cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRO_WERROR=ON \
        -DKESTRO_UTILITY=OFF -DKESTRO_BENCH=OFF >/dev/null
fi
cmake --build "$linux" -j 2 --target kestro_hid_test_static >/dev/null
cp "$linux/library/wintest/kestro_hid_test_static" "$stage/kestro_hid_test"
# The window as users get it, beside the kit's 32-bit DLL, and its driver.
mkdir -p "$stage/ui"
cp "$stage/kit/kestro-$version-windows/KestroConfigure/KestroConfigure.exe" \
    "$stage/kit/kestro-$version-windows/KestroConfigure/README.TXT" \
    "$stage/kit/kestro-$version-windows/x86/kestro.dll" "$stage/ui/"
cmake --build build-win-i686 -j 2 --target kestro_ui_driver >/dev/null
cp build-win-i686/utility/win32/tests/kestro_ui_driver.exe "$stage/ui/"
# The window's faces are drawn with Liberation Sans (their metrics), as in
# the windows suite; the guest has no fonts of its own for Wine to use.
mkdir -p "$stage/fonts"
for face in Regular Bold; do
    font=/usr/share/fonts/truetype/liberation/LiberationSans-$face.ttf
    [ -f "$font" ] || fail "no $font (scripts/setup.sh installs fonts-liberation)"
    cp "$font" "$stage/fonts/"
done
say "kit and test programs staged ($((SECONDS - started)) s)"

cat >"$stage/job.sh" <<'JOB'
status=0
# Runs a Windows program of the staged folder in its prefix's drive C, its
# lines marked as the guest's.
windows() {  # 32|64, folder, program, arguments...
    local pfx=/root/pfx$1 bits=$1 folder=$2 result
    shift 2
    cp -r "$folder" "$pfx/drive_c/run/"
    # No answer left by a program that ended before it read it.
    rm -f "$READER/answer" "$READER/command"
    cd "$pfx/drive_c/run/$(basename "$folder")" || return 1
    echo "guest: --- $1 in $bits-bit Wine"
    "win$bits" "$@" 2>>"$OUT/wine$bits-stderr.txt" | tr -d '\r' | sed 's/^/guest: /'
    result=${PIPESTATUS[0]}
    # Each program gets a Wine session of its own, as a user's run has.
    "/usr/lib/wine/wineserver$bits" -k 2>/dev/null
    sleep 1
    cd /srv/wine-hid/files || return 1
    return "$result"
}
# Each program meets a reader that has just arrived in the IDTECH mode.
fresh_reader() {
    echo "guest: reader: $(reader plug idtech)"
}
# The platform's conformance program against Wine's HID stack.
fresh_reader
windows 32 x86 kp_conformance.exe || status=1
fresh_reader
windows 64 x64 kp_conformance.exe || status=1
# The library's session with the trace on: C:\kestro.log exists.
for bits in 32 64; do
    folder=x64
    [ "$bits" = 32 ] && folder=x86
    fresh_reader
    : >"/root/pfx$bits/drive_c/kestro.log"
    WINEDEBUG=+plugplay windows "$bits" "$folder" kestro_hid_test.exe 'C:\reader' || status=1
    cp "/root/pfx$bits/drive_c/kestro.log" "$OUT/trace-win$bits.log"
done
echo "guest: --- kestro_hid_test on Linux through hidraw"
fresh_reader
mkdir -p /tmp/linux-trace
: >/tmp/linux-trace/kestro.log
KESTRO_TRACE_DIR=/tmp/linux-trace ./kestro_hid_test "$READER" | sed 's/^/guest: /'
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
cp /tmp/linux-trace/kestro.log "$OUT/trace-linux.log"
exit $status
JOB

# The window in 32-bit Wine on Xvfb, in a boot of its own.
cat >"$stage/ui-job.sh" <<'JOB'
x11 || exit 1
# Wine draws the window's frame itself (there is no window manager) and the
# classic faces with Liberation Sans, from the prefix's own font folder.
cp fonts/*.ttf /root/pfx32/drive_c/windows/Fonts/
win32 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
for face in 'MS Sans Serif' Arial; do
    win32 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'Liberation Sans' /f \
        >/dev/null 2>&1
done
cd "$RUN32/ui" || exit 1
# The driver asks for the picture once the first card is shown: Xvfb's
# screen file is copied as it is then.
(
    for _ in $(seq 6000); do
        if [ -f shot-request ]; then
            sleep 0.5  # the last repaint
            cp "$SCREEN" "$OUT/screen.xwd"
            cp shot-request "$OUT/shot-request.txt"
            touch shot-done
            exit 0
        fi
        sleep 0.1
    done
) &
echo "guest: --- KestroConfigure.exe in 32-bit Wine on Xvfb"
win32 kestro_ui_driver.exe hid 'C:\run\ui' --screenshot 2>>"$OUT/wine32-ui-stderr.txt" |
    tr -d '\r' | tee "$OUT/ui-driver.txt" | sed 's/^/guest: /'
status=${PIPESTATUS[0]}
grep -Eq '^kestro_ui_driver hid: [1-9][0-9]* passed, 0 failed$' "$OUT/ui-driver.txt" || status=1
exit $status
JOB

# In both boots a reset keeps the reader away for 3 s: Wine 8's winebus
# loses a device that arrives while the one that left before it is still
# being removed (it takes the departed device off its list a second time,
# with links that are stale by then, which cuts the newcomer out), and that
# removal has been seen to take 0.8 s here. Windows has no such race; a
# real reader takes about a second to come back.
away=3000
out=build-wine-hid/out
out_ui=build-wine-hid/out-ui
rm -rf "$out" "$out_ui"  # this script's own results folders: nothing of an earlier run
status=0
bash scripts/wine-hid.sh --away-ms "$away" --out "$out" --file "$stage/x86" --file "$stage/x64" \
    --file "$stage/kestro_hid_test" --job "$stage/job.sh" || status=$?
say "the library's run done ($((SECONDS - started)) s)"
bash scripts/wine-hid.sh --away-ms "$away" --out "$out_ui" --file "$stage/ui" --file "$stage/fonts" \
    --job "$stage/ui-job.sh" || status=$?
# The picture: the window's rectangle, as the driver gave it, cut out of
# Xvfb's screen file.
if [ -s "$out_ui/screen.xwd" ] &&
    read -r _ x y w h < <(grep '^window ' "$out_ui/shot-request.txt" 2>/dev/null) &&
    convert "xwd:$out_ui/screen.xwd" -crop "${w}x$h+$x+$y" +repage -strip "$out_ui/window.png"; then
    say "the window's picture: $out_ui/window.png"
    if [ -n "$shot_out" ]; then
        cp "$out_ui/window.png" "$shot_out"
        say "written to $shot_out"
    fi
else
    say "no picture of the window came back"
    status=1
fi
for arch in 32 64; do
    if [ -s "$out/trace-win$arch.log" ] && [ -s "$out/trace-linux.log" ]; then
        bash scripts/wine-hid-traces.sh "$out/trace-win$arch.log" "$out/trace-linux.log" ||
            status=1
    else
        say "no trace of the $arch-bit run to compare"
        status=1
    fi
done
[ "$status" -eq 0 ] || fail "see above (wall time $((SECONDS - started)) s)"
say "passed (wall time $((SECONDS - started)) s)"
