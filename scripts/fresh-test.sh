#!/usr/bin/env bash
# The README's commands on a new Debian 12 system, as a new user meets them:
# a minimal Debian 12 root made by mmdebstrap from this machine's package
# sources, with only what a fresh machine of ours comes with for building
# (g++, make, CMake; no GoogleTest, Benchmark or Qt), and a clean export of
# the commit under test (git archive HEAD, not the working tree) in
# /root/kestro. There, in a chroot with /proc, /sys and /dev inside a mount
# and process namespace, run as the README writes them (each read from the
# README):
#   1. "Using the library on Linux": the library-only build and its install
#      into $HOME/kestro, then the installed kestro --version;
#   2. the main job, bash scripts/run.sh, with KESTRO_DEMO_SECONDS set: it
#      must open the window against the virtual reader and save its
#      screenshot;
#   3. the setup of the test set (the test row of the package sets table);
#   4. "Building by hand": its configure and build (not its ctest).
# Each step's time is printed, and the summary at the end.
#   scripts/fresh-test.sh
# Runs as root. The root is made anew every run and removed after it. The
# downloaded .deb files are kept in fresh/debs of the cache folder
# (scripts/lib/cache.sh: /var/cache/kestro for root, a folder only root can
# change) and the compilations in fresh/ccache there (ccache is the one
# package the root gets beyond a fresh machine's; the builds use it through
# CMake's CMAKE_<LANG>_COMPILER_LAUNCHER environment variables, so the
# commands stay as written), so that a warm run downloads and compiles only
# what changed; KESTRO_FRESH_COLD=1 starts both empty (a cold run). KESTRO_FRESH_DEMO_SECONDS is the window's time (10).
set -euo pipefail
name=fresh
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
script_args 0 "$@"
# shellcheck source=lib/cache.sh
. "$(dirname "$0")/lib/cache.sh"
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || fail "needs root (mmdebstrap, chroot and mount namespaces)"
command -v mmdebstrap >/dev/null || fail "mmdebstrap is missing (scripts/setup.sh installs it)"
git rev-parse --verify -q HEAD >/dev/null || fail "needs a git checkout: the root gets git archive HEAD"
demo=${KESTRO_FRESH_DEMO_SECONDS:-10}
started=$SECONDS

cache=$(cache_dir)/fresh
mkdir -p "$cache/debs" "$cache/ccache"
if [ "${KESTRO_FRESH_COLD:-0}" = 1 ]; then
    cache=$(mktemp -d "$cache/cold.XXXXXX")
    mkdir -p "$cache/debs" "$cache/ccache"
fi
work=build-fresh
root=$work/root
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work") root=$work/root
cleanup() {
    rm -rf "$root"
    case $cache in */cold.*) rm -rf "$cache" ;; esac
}
trap cleanup EXIT
steps=()
step_done() {  # what, seconds
    steps+=("$(printf '%-48s %4d s' "$1" "$2")")
    say "$1: $2 s"
}

# --- The new root: minbase, and what a fresh machine has for building.
say "making a minimal Debian 12 root (.deb files from $cache/debs)"
mapfile -t mirrors < <(apt_sources bookworm)
[ "${#mirrors[@]}" -gt 0 ] || fail "this machine's apt configuration has no source for bookworm"
t=$SECONDS
# The .deb cache is apt's archive folder during the build (bound in its own
# mount namespace, so that no mount outlives mmdebstrap, whatever happens),
# and the downloaded packages stay there. dpkg in the root does not sync
# every file it writes (the root is thrown away); apt downloads no
# translations.
# shellcheck disable=SC2016  # the hooks' $1 is mmdebstrap's
if ! unshare --mount mmdebstrap --variant=minbase --include=g++,make,cmake,ccache \
    --skip=essential/unlink --skip=download/empty \
    --dpkgopt=force-unsafe-io --aptopt='Acquire::Languages "none"' \
    --setup-hook='mkdir -p "$1"/var/cache/apt/archives/' \
    --setup-hook="mount --bind '$cache/debs' \"\$1\"/var/cache/apt/archives" \
    --customize-hook='umount "$1"/var/cache/apt/archives' \
    bookworm "$root" "${mirrors[@]}" >"$work/mmdebstrap.log" 2>&1; then
    tail -n 30 "$work/mmdebstrap.log" >&2
    fail "mmdebstrap failed (whole log: $work/mmdebstrap.log)"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mkdir -p "$root/root/kestro"
