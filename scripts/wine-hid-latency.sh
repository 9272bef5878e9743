#!/usr/bin/env bash
# How long a swipe takes to come back from ReadData through the Windows
# kit's 32-bit kestro.dll and Wine's HID stack, against the Linux build
# through hidraw, as a ratio from one boot of the guest of
# scripts/wine-hid.sh: library/wintest/kestro_hid_latency.c built for
# Windows (in 32-bit Wine) and statically for Linux, each against a reader
# that has just arrived. Both time from the reader's write of the report to
# ReadData's return on the guest's CLOCK_MONOTONIC_RAW; the median and the
# 90th percentile of each, and their ratios, come out last. Under TCG the
# times themselves mean little; the ratio is the figure. Not part of the
# test command's suites. A kit zip already built is used as it is.
#   scripts/wine-hid-latency.sh [--swipes N] [--help]     (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: scripts/wine-hid-latency.sh [--swipes N] [--help]"
}
swipes=30
while [ $# -gt 0 ]; do
    case $1 in
        -h | --help)
            sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
            exit 0
            ;;
        --swipes) swipes=${2:-}; shift ;;
        *) usage >&2; exit 2 ;;
    esac
    shift
done
[[ $swipes =~ ^[1-9][0-9]{0,2}$ ]] || { usage >&2; exit 2; }
say() { echo "wine-hid-latency: $*"; }
fail() {
    echo "wine-hid-latency: FAILED: $*"
    exit 1
}
started=$SECONDS

# --- The kit's x86 DLL beside the Windows program; the Linux program.
version=$(sed -nE 's/^project\(Kestro VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
zip=build-kit/kestro-$version-windows.zip
[ -f "$zip" ] || bash kit/windows/make-kit.sh
stage=build-wine-hid/latency-stage
rm -rf "$stage"
mkdir -p "$stage/kit" "$stage/x86"
unzip -q "$zip" -d "$stage/kit"
cmake --build build-win-i686 -j 2 --target kestro_hid_latency >/dev/null
cp build-win-i686/library/wintest/kestro_hid_latency.exe \
    "$stage/kit/kestro-$version-windows/x86/kestro.dll" "$stage/x86/"
linux=build-wine-hid/linux
if [ ! -f "$linux/CMakeCache.txt" ]; then
    cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRO_WERROR=ON \
        -DKESTRO_UTILITY=OFF -DKESTRO_BENCH=OFF >/dev/null
fi
cmake --build "$linux" -j 2 --target kestro_hid_latency_static >/dev/null
cp "$linux/library/wintest/kestro_hid_latency_static" "$stage/kestro_hid_latency"
echo "$swipes" >"$stage/swipes"
say "kit and programs staged ($((SECONDS - started)) s)"

cat >"$stage/job.sh" <<'JOB'
status=0
swipes=$(cat swipes)
echo "guest: reader: $(reader plug idtech)"
echo "guest: --- kestro_hid_latency on Linux through hidraw"
./kestro_hid_latency "$READER" "$swipes" | tee "$OUT/latency-linux.txt" | sed 's/^/guest: /'
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
echo "guest: reader: $(reader plug idtech)"
rm -f "$READER/answer" "$READER/command"
echo "guest: --- kestro_hid_latency.exe in 32-bit Wine"
cd "$RUN32/x86" || exit 1
win32 kestro_hid_latency.exe 'C:\reader' "$swipes" 2>>"$OUT/wine32-stderr.txt" |
    tr -d '\r' | tee "$OUT/latency-win32.txt" | sed 's/^/guest: /'
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
exit $status
JOB

out=build-wine-hid/latency-out
rm -rf "$out"
status=0
bash scripts/wine-hid.sh --out "$out" --file "$stage/x86" --file "$stage/kestro_hid_latency" \
    --file "$stage/swipes" --job "$stage/job.sh" || status=$?
[ "$status" -eq 0 ] || fail "the guest run (wall time $((SECONDS - started)) s)"
figure() {  # file, field (median|p90)
    sed -nE "s/^latency: median ([0-9.]+) us, p90 ([0-9.]+) us over .*/\\1 \\2/p" "$1" |
        awk -v f="$2" '{ print (f == "median") ? $1 : $2 }'
}
for side in linux win32; do
    [ -n "$(figure "$out/latency-$side.txt" median)" ] || fail "no figure from $side in $out"
done
lm=$(figure "$out/latency-linux.txt" median) lp=$(figure "$out/latency-linux.txt" p90)
wm=$(figure "$out/latency-win32.txt" median) wp=$(figure "$out/latency-win32.txt" p90)
say "Linux through hidraw:           median $lm us, p90 $lp us over $swipes swipes"
say "32-bit kestro.dll through Wine: median $wm us, p90 $wp us over $swipes swipes"
say "ratio Wine/Linux: median $(awk -v a="$wm" -v b="$lm" 'BEGIN { printf "%.1f", a / b }'), p90 $(awk -v a="$wp" -v b="$lp" 'BEGIN { printf "%.1f", a / b }') (wall time $((SECONDS - started)) s)"
