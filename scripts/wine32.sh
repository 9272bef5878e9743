#!/usr/bin/env bash
# Runs 32-bit Windows programs under Debian's 32-bit Wine without touching
# the machine's own packages: wine32 and its i386 libraries are unpacked into
# a folder of their own (a private APT configuration, never the machine's
# dpkg) and run there in a chroot, in a mount and process namespace that
# ends every Wine process with the run.
#
#   scripts/wine32.sh prepare DIR
#       DIR/root becomes the i386 root with a ready Wine prefix (/root/pfx),
#       restored from the cache; the first run on a machine builds the cache.
#   scripts/wine32.sh job DIR SCRIPT [SECONDS]
#       Runs SCRIPT with the root's /bin/sh (busybox) inside the root, in
#       drive C of the prefix, with WINE (the 32-bit wine), WINESERVER32 and
#       WINEPREFIX set; prints its output and exits with its exit code.
#   scripts/wine32.sh run DIR [--x11] [--timeout SECONDS] -- COMMAND...
#       Runs COMMAND (a program of this machine, e.g. bash SCRIPT) with
#       DIR/root's /proc, /dev and /tmp mounted, the X display bound into it
#       with --x11, and these in its environment:
#         WINE32        runs a Windows program: "$WINE32" 'C:\x.exe' ARGS...
#                       (the current directory is kept when it lies in the
#                       root, e.g. in the prefix's drive_c)
#         WINESERVER32  the Wine server, for -k and -w
#         WINEPREFIX    the prefix, as a path of this machine
#
# Wine needs a kernel that runs 32-bit x86 code. That is checked at run time
# by starting the root's static i386 busybox, inside the root's chroot (no
# program of the root ever runs outside it). On a kernel that refuses it
# ("Exec format error") a job runs in a virtual machine instead
# (scripts/lib/wine32-vm.sh: Debian's kernel under qemu, 20 s to minutes per
# job); run, which needs this machine's programs and display, then fails with
# a message saying so: neither passes without running.
# KESTRO_WINE32_BACKEND=auto (default), native or vm chooses by hand.
#
# The cache: the root with its prepared prefix, packed with zstd, with the
# checksum written when it was packed; it is unpacked only when it matches.
# As root (which this needs) it lives in $KESTRO_CACHE_DIR or
# /var/cache/kestro, a folder only root can change, checked
# (scripts/lib/cache.sh). Building it downloads about 140 MB of i386
# packages and their lists, unpacks them and starts Wine once.
set -euo pipefail
name=wine32
# shellcheck source=lib/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
# shellcheck source=lib/cache.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/cache.sh"

# Bumped whenever the recipe below changes what the cache holds.
RECIPE=1
PACKAGES=(wine32 busybox-static)

need_root() {
    [ "$(id -u)" -eq 0 ] || fail "needs root for chroot and mount namespaces (run as root)"
}

# Sets BACKEND: native when this kernel runs the root's static i386
# program (started in the root's chroot), else vm (KESTRO_WINE32_BACKEND
# chooses by hand); KERNEL_SAYS: what the check saw.
backend() {  # root
    local out rc=0
    out=$(chroot "$1" /bin/busybox echo i386 2>&1) || rc=$?
    KERNEL_SAYS="$1/bin/busybox: ${out:-exit $rc}"
    case ${KESTRO_WINE32_BACKEND:-auto} in
        native | vm) BACKEND=$KESTRO_WINE32_BACKEND ;;
        auto)
            BACKEND=vm
            if [ "$rc" -eq 0 ] && [ "$out" = i386 ]; then
                BACKEND=native
            fi
            ;;
        *) fail "KESTRO_WINE32_BACKEND must be auto, native or vm" ;;
    esac
}

