#!/usr/bin/env bash
# Installs with apt-get what Kestro needs on Debian 12, only what is missing,
# and says what it installs and why. Run as root (or with sudo available).
#   scripts/setup.sh [test]   everything: building, running and testing
#   scripts/setup.sh run      only what scripts/run.sh needs to build and
#                             open KestroConfigure
set -euo pipefail

usage() {
    echo "usage: scripts/setup.sh [run|test]" >&2
    exit 2
}
want="test"
case $# in
    0) ;;
    1) case $1 in
           run | test) want=$1 ;;
           -h | --help) sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'; exit 0 ;;
           *) usage ;;
       esac ;;
    *) usage ;;
esac

# set | package | why. The test set is the run set and the rest.
packages=(
    "run|cmake|configures the build"
    "run|ninja-build|runs the build"
    "run|g++|compiles the library and the programs"
    "run|pkg-config|lets the build find Qt's and X11's parts"
    "run|qt6-base-dev|KestroConfigure's window (Qt 6 Widgets)"
    "run|libgl-dev|OpenGL headers that Qt 6 Widgets asks for"
    "run|libxtst-dev|the virtual reader types keyboard-mode cards into X"
    "run|xvfb|a display for the window where there is none"
    "run|xauth|X authority for the Xvfb display"
    "run|x11-utils|xdpyinfo and xwininfo: is the display up, where is the window"
    "run|imagemagick|import: the screenshot of the window"
    "run|openbox|a window manager, so the window has its title bar"
    "run|wmctrl|closes the window through the window manager"
    "run|fonts-liberation|fonts with the metrics of the window's faces"
    "run|xdg-utils|xdg-open: Help shows README.TXT with it"
    "run|xterm|the terminal xdg-open shows a text file in with vim"
    "test|libgtest-dev|GoogleTest: the unit tests"
    "test|libgmock-dev|GoogleMock: the unit tests"
    "test|libbenchmark-dev|Google Benchmark: the benchmarks"
    "test|clang-format|checks the code's format"
    "test|binutils|objdump and nm: the Windows DLL's exports and imports"
    "test|valgrind|the memcheck suite"
    "test|g++-mingw-w64-i686|the 32-bit Windows build"
    "test|g++-mingw-w64-x86-64|the 64-bit Windows build"
    "test|wine64|runs the Windows builds' tests"
    "test|qemu-system-x86|boots a kernel for the kernel HID tests"
    "test|cpio|packs the kernel HID tests' initramfs"
    "test|clang|builds an MSVC-style Windows program against kestro.lib"
    "test|lld|lld-link: links that program against kestro.lib"
    "test|llvm|llvm-dlltool: makes kestro.lib, the MSVC import library"
    "test|mono-mcs|mcs: compiles the kit's C# declarations for their test"
    "test|mono-runtime|mono: runs the C# test against libkestro.so"
    "test|zip|packs the Windows kit"
    "test|unzip|checks what the Windows kit's zip holds"
    "test|zstd|packs and unpacks the 32-bit Wine root"
    "test|e2fsprogs|mke2fs and debugfs: the 32-bit Wine root's disk for its virtual machine"
    "test|python3|the README's example application (ctypes) against the virtual reader"
    "test|dpkg-dev|dpkg-buildpackage: builds the Debian packages"
    "test|debhelper|dh: the Debian packages' build steps"
    "test|lintian|checks the Debian packages"
    "test|desktop-file-utils|desktop-file-validate: checks KestroConfigure's menu entry in the package build"
    "test|mmdebstrap|makes the Debian 12 system that installs the packages in qemu"
)

names=()
declare -A why=()
for entry in "${packages[@]}"; do
    IFS='|' read -r set name reason <<<"$entry"
    if [ "$want" = test ] || [ "$set" = run ]; then
        names+=("$name")
        why[$name]=$reason
    fi
done

installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${names[@]}" 2>/dev/null |
    awk '$NF == "installed" { print $1 }' || true)
missing=()
for name in "${names[@]}"; do
    grep -qxF "$name" <<<"$installed" || missing+=("$name")
done
if [ ${#missing[@]} = 0 ]; then
    echo "setup: the ${#names[@]} packages of the $want set are installed"
    exit 0
fi

echo "setup: installing ${#missing[@]} of the ${#names[@]} packages of the $want set" \
    "(with what they depend on):"
for name in "${missing[@]}"; do
    printf '  %-22s %s\n' "$name" "${why[$name]}"
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
log=$(mktemp "${TMPDIR:-/tmp}/kestro-setup-XXXXXX.log")
failed() {
    echo "setup: $1 failed; the end of its output ($log):" >&2
    tail -n 15 "$log" >&2
    exit 1
}

# apt-get's progress, kept short: each time it passes another 10 % of
# downloading and of installing. apt writes its status lines to descriptor 3;
# its own output and the maintainer scripts' go to the log, never to a pipe
# (a package's script that writes to a closed or odd standard output fails).
progress() {
    awk -F: '
        /^(dlstatus|pmstatus):/ {
            phase = ($1 == "dlstatus") ? "downloading" : "installing"
            if (phase != last) { last = phase; step = 0 }
            p = int($3 / 10)
            if (p > step) {
                step = p
                printf "setup: %s %3d%% %s\n", phase, p * 10, $4
                fflush()
            }
        }'
}

# Runs as root (through sudo when needed) with its output appended to the log;
# sudo closes descriptors above 2, so the redirections happen inside it.
as_root() {
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive bash -c '"$@" >>"$0" 2>&1' "$log" "$@"
}

# An earlier run (of this script or anything else) may have left dpkg half
# done; apt refuses to install anything until that is repaired.
if [ -n "$(dpkg --audit 2>/dev/null)" ]; then
    echo "setup: dpkg was left half done by an earlier run; repairing it" \
        "(dpkg --configure -a, apt-get -f install)"
    as_root dpkg --configure -a || failed "dpkg --configure -a"
    as_root apt-get install -f -y --no-install-recommends -o DPkg::Lock::Timeout=300 ||
        failed "apt-get -f install"
    echo "setup: repaired"
fi

echo "setup: updating the package lists"
as_root apt-get update -q || failed "apt-get update"
# The sizes, from a dry run, before anything is fetched.
LC_ALL=C apt-get install -s --no-install-recommends "${missing[@]}" 2>/dev/null |
    grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' | sed 's/^/setup: /' || true
started=$SECONDS
set +e
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive bash -c \
    '"$@" 3>&1 >>"$0" 2>&1' "$log" apt-get install -y --no-install-recommends \
    -o APT::Status-Fd=3 -o Dpkg::Use-Pty=0 -o DPkg::Lock::Timeout=300 "${missing[@]}" |
    progress
status=${PIPESTATUS[0]}
set -e
if [ "$status" != 0 ]; then
    echo "setup: apt-get install failed; the end of its output ($log):" >&2
    tail -n 15 "$log" >&2
    echo "setup: to repair and retry, run as root: dpkg --configure -a && apt-get -f install," \
        "then run this script again" >&2
    exit 1
fi
rm -f "$log"
echo "setup: done in $((SECONDS - started)) s"
