#!/usr/bin/env bash
# Sets up a Debian 12 machine (scripts/setup.sh), builds Kestro and runs its
# test suites: all of them in the order below, or the ones named.
#   scripts/test.sh [SUITE...]
# A failing suite does not stop the others; the summary at the end gives each
# suite's result, time and CTest summary, and the status is 1 if any failed.
# --help prints the usage (status 0); an unknown suite prints it on standard
# error, status 2.
# shellcheck disable=SC2317  # the suites' functions are called through the table
set -euo pipefail
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
cd "$(dirname "$0")/.."

# name | function | what it runs. A new suite is one line here and one function.
suites=(
    "plain|suite_plain|a Debug build and every CTest test, then the kernel HID tests in qemu"
    "kit|suite_kit|the plain build installed; examples/read_card.c built against it twice (pkg-config, find_package), each reading a card"
    "sanitize|suite_sanitize|the same tests with AddressSanitizer and UndefinedBehaviorSanitizer"
    "memcheck|suite_memcheck|the library's tests under Valgrind memcheck"
    "windows|suite_windows|the Windows cross builds, their checks and tests under Wine, the kit"
    "winehid|suite_winehid|the kit's DLLs, the conformance program and the kit's 32-bit KestroConfigure.exe through Wine's HID stack against a uhid reader in Debian 12 in qemu"
    "packages|suite_packages|the Debian packages built, lintian, then installed, used and removed in Debian 12 in qemu"
    "fresh|suite_fresh|the README's commands on a new Debian 12 root: library-only build, main job, test set, build by hand"
)

usage() {  # status: 0 on standard output, else on standard error
    local entry name what names=all
    for entry in "${suites[@]}"; do
        names+="|${entry%%|*}"
    done
    {
        echo "usage: scripts/test.sh [$names]..."
        for entry in "${suites[@]}"; do
            IFS='|' read -r name _ what <<<"$entry"
            printf '  %-10s %s\n' "$name" "$what"
        done
    } >&$(($1 == 0 ? 1 : 2))
    exit "$1"
}

# The suites asked for, checked before anything is installed or built.
chosen=()
for arg in "${@:-all}"; do
    case $arg in -h | --help) usage 0 ;; esac
    found=0
    for entry in "${suites[@]}"; do
        name=${entry%%|*}
        if [ "$arg" = all ] || [ "$arg" = "$name" ]; then
            chosen+=("$entry")
            found=1
        fi
    done
    [ "$found" = 1 ] || usage 2
done

# A suite adds to its line of the summary with note.
notes=$(mktemp)
trap 'rm -f "$notes"' EXIT
note() {
    echo "$*" >>"$notes"
}

run_ctest() {  # name, extra cmake arguments...
    local name=$1 dir=build-$1
    shift
    configure "$dir" Debug -DKESTRO_WERROR=ON "$@"
    cmake --build "$dir" -j "$jobs"
    local log=$dir/ctest.log status=0
    (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 300) 2>&1 | tee "$log" || status=$?
    note "$(grep -E '% tests passed' "$log" || echo 'no CTest summary')"
    return "$status"
}

suite_plain() {
    run_ctest plain
    # The kernel HID tests in a virtual machine; the summary keeps their verdict.
    local status=0
    bash scripts/kernel-test.sh build-plain 2>&1 | tee build-plain/kernel-test.log || status=$?
    note "$(grep '^kernel-test: \(passed\|FAILED\)' build-plain/kernel-test.log | tail -n 1)"
    return "$status"
}

suite_kit() {
    [ -x build-plain/library/tests/kestro_tests ] || run_ctest plain
    bash scripts/kit-test.sh build-plain
}

suite_sanitize() {
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run_ctest sanitize -DKESTRO_SANITIZE=ON -DKESTRO_BENCH=OFF
}

suite_memcheck() {
    [ -x build-plain/library/tests/kestro_tests ] || run_ctest plain
    valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
        build-plain/library/tests/kestro_tests --gtest_brief=1
}

suite_windows() {
    bash scripts/windows.sh
    bash scripts/conformance.sh   # the platform's conformance program against Wine's system DLLs
    bash scripts/wine-utility.sh  # KestroConfigure.exe, the Win32 window, under Wine and Xvfb
    bash kit/windows/make-kit.sh  # the Windows kit, kestro-VERSION-windows.zip
}

suite_winehid() {
    local status=0 log=build-wine-hid/wine-hid-test.log
    mkdir -p build-wine-hid
    bash scripts/wine-hid-test.sh 2>&1 | tee "$log" || status=$?
    note "$(grep '^wine-hid-test: \(passed\|FAILED\)' "$log" | tail -n 1)"
    return "$status"
}

suite_packages() {
    local status=0 log=build-debian/package-test.log
    mkdir -p build-debian
    bash scripts/package-test.sh build-plain 2>&1 | tee "$log" || status=$?
    note "$(grep '^package-test: \(passed\|FAILED\)' "$log" | tail -n 1)"
    return "$status"
}

suite_fresh() {
    local status=0 log
    log=$(mktemp)
    bash scripts/fresh-test.sh 2>&1 | tee "$log" || status=$?
    note "$(grep '^fresh: \(passed in\|.* failed\)' "$log" | tail -n 1)"
    rm -f "$log"
    return "$status"
}

bash scripts/setup.sh test

summary=()
failed=0
for entry in "${chosen[@]}"; do
    IFS='|' read -r name function what <<<"$entry"
    echo "== $name: $what"
    : >"$notes"
    started=$SECONDS
    set +e
    (
        set -e
        "$function"
    )
    status=$?
    set -e
    took=$((SECONDS - started))
    result=passed
    if [ "$status" != 0 ]; then
        result="FAILED (status $status)"
        failed=1
    fi
    line=$(printf '%-10s %-18s %3d min %02d s' "$name" "$result" $((took / 60)) $((took % 60)))
    while IFS= read -r text; do
        line+=$'\n'"           $text"
    done <"$notes"
    summary+=("$line")
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
