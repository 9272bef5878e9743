#!/usr/bin/env bash
# Every script under scripts/ and kit/ reads its arguments before it changes
# anything: --help prints its usage with status 0, a wrong call prints the
# usage on standard error with status 2. Each runs in a copy of the tree,
# with stand-ins on PATH for the tools that build, install or delete; a
# stand-in that is called, or a file of the copy that changes, fails the case.
# Then debian-packages.sh's output folder: it deletes only what it made.
#   scripts/tests/usage-test.sh
set -euo pipefail
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
script_args 0 "$@"
source_tree=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/usage-test-XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/tree" "$work/bin"
cp -r "$source_tree/scripts" "$source_tree/kit" "$work/tree/"
cp "$source_tree/CMakeLists.txt" "$work/tree/"
for tool in cmake ninja make cc gcc g++ apt-get apt dpkg dpkg-buildpackage dpkg-deb lintian \
    mmdebstrap qemu-system-x86_64 git wine wine64 wineserver xvfb-run Xvfb unshare chroot mount \
    umount useradd runuser rm mv cp tar zip unzip mkdir rmdir ln touch install sudo curl wget \
    mcs mono valgrind ctest; do
    printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\nexit 1\n' "$tool" "$work" >"$work/bin/$tool"
done
chmod +x "$work/bin/"*

# script | arguments | status | text wanted (on standard output for status 0,
# on standard error otherwise). Every script also gets a --help case and an
# unknown option below; these are the further wrong calls.
cases=(
    "scripts/debian-packages.sh|one two|2|usage: scripts/debian-packages.sh"
    "scripts/kit-test.sh|build-a build-b|2|usage: scripts/kit-test.sh"
    "scripts/setup.sh|run test|2|usage: scripts/setup.sh"
    "scripts/test.sh|plain nosuch|2|usage: scripts/test.sh"
    "scripts/run.sh|--demo-seconds soon|2|needs a whole number"
    "scripts/run.sh|--screenshot|2|needs a value"
    "scripts/wine32.sh|prepare|2|usage:"
    "scripts/wine-utility.sh|--screenshot|2|usage: scripts/wine-utility.sh"
    "scripts/wine-hid-latency.sh|--swipes 0|2|usage: scripts/wine-hid-latency.sh"
    "kit/windows/check-declarations.sh|a.h|2|usage: kit/windows/check-declarations.sh"
    "kit/windows/tests/csharp_card_test.sh|lib|2|usage: csharp_card_test.sh"
    "scripts/package-test-guest.sh||1|not the package-test guest"
)
mapfile -t scripts < <(cd "$source_tree" && find scripts kit -name '*.sh' ! -path 'scripts/lib/*' | sort)
[ "${#scripts[@]}" -ge 20 ] || fail "found only ${#scripts[@]} scripts under scripts/ and kit/"
for script in "${scripts[@]}"; do
    cases+=("$script|--help|0|${script##*/}" "$script|--no-such-option|2|usage")
done

snapshot() {
    (cd "$work/tree" && find . -printf '%p %s %T@ %m\n' | sort)
}
before=$(snapshot)
failures=0
for c in "${cases[@]}"; do
    IFS='|' read -r script args want_status want_text <<<"$c"
    read -r -a words <<<"$args"
    rm -f "$work/calls"
    status=0
    (cd "$work/tree" && PATH=$work/bin:$PATH HOME=$work/home TMPDIR=$work/tmp \
        bash "$script" "${words[@]}" >"$work/out" 2>"$work/err" </dev/null) || status=$?
    stream=$work/err
    [ "$want_status" != 0 ] || stream=$work/out
    problem=
    if [ "$status" != "$want_status" ]; then
        problem="status $status, wanted $want_status"
    elif ! grep -qF -- "$want_text" "$stream"; then
        problem="no '$want_text' on ${stream##*/}"
    elif [ -f "$work/calls" ]; then
        problem="it ran $(head -n 1 "$work/calls")"
    elif [ "$(snapshot)" != "$before" ]; then
        problem="it changed the tree: $(diff <(echo "$before") <(snapshot) | head -n 3 | tr '\n' ' ')"
    fi
    if [ -n "$problem" ]; then
        echo "FAIL $script $args: $problem"
        sed 's/^/    out: /' "$work/out" | head -n 5
        sed 's/^/    err: /' "$work/err" | head -n 5
        failures=$((failures + 1))
    fi
done
# debian-packages.sh deletes only what it made: its output folder must be
# new, empty, or filled by it before (its list). The build is a stand-in.
# folder (new, empty, own: filled by a run before, foreign: holds another
# file) | status | files left in it afterwards, sorted
mkdir -p "$work/deb-bin"
printf '#!/bin/sh\necho 1.0.0-1\n' >"$work/deb-bin/dpkg-parsechangelog"
printf '#!/bin/sh\ntouch ../kestro_1.0.0-1.dsc ../libkestro1_1.0.0-1_amd64.deb ../kestro_1.0.0-1_amd64.changes\n' \
    >"$work/deb-bin/dpkg-buildpackage"
printf '#!/bin/sh\nexit 0\n' >"$work/deb-bin/lintian"
chmod +x "$work/deb-bin/"*
made=".kestro-packages kestro_1.0.0-1.dsc kestro_1.0.0-1_amd64.changes libkestro1_1.0.0-1_amd64.deb"
folder_cases=(
    "new|0|$made"
    "empty|0|$made"
    "own|0|$made"
    "foreign|1|other.deb"
)
for c in "${folder_cases[@]}"; do
    IFS='|' read -r kind want_status want_left <<<"$c"
    out=$work/out-$kind
    case $kind in
        empty) mkdir "$out" ;;
        own) mkdir "$out" && touch "$out/libkestro1_0.9-1_amd64.deb" &&
            echo libkestro1_0.9-1_amd64.deb >"$out/.kestro-packages" ;;
        foreign) mkdir "$out" && touch "$out/other.deb" ;;
    esac
    status=0
    (cd "$work/tree" && PATH=$work/deb-bin:$PATH bash scripts/debian-packages.sh "$out" \
        >"$work/out" 2>&1) || status=$?
    left=$(cd "$out" && ls -A | sort | tr '\n' ' ')
    if [ "$status" != "$want_status" ] || [ "$left" != "$want_left " ]; then
        echo "FAIL debian-packages.sh into a $kind folder: status $status (wanted $want_status)," \
            "left: $left (wanted $want_left)"
        sed 's/^/    /' "$work/out" | tail -n 5
        failures=$((failures + 1))
    fi
    cases+=("debian-packages.sh into a $kind folder")
done

echo "usage-test: ${#cases[@]} calls of ${#scripts[@]} scripts, $failures failed"
[ "$failures" -eq 0 ]
