#!/usr/bin/env bash
# scripts/test.sh and scripts/setup.sh in a copy of the scripts, with
# stand-ins for apt-get, dpkg-query, valgrind and the Windows scripts on PATH:
# usage errors, the package sets, the output of setup and the test summary.
#   scripts/tests/commands-test.sh
set -euo pipefail
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
script_args 0 "$@"
source_scripts=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/commands-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/repo/scripts/lib" "$work/bin" "$work/repo/build-plain/library/tests"
cp "$source_scripts/test.sh" "$source_scripts/setup.sh" "$work/repo/scripts/"
cp "$source_scripts/lib/common.sh" "$work/repo/scripts/lib/"
echo 'echo "windows stand-in ran"' >"$work/repo/scripts/windows.sh"
echo 'echo "wine stand-in ran"' >"$work/repo/scripts/wine-utility.sh"
echo 'echo "conformance stand-in ran"' >"$work/repo/scripts/conformance.sh"
mkdir -p "$work/repo/kit/windows"
echo 'echo "kit stand-in ran"' >"$work/repo/kit/windows/make-kit.sh"
printf '#!/bin/sh\nexit 0\n' >"$work/repo/build-plain/library/tests/kestro_tests"
chmod +x "$work/repo/build-plain/library/tests/kestro_tests"

# dpkg-query knows every package but those in FAKE_MISSING.
cat >"$work/bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
shift 2
for p in "$@"; do
    [[ " $FAKE_MISSING " == *" $p "* ]] || echo "$p install ok installed"
done
FAKE
# apt-get records its calls and talks like apt-get: a dry run gives the
# sizes, an install its status lines on the descriptor it is given. A status
# descriptor of 1 fails the way a maintainer script that writes to standard
# output fails on a fresh machine.
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE_CALLS"
[ "$1" = update ] && exit 0
if [[ " $* " == *" -s "* ]]; then
    echo "2 upgraded, 3 newly installed, 0 to remove and 0 not upgraded."
    exit 0
