#!/usr/bin/env bash
# Builds Kestro's Debian packages from this tree with dpkg-buildpackage (the
# packaging is in debian/) and checks them with lintian:
#   libkestro1             the library, its udev rule and the group kestro
#   libkestro-dev          header, link name, kestro.pc, CMake package, example
#   kestro-tools           kestro and its manual page
#   kestro-virtual-reader  kestro-virtual-reader and its manual page
#   kestroconfigure        the window, its manual page, menu entry and icon,
#                          README.TXT
#
#   scripts/debian-packages.sh [folder]      (default build-debian/packages)
#
# The folder receives the five .deb files, the source package and the
# .changes file. It is the script's own: the default one under build-debian,
# a new or empty folder, or one it filled before (it keeps the list of what
# it wrote in .kestro-packages there and replaces only those files); a
# folder that holds anything else is refused, and nothing is deleted in it.
# The tree (tracked and new files, no build trees) is copied to
# build-debian/src first, so the working tree stays as it was. lintian's
# remaining tags are overridden, each with its reason, in
# debian/*.lintian-overrides. Needs dpkg-dev, debhelper and lintian
# (scripts/setup.sh installs them).
set -euo pipefail
name=debian-packages
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
script_args 1 "$@"
own=$(realpath -m "$(dirname "$0")/../build-debian/packages")
out=$(realpath -m "${1:-$own}")
cd "$(dirname "$0")/.."
work=build-debian
list=.kestro-packages
[ "$out" != "$own" ] || rm -rf "$own"

# The output folder: new, empty, or holding only what the list says this
# script wrote there.
if [ -e "$out" ] && [ ! -d "$out" ]; then
    fail "$out is not a folder"
fi
if [ -d "$out" ]; then
    others=$(cd "$out" && find . -mindepth 1 -maxdepth 1 ! -name "$list" -printf '%f\n' |
        grep -vxF -f <(cat "$list" 2>/dev/null; echo "$list") || true)
    [ -z "$others" ] || fail "$out holds files this script did not make" \
        "($(echo "$others" | head -n 3 | tr '\n' ' ')...); give a new or empty folder"
fi

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
src=$work/src/kestro-$version
rm -rf "$work/src"
mkdir -p "$src" "$out"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z -co --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$src"
else
    tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$src"
fi

# Compilations are shared with the other build trees through ccache.
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
export DEB_BUILD_OPTIONS="parallel=$jobs ${DEB_BUILD_OPTIONS:-}"
say "building kestro $version in $src"
(cd "$src" && dpkg-buildpackage -us -uc) >"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log"
    say "FAILED: dpkg-buildpackage (whole log: $work/build.log)"
    exit 1
}

# The files of the last run go; this run's take their place, and the list.
if [ -f "$out/$list" ]; then
    (cd "$out" && xargs -r -d '\n' rm -f -- <"$list")
fi
made=$(find "$work/src" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.dsc' -o -name '*.tar.*' \
    -o -name '*.changes' -o -name '*.buildinfo' \) -printf '%f\n' | sort)
echo "$made" >"$out/$list"
(cd "$work/src" && xargs -r -d '\n' mv -t "$out" -- <<<"$made")
changes=$(ls "$out"/kestro_*.changes)

say "lintian"
lintian --info --display-info --fail-on error,warning,info "$changes" || {
    say "FAILED: lintian has more to say (above)"
    exit 1
}
say "packages in $out:"
(cd "$out" && ls -1 ./*.deb)