# Exits with a clear message unless programs of the root run on this
# kernel (what run needs: this machine's programs and display beside Wine).
check_kernel() {  # root
    backend "$1"
    [ "$BACKEND" = native ] && return 0
    cat >&2 <<EOF
wine32: this kernel does not run 32-bit x86 programs ($KERNEL_SAYS).
wine32: 32-bit Wine beside this machine's programs and display needs IA32 emulation
wine32: (CONFIG_IA32_EMULATION, not ia32_emulation=0); only jobs without a display run in
wine32: a virtual machine (scripts/wine32.sh job). These 32-bit tests did NOT run.
EOF
    exit 1
}

# Busybox's applets that jobs use, where the root has no program of the name.
applet_links() {  # root
    local a
    for a in cat cp grep head ls mkdir rm sed sleep tail timeout tr; do
        [ -e "$1/bin/$a" ] || [ -e "$1/usr/bin/$a" ] || ln -s busybox "$1/bin/$a"
    done
}

# Runs SCRIPT in the root, natively or in the virtual machine.
job_in() {  # dir, script, seconds
    local dir=$1 script=$2 limit=$3
    [ -x "$dir/root/usr/lib/wine/wine" ] || fail "$dir holds no prepared root (run: $0 prepare $dir)"
    applet_links "$dir/root"
    backend "$dir/root"
    if [ "$BACKEND" = vm ]; then
        if [ "${KESTRO_WINE32_BACKEND:-auto}" = vm ]; then
            echo "wine32: KESTRO_WINE32_BACKEND=vm: the job runs in a virtual machine"
        else
            echo "wine32: this kernel runs no 32-bit code ($KERNEL_SAYS); the job runs in a virtual machine"
        fi
        # shellcheck source=lib/wine32-vm.sh
        . "$(dirname "${BASH_SOURCE[0]}")/lib/wine32-vm.sh"
        vm_job "$dir" "$script" "$limit"
        return
    fi
    cp "$script" "$dir/root/job.sh"
    local rc=0
    run_in "$dir" 0 "$limit" "$dir/wine" --sh /job.sh || rc=$?
    rm -f "$dir/root/job.sh"
    return "$rc"
}

# Downloads and unpacks the i386 packages into WORK/root. The lists and
# packages stay in APT (removed once the cache is made).
build_root() {  # work, apt
    local work=$1 root=$1/root apt=$2
    mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$root"
    : >"$apt/status"
    cat >"$apt/apt.conf" <<EOF
APT::Architecture "i386";
APT::Architectures { "i386"; };
APT::Install-Recommends "false";
APT::Install-Suggests "false";
Dir::State "$apt/state";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
Dir::Etc::SourceList "/dev/null";
Dir::Etc::SourceParts "/etc/apt/sources.list.d";
EOF
    export APT_CONFIG=$apt/apt.conf
    echo "wine32: downloading the i386 package lists and ${PACKAGES[*]} with dependencies"
    apt-get -qq update >"$apt/apt.log" 2>&1 || {
        tail -n 20 "$apt/apt.log" >&2
        fail "apt-get update failed"
    }
    apt-get -qq install --download-only -y "${PACKAGES[@]}" >>"$apt/apt.log" 2>&1 || {
        tail -n 20 "$apt/apt.log" >&2
        fail "downloading the i386 packages failed"
    }
    unset APT_CONFIG
    local debs
    debs=$(find "$apt/cache/archives" -name '*.deb' | sort)
    echo "wine32: unpacking $(echo "$debs" | wc -l) packages"
    for deb in $debs; do
        dpkg -x "$deb" "$root"
    done

    # No maintainer script ran. The one that matters: libwine's makes
    # Wine's zlib1.dll from MinGW's by writing Wine's builtin marker into
    # the DOS stub (bytes 64 to 95).
    local zsrc=$root/usr/i686-w64-mingw32/lib/zlib1.dll
    local zdst=$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
    [ -f "$zsrc" ] || fail "the unpacked packages lack $zsrc"
    {
        head -c 64 "$zsrc"
        printf 'Wine builtin DLL'
        head -c 16 /dev/zero
        tail -c +97 "$zsrc"
    } >"$zdst"

    ln -sf busybox "$root/bin/sh"
    rm -rf "$root/usr/share/doc" "$root/usr/share/man" "$root/usr/share/locale"
    # Wine's Windows-side builtins carry debug sections that only make the
    # root and the prefix (copies of them) twice as large; the builtin
    # marker is in the DOS stub and survives.
    find "$root/usr/lib/i386-linux-gnu/wine/i386-windows" -type f \
        \( -name '*.dll' -o -name '*.exe' -o -name '*.sys' -o -name '*.drv' \) -print0 |
        xargs -0 -n 64 i686-w64-mingw32-strip --strip-debug 2>/dev/null || true
    mkdir -p "$root/proc" "$root/dev" "$root/tmp" "$root/root"
}