fi
fd=
for arg in "$@"; do
    case $arg in APT::Status-Fd=*) fd=${arg#*=} ;; esac
done
if [ "$fd" = 1 ]; then
    echo "Unable to flush stdout: Bad file descriptor" >&2
    exit 100
fi
echo "Reading package lists..."
echo "Get:1 http://deb.example/debian bookworm/main amd64 xterm 379-1 [840 kB]"
for line in "dlstatus:1:4:Retrieving file 1 of 2" "dlstatus:1:9:Retrieving file 1 of 2" \
    "dlstatus:2:52:Retrieving file 2 of 2" "pmstatus:xterm:12:Installing xterm" \
    "pmstatus:xterm:96:Configuring xterm"; do
    [ -z "$fd" ] || echo "$line" >&"$fd"
done
[ "$FAKE_APT_STATUS" = 0 ] || echo "E: Sub-process /usr/bin/dpkg returned an error code (1)" >&2
exit "$FAKE_APT_STATUS"
FAKE
# dpkg reports half-done packages (FAKE_AUDIT) and records the repair.
cat >"$work/bin/dpkg" <<'FAKE'
#!/usr/bin/env bash
echo "dpkg $*" >>"$FAKE_CALLS"
[ "$1" = --audit ] && printf '%s' "$FAKE_AUDIT"
exit 0
FAKE
# shellcheck disable=SC2016  # expanded by the stand-in
printf '#!/bin/sh\necho "valgrind $*" >>"$FAKE_CALLS"\nexit "$FAKE_VALGRIND_STATUS"\n' >"$work/bin/valgrind"
chmod +x "$work/bin/"*

failures=0
# command | missing packages | apt-get status | valgrind status | status | lines wanted (;) | lines not wanted (;)
# A command after 'half-done' runs with dpkg reporting half-configured packages.
cases=(
    "test.sh nosuch||0|0|2|usage: scripts/test.sh [all|plain|sanitize|memcheck|windows]...|== summary;setup:"
    "test.sh --help||0|0|0|usage: scripts/test.sh;  memcheck   the library's tests under Valgrind memcheck|setup:"
    "test.sh plain plian||0|0|2|usage: scripts/test.sh|setup:"
    "setup.sh||0|0|0|setup: the 42 packages of the test set are installed|apt-get"
    "setup.sh run|valgrind|0|0|0|setup: the 16 packages of the run set are installed|apt-get"
    "setup.sh run|xterm cpio xdg-utils|0|0|0|setup: installing 2 of the 16 packages of the run set (with what they depend on):;  xdg-utils              xdg-open: Help shows README.TXT with it;  xterm                  the terminal xdg-open shows a text file in with vim;apt-get update -q;apt-get install -y --no-install-recommends -o APT::Status-Fd=3 -o Dpkg::Use-Pty=0 -o DPkg::Lock::Timeout=300 xdg-utils xterm;setup: 2 upgraded, 3 newly installed;setup: downloading  50% Retrieving file 2 of 2;setup: installing  10% Installing xterm;setup: installing  90% Configuring xterm;setup: done in|cpio;Get:1;dlstatus;pmstatus;downloading   0%;Reading package lists"
    "setup.sh test|cpio|1|0|1|setup: installing 1 of the 42 packages of the test set;  cpio                   packs the kernel HID tests' initramfs;setup: apt-get install failed; the end of its output;E: Sub-process /usr/bin/dpkg returned an error code (1);run as root: dpkg --configure -a|setup: done in"
    "half-done setup.sh run|xterm|0|0|0|setup: dpkg was left half done by an earlier run;dpkg --configure -a;apt-get install -f -y;setup: repaired;installing  90% Configuring xterm;setup: done in|FAILED"
    "setup.sh run test||0|0|2|usage: scripts/setup.sh [run|test]|apt-get"
    "test.sh memcheck windows||0|1|1|setup: the 42 packages of the test set are installed;== memcheck: the library's tests under Valgrind memcheck;valgrind --quiet --error-exitcode=1;windows stand-in ran;conformance stand-in ran;wine stand-in ran;kit stand-in ran;== summary;memcheck   FAILED (status 1)    0 min ;windows    passed               0 min |== plain"
    "test.sh windows||0|0|0|== summary;windows    passed|memcheck"
)
for c in "${cases[@]}"; do
    IFS='|' read -r command missing apt_status valgrind_status want_status wanted unwanted <<<"$c"
    audit=
    if [[ $command == "half-done "* ]]; then
        command=${command#half-done }
        audit="The following packages are only half configured"
    fi
    read -r -a words <<<"$command"
    rm -f "$work/calls"
    touch "$work/calls"
    status=0
    out=$(cd "$work" && PATH=$work/bin:$PATH FAKE_MISSING=$missing FAKE_APT_STATUS=$apt_status \
        FAKE_VALGRIND_STATUS=$valgrind_status FAKE_CALLS=$work/calls FAKE_AUDIT=$audit TMPDIR=$work \
        bash "repo/scripts/${words[0]}" "${words[@]:1}" 2>&1 </dev/null) || status=$?
    all=$out$'\n'$(cat "$work/calls")
    fail() {
        echo "FAILED: $command: $*"
        printf '    %s\n' "$all"
        failures=$((failures + 1))
    }
    [ "$status" = "$want_status" ] || fail "status $status, wanted $want_status"
    IFS=';' read -r -a lines <<<"$wanted"
    for line in "${lines[@]}"; do
        [[ $all == *"$line"* ]] || fail "no '$line'"
    done
    IFS=';' read -r -a lines <<<"$unwanted"
    for line in "${lines[@]}"; do
        [[ $all != *"$line"* ]] || fail "'$line' is there"
    done
    for left in "$work"/kestro-setup-*; do
        if [ -e "$left" ] && [ "$status" = 0 ]; then
            fail "setup left $left behind"
        fi
        rm -f "$left"
    done
done

[ "$failures" = 0 ] || exit 1
echo "test.sh and setup.sh behave as expected"
