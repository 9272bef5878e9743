#!/usr/bin/env bash
# Builds Kestro's Debian packages from this tree with dpkg-buildpackage (the
# packaging is in debian/) and checks them with lintian:
#   libkestro1       the library and its udev rule
#   libkestro-dev    header, link name, kestro.pc, CMake package, example
#   kestro-tools     kestro, kestro-virtual-reader and their manual pages
#   kestroconfigure  the window, its menu entry and icon, README.TXT
#
#   scripts/debian-packages.sh [folder]      (default build-debian/packages)
#
# The folder receives the four .deb files, the source package and the
# .changes file. The tree (tracked and new files, no build trees) is copied
# to build-debian/src first, so the working tree stays as it was. lintian's
# remaining tags are overridden, each with its reason, in
# debian/*.lintian-overrides. Needs dpkg-dev, debhelper and lintian
# (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build-debian/packages}
work=build-debian
say() { echo "debian-packages: $*"; }

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
src=$work/src/kestro-$version
rm -rf "$work/src"
mkdir -p "$src" "$out"
out=$(cd "$out" && pwd)
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
export DEB_BUILD_OPTIONS="parallel=$(nproc 2>/dev/null || echo 2) ${DEB_BUILD_OPTIONS:-}"
say "building kestro $version in $src"
(cd "$src" && dpkg-buildpackage -us -uc) >"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log"
    say "FAILED: dpkg-buildpackage (whole log: $work/build.log)"
    exit 1
}

rm -f "$out"/*.deb "$out"/*.dsc "$out"/*.tar.* "$out"/*.changes "$out"/*.buildinfo
find "$work/src" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.dsc' -o -name '*.tar.*' \
    -o -name '*.changes' -o -name '*.buildinfo' \) -exec mv -t "$out" {} +
changes=$(ls "$out"/kestro_*.changes)

say "lintian"
lintian --info --display-info --fail-on error,warning,info "$changes" || {
    say "FAILED: lintian has more to say (above)"
    exit 1
}
say "packages in $out:"
(cd "$out" && ls -1 ./*.deb)