# Runs COMMAND in a namespace with ROOT's mounts and the Wine wrappers.
run_in() {  # dir, x11 (0/1), timeout, command...
    local dir=$1 x11=$2 limit=$3
    shift 3
    local root=$dir/root
    [ -x "$root/usr/lib/wine/wine" ] || fail "$dir holds no prepared root (run: $0 prepare $dir)"
    check_kernel "$root"
    # The wrappers: one chroot per Windows program, in the namespace of the
    # run, so one Wine server serves the whole run.
    cat >"$dir/wine" <<EOF
#!/bin/bash
root=$root
chroot=$(command -v chroot)
EOF
    cat >>"$dir/wine" <<'EOF'
cwd=/root
[ -d "$root/root/pfx/drive_c" ] && cwd=/root/pfx/drive_c
case $PWD/ in "$root"/*) cwd=${PWD#"$root"} ;; esac
tool=/usr/lib/wine/wine
case ${1:-} in
    --server) tool=/usr/lib/wine/wineserver32 && shift ;;
    --sh) tool=/bin/sh && shift ;;
esac
exec env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 WINEPREFIX=/root/pfx \
    WINE=/usr/lib/wine/wine WINESERVER32=/usr/lib/wine/wineserver32 \
    WINESERVER=/usr/lib/wine/wineserver32 WINEDEBUG="${WINEDEBUG:--all}" \
    WINEDLLOVERRIDES="mscoree,mshtml=" ${DISPLAY:+DISPLAY=$DISPLAY} \
    ${DISPLAY:+XAUTHORITY=/tmp/.Xauthority} \
    "$chroot" "$root" /bin/sh -c 'cd "$1" && shift && exec "$@"' sh "$cwd" "$tool" "$@"
EOF
    printf '#!/bin/bash\nexec %q --server "$@"\n' "$dir/wine" >"$dir/wineserver"
    chmod +x "$dir/wine" "$dir/wineserver"

    local setup='set -e
root=$1 x11=$2
shift 2
mkdir -p "$root/proc" "$root/dev" "$root/tmp"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
if [ "$x11" = 1 ]; then
    mkdir -p "$root/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
    if [ -n "${XAUTHORITY:-}" ] && [ -f "$XAUTHORITY" ]; then
        cp "$XAUTHORITY" "$root/tmp/.Xauthority"
    fi
    # The fonts of this machine, so that windows look as in wine64.
    if [ -d /usr/share/fonts ]; then
        mkdir -p "$root/usr/local/share/fonts"
        mount --bind /usr/share/fonts "$root/usr/local/share/fonts"
    fi
fi
set +e
"$@"
rc=$?
"$WINESERVER32" -k >/dev/null 2>&1
exit $rc'
    local env=(WINE32="$dir/wine" WINESERVER32="$dir/wineserver" WINEPREFIX="$root/root/pfx")
    if [ "$x11" = 0 ]; then
        env+=(DISPLAY=)
    fi
    # unshare ignores SIGTERM; -k ends it, and with it every process of the
    # namespace.
    env "${env[@]}" timeout -k 5 "$limit" unshare --mount --pid --fork --kill-child \
        bash -c "$setup" bash "$root" "$x11" "$@"
}

prepare() {  # dir
    local dir=$1 cache tarball
    need_root
    cache=$(cache_dir)
    tarball=$cache/wine32-root-$RECIPE.tar.zst
    mkdir -p "$cache" "$dir"
    dir=$(realpath "$dir")
    exec 9>"$cache/wine32.lock"
    flock 9
    if ! checksum_check "$tarball"; then
        local start=$SECONDS work
        if [ -e "$tarball" ]; then
            echo "wine32: $tarball does not match the checksum written when it was made; building it again"
            rm -f "$tarball" "$tarball.sha256"
        fi
        echo "wine32: no cached root in $cache; building it (once per machine)"
        work=$(mktemp -d "$cache/wine32-build.XXXXXX")
        trap 'rm -rf "$work"' EXIT
        build_root "$work" "$cache/wine32-apt"
        echo "wine32: root built in $((SECONDS - start)) s; creating the Wine prefix"
        local t=$SECONDS
        printf '%s\n' 'cd /root || exit 1' \
            '"$WINE" wineboot --init >/tmp/wineboot.log 2>&1 && "$WINESERVER32" -w && exit 0' \
            'tail -n 20 /tmp/wineboot.log' 'exit 1' >"$work/wineboot.sh"
        if ! job_in "$work" "$work/wineboot.sh" 900; then
            [ "$BACKEND" = native ] || fail "Wine could not create its prefix in the virtual" \
                "machine (not working yet: kernel32.dll does not load there in a new prefix);" \
                "build $tarball on a machine whose kernel runs 32-bit code and copy it here"
            fail "Wine could not create its prefix in the i386 root"
        fi
        if [ -d "$work/vm" ]; then
            vm_pull "$work" /root/pfx
        fi
        echo "wine32: prefix created in $((SECONDS - t)) s; packing the cache"
        rm -rf "$work/wine" "$work/wineserver" "$work/wineboot.sh" "$work/vm"
        tar -C "$work" --zstd -cf "$tarball.part" root
        mv "$tarball.part" "$tarball"
        checksum_write "$tarball"
        rm -rf "$work" "$cache/wine32-apt"
        trap - EXIT
        echo "wine32: cache $tarball ($(du -h "$tarball" | cut -f1)) built in $((SECONDS - start)) s"
    fi
    exec 9>&-
    local t=$SECONDS
    rm -rf "$dir/root"
    tar -C "$dir" --zstd -xf "$tarball"
    echo "wine32: i386 root with its Wine prefix restored from $tarball in $((SECONDS - t)) s"
}

usage() {
    echo "usage: $0 prepare DIR | job DIR SCRIPT [SECONDS] |" \
        "run DIR [--x11] [--timeout SECONDS] -- COMMAND..." >&2
    exit 2
}

case ${1:-} in
    -h | --help)
        sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'
        exit 0
        ;;
    prepare)
        [ $# -eq 2 ] || usage
        prepare "$2"
        ;;
    job)
        [ $# -ge 3 ] && [ $# -le 4 ] || usage
        need_root
        job_in "$(realpath "$2")" "$3" "${4:-600}"
        ;;
    run)
        [ $# -ge 2 ] || usage
        need_root
        dir=$(realpath "$2")
        shift 2
        x11=0 limit=600
        while [ $# -gt 0 ]; do
            case $1 in
                --x11) x11=1 ;;
                --timeout)
                    limit=${2:-}
                    shift
                    ;;
                --) shift; break ;;
                *) usage ;;
            esac
            shift
        done
        [ $# -gt 0 ] || usage
        run_in "$dir" "$x11" "$limit" "$@"
        ;;
    *) usage ;;
esac
