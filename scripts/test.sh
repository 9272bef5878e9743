#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds Kestro and runs every test: once as a
# plain build, once with AddressSanitizer and UndefinedBehaviorSanitizer,
# then cross-builds and checks the Windows library.
#   scripts/test.sh            everything
#   scripts/test.sh plain      only the plain build and its tests
#   scripts/test.sh sanitize   only the sanitizer build and its tests
#   scripts/test.sh memcheck   only the library tests under Valgrind
#   scripts/test.sh windows    only the Windows cross builds, their Wine tests and kit
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/setup.sh

summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

run_suite() {  # name, extra cmake arguments...
    local name=$1 dir=build-$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    local log=$dir/ctest.log status=0
    (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 300) 2>&1 | tee "$log" || status=$?
    echo "$name: $(grep -E '% tests passed' "$log" || echo 'no test summary')" >>"$summary"
    return "$status"
}

# Repeats each suite's own summary at the end, where it is easy to find.
print_summary() {
    echo "== summary"
    cat "$summary"
}

if [ "$what" = all ] || [ "$what" = plain ]; then
    echo "== plain build and tests"
    run_suite plain
    bash scripts/kernel-test.sh build-plain  # the kernel HID tests in a virtual machine
fi
if [ "$what" = all ] || [ "$what" = sanitize ]; then
    echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run_suite sanitize -DKESTRO_SANITIZE=ON -DKESTRO_BENCH=OFF
fi
if [ "$what" = all ] || [ "$what" = memcheck ]; then
    echo "== library tests under Valgrind memcheck"
    [ -x build-plain/library/tests/kestro_tests ] || run_suite plain
    valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
        build-plain/library/tests/kestro_tests --gtest_brief=1
fi
if [ "$what" = all ] || [ "$what" = windows ]; then
    echo "== Windows cross builds"
    bash scripts/windows.sh
    bash scripts/conformance.sh  # the platform's conformance program against Wine's system DLLs
    bash scripts/wine-utility.sh  # KestroConfigure.exe, the Win32 window, under Wine and Xvfb
    bash kit/windows/make-kit.sh  # the Windows kit, kestro-VERSION-windows.zip
fi
print_summary