git archive --format=tar HEAD | tar -xf - -C "$root/root/kestro"
step_done "minimal root made, the commit exported" $((SECONDS - t))

# --- The README's commands, read from the commit's README.
readme=$root/root/kestro/README.md
# The lines of the first sh block of a section ("## TITLE") that start with WORD.
block_lines() {  # title, word
    awk -v title="## $1" -v word="$2" '
        $0 == title {in_section = 1; next}
        in_section && /^## / {exit}
        in_section && /^```sh$/ && !done {in_block = 1; next}
        in_block && /^```/ {in_block = 0; done = 1; next}
        in_block && index($0, word " ") == 1 {print}' "$readme"
}
# The first command in backquotes on the table row that holds TEXT.
table_command() {  # text
    grep -F -- "$1" "$readme" | grep '^|' | head -n 1 | sed -n 's/^[^`]*`\([^`]*\)`.*/\1/p'
}
library_build=$(block_lines "Using the library on Linux" cmake)
main_job=$(table_command "Set up, build and open KestroConfigure")
test_setup=$(table_command "| test |")
by_hand=$(block_lines "Building by hand" cmake)
for part in library_build main_job test_setup by_hand; do
    [ -n "${!part}" ] || fail "the README has no command for $part"
done
printf '%s\n' "$library_build" "$main_job" "$test_setup" "$by_hand" | sed 's/^/fresh: README: /'

# --- Runs a script in the root: its own /proc, /sys, /dev and /tmp, the
# .deb cache as apt's archive folder and the compiler cache, as a new login
# of root in /root/kestro. Nothing of the session outlives the namespace.
in_root() {  # seconds, script
    local limit=$1 script=$2
    printf '%s\n' 'set -euo pipefail' 'cd /root/kestro' "$script" >"$root/root/step.sh"
    local setup='set -e
root=$1 debs=$2 ccache=$3
shift 3
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
mount -t tmpfs tmpfs "$root/run"
mount --bind "$debs" "$root/var/cache/apt/archives"
mkdir -p "$root/root/.ccache"
mount --bind "$ccache" "$root/root/.ccache"
exec chroot "$root" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 SHELL=/bin/bash \
    CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache \
    CCACHE_DIR=/root/.ccache CCACHE_BASEDIR=/root/kestro "$@"'
    timeout -k 10 "$limit" unshare --mount --pid --fork --kill-child \
        bash -c "$setup" bash "$root" "$cache/debs" "$cache/ccache" \
        bash /root/step.sh </dev/null
}
run_step() {  # what, seconds, script
    local what=$1 log t=$SECONDS status=0
    log=$work/$(echo "$what" | tr -c 'A-Za-z0-9\n' '-' | cut -c 1-40).log
    say "$what"
    in_root "$2" "$3" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 30 "$log" >&2
        fail "$what failed with status $status (whole log: $log)"
    fi
    step_done "$what" $((SECONDS - t))
}

# 1. The library with only a compiler and CMake, installed into $HOME/kestro,
# and the installed kestro.
run_step "library-only build and install" 1200 "$library_build
\"\$HOME/kestro/bin/kestro\" --version | tee /root/version.out
rm -rf build"
grep -q '1\.0\.0' "$root/root/version.out" || fail "the installed kestro --version printed no version"
! ls "$root"/usr/lib/x86_64-linux-gnu/libgtest* "$root"/usr/lib/x86_64-linux-gnu/libbenchmark* \
    "$root"/usr/lib/x86_64-linux-gnu/libQt6Widgets* >/dev/null 2>&1 ||
    fail "the library-only build ran on a root with GoogleTest, Benchmark or Qt"

# 2. The main job, for a few seconds: the window against the virtual reader.
run_step "the main job ($main_job)" 1800 "KESTRO_DEMO_SECONDS=$demo $main_job"
for line in "virtual reader '.*' serving" "KestroConfigure found the reader" "screenshot saved to"; do
    grep -q "^run.sh: $line" "$work"/the-main-job*.log || fail "the main job did not say: $line"
done
[ -s "$root/root/kestro/build-run/screenshots/kestroconfigure.png" ] ||
    fail "the main job saved no screenshot"

# 3. The test set.
run_step "setup of the test set ($test_setup)" 1800 "$test_setup"

# 4. Building by hand: configure and build.
run_step "configure and build by hand" 2400 "$by_hand"

say "summary"
printf '  %s\n' "${steps[@]}"
say "passed in $((SECONDS - started)) s"
