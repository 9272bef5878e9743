#!/usr/bin/env bash
# The shipped Windows builds against a reader on a real kernel HID stack, in
# one boot of the guest of scripts/wine-hid.sh: kestro.dll for x86 and x64
# from the Windows kit zip (kit/windows/make-kit.sh), each driven by
# library/wintest/kestro_hid_test.c through Wine's HID stack (the x86 one in
# 32-bit Wine, the x64 one in wine64), and the same program built for Linux
# against hidraw; before them the platform's conformance program for both
# architectures, whose HID checks then run against the reader. Each Windows
# trace (C:\kestro.log) is compared entry by entry with the Linux one
# (scripts/wine-hid-traces.sh). A kit zip already built is used as it is.
#   scripts/wine-hid-test.sh [--help]
set -euo pipefail
cd "$(dirname "$0")/.."

case ${1:-} in
    -h | --help)
        sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    "") ;;
    *)
        echo "usage: scripts/wine-hid-test.sh [--help]" >&2
        exit 2
        ;;
esac
say() { echo "wine-hid-test: $*"; }
fail() {
    echo "wine-hid-test: FAILED: $*"
    exit 1
}
started=$SECONDS

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
    # Each program gets a Wine session of its own: within one, winebus does
    # not present again a device whose ids it presented before.
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

out=build-wine-hid/out
rm -rf "$out"  # this script's own results folder: no trace of an earlier run
status=0
bash scripts/wine-hid.sh --out "$out" --file "$stage/x86" --file "$stage/x64" \
    --file "$stage/kestro_hid_test" --job "$stage/job.sh" || status=$?
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
