#!/usr/bin/env bash
# Checks that kestro_version.h says the version the library was built with:
# on Linux the library's file name (libkestro.so.MAJOR.MINOR.PATCH) and its
# SONAME (libkestro.so.MAJOR); for a Windows file (kestro.dll,
# KestroConfigure.exe) its version resource: the numbers, FileVersion and
# ProductVersion, CompanyName "Kestro" and the LegalCopyright of the
# project's holder.
#   check_version.sh kestro_version.h FILE...
set -euo pipefail
usage="usage: check_version.sh kestro_version.h FILE..."
for arg in "$@"; do
    case $arg in
        -h | --help) echo "$usage"; exit 0 ;;
        -*) echo "check_version.sh: unknown option '$arg'" >&2; echo "$usage" >&2; exit 2 ;;
    esac
done
[ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
header=$1
shift

macro() {
    sed -nE "s/^#define $1 \"?([0-9.]+)\"?[[:space:]]*$/\1/p" "$header"
}
major=$(macro KESTRO_VERSION_MAJOR) minor=$(macro KESTRO_VERSION_MINOR)
patch=$(macro KESTRO_VERSION_PATCH) string=$(macro KESTRO_VERSION_STRING)
problems=0
problem() {
    echo "version: $*"
    problems=$((problems + 1))
}
[ -n "$major" ] && [ -n "$minor" ] && [ -n "$patch" ] || problem "$header lacks a version macro"
[ "$string" = "$major.$minor.$patch" ] ||
    problem "KESTRO_VERSION_STRING \"$string\" is not $major.$minor.$patch"

for file in "$@"; do
    case $(head -c 4 "$file" | od -An -tx1 | tr -d ' ') in
        7f454c46)  # ELF: the real name and the SONAME
            real=$(basename "$(readlink -f "$file")")
            soname=$(objdump -p "$file" | awk '$1 == "SONAME" {print $2}')
            [ "$real" = "libkestro.so.$string" ] || problem "$file is $real, not libkestro.so.$string"
            [ "$soname" = "libkestro.so.$major" ] || problem "$file has SONAME $soname, not libkestro.so.$major"
            ;;
        4d5a*)  # PE: the version resource
            python3 - "$file" "$major" "$minor" "$patch" <<'PY' || problems=$((problems + 1))
import re, struct, sys
path, major, minor, patch = sys.argv[1], *map(int, sys.argv[2:])
data = open(path, "rb").read()
want = f"{major}.{minor}.{patch}"
bad = []
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    bad.append("no fixed version information")
else:
    fms, fls, pms, pls = struct.unpack_from("<4I", data, at + 8)
    numbers = [(fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF),
               (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF)]
    for n in numbers:
        if n != (major, minor, patch, 0):
            bad.append("version numbers %d.%d.%d.%d, not %s.0" % (*n, want))
# The string table: UTF-16 key, padding, UTF-16 value.
text = data.decode("utf-16-le", errors="replace") + data[1:].decode("utf-16-le", errors="replace")
def value(key):
    m = re.search(key + "\x00+([^\x00]+)\x00", text)
    return m.group(1) if m else None
for key, expected in (("FileVersion", want), ("ProductVersion", want), ("CompanyName", "Kestro")):
    if value(key) != expected:
        bad.append(f'{key} "{value(key)}", not "{expected}"')
copyright = value("LegalCopyright") or ""
if "The Kestro developers" not in copyright:
    bad.append(f'LegalCopyright "{copyright}" does not name The Kestro developers')
for b in bad:
    print(f"version: {path}: {b}")
sys.exit(1 if bad else 0)
PY
            ;;
        *) problem "$file is neither an ELF nor a Windows file" ;;
    esac
done
[ "$problems" -eq 0 ] || exit 1
echo "version: $string in kestro_version.h, as in $*"
