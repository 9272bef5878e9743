#!/usr/bin/env bash
# Runs the platform's conformance program (platform/conformance) as a
# Windows program: cross-built for x86_64 with MinGW-w64 and run under Wine
# against Wine's own kernel32, setupapi and hid. The same checks run against
# the platform layer as the CTest test kp_conformance.
#   scripts/conformance.sh
set -euo pipefail
name=conformance
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
script_args 0 "$@"
cd "$(dirname "$0")/.."

dir=build-win-x86_64
configure "$dir" Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
cmake --build "$dir" -j 2 --target kp_conformance
exe=$dir/platform/conformance/kp_conformance.exe
[ -f "$exe" ] || fail "$exe was not built"

# shellcheck source=lib/wine64.sh
. scripts/lib/wine64.sh

# A prefix of its own, removed afterwards; the program works in its own
# directory on drive C.
tmp=$(mktemp -d /tmp/kestro-conformance.XXXXXX)
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
trap cleanup EXIT

echo "conformance: creating a Wine prefix"
if ! timeout 300 "$wine" wineboot --init >"$tmp/wineboot.log" 2>&1; then
    tail -n 20 "$tmp/wineboot.log"
    fail "Wine could not create its prefix"
fi
work=$WINEPREFIX/drive_c/kp-conformance
mkdir -p "$work"
cp "$exe" "$work/"
status=0
(cd "$work" && timeout 300 "$wine" 'C:\kp-conformance\kp_conformance.exe') \
    >"$tmp/out" 2>"$tmp/err" || status=$?
tr -d '\r' <"$tmp/out"
if [ "$status" -ne 0 ] || ! tr -d '\r' <"$tmp/out" | grep -Eq '^kp_conformance: [1-9][0-9]* passed, 0 failed$'; then
    tail -n 20 "$tmp/err"
    fail "the conformance program failed under Wine (exit code $status)"
fi
echo "conformance: the conformance program passed under Wine"
