#!/usr/bin/env bash
# check_version.sh passes kestro_version.h against the library it was built
# with, and fails on each of these faults, made in a copy of the header:
# sed expression | fault.
#   check_version_test.sh kestro_version.h LIBRARY
set -euo pipefail
usage="usage: check_version_test.sh kestro_version.h LIBRARY"
case ${1:-} in
    -h | --help) echo "$usage"; exit 0 ;;
    -*) echo "check_version_test.sh: unknown option '$1'" >&2; echo "$usage" >&2; exit 2 ;;
esac
[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
header=$1 library=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cases=(
    's/^\(#define KESTRO_VERSION_MAJOR \).*/\19/; s/^\(#define KESTRO_VERSION_STRING "\)[0-9]*/\19/|another major version'
    's/^\(#define KESTRO_VERSION_PATCH \).*/\19/; s/^\(#define KESTRO_VERSION_STRING "[0-9]*\.[0-9]*\.\)[0-9]*/\19/|another patch level'
    's/^\(#define KESTRO_VERSION_STRING "\)/\19/|a string that differs from the numbers'
    '/^#define KESTRO_VERSION_MINOR/d|a number missing'
)
fails=0
if ! bash "$here/check_version.sh" "$header" "$library"; then
    echo "FAIL the header is rejected against its own library"
    fails=$((fails + 1))
fi
for c in "${cases[@]}"; do
    IFS='|' read -r expr fault <<<"$c"
    sed "$expr" "$header" >"$tmp/kestro_version.h"
    if cmp -s "$header" "$tmp/kestro_version.h"; then
        echo "FAIL $fault: the fault was not made ($expr)"
        fails=$((fails + 1))
    elif bash "$here/check_version.sh" "$tmp/kestro_version.h" "$library" >"$tmp/out" 2>&1; then
        echo "FAIL $fault: not found"
        fails=$((fails + 1))
    else
        echo "ok   $fault: $(head -n 1 "$tmp/out")"
    fi
done
[ "$fails" -eq 0 ]
