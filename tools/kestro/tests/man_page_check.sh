#!/bin/sh
# kestro.1 against the program and the tree: every option that a command's
# --help names, and every environment variable that the library's headers
# name, stand in the page; the page renders without a warning.
#   man_page_check.sh KESTRO_PROGRAM kestro.1 SOURCE_DIR
set -eu
program=$1
page=$2
source=$3
status=0
for group in list read mode config stats; do
    for option in $("$program" "$group" --help | grep -o -- '--[a-z][a-z]*' | sort -u); do
        roff=$(printf '%s' "$option" | sed 's/-/\\\\-/g')
        grep -q -- "$roff" "$page" || { echo "kestro.1 lacks $option of $group"; status=1; }
    done
done
for variable in $(grep -rhoE '"KESTRO_[A-Z_]+"' "$source/platform/include" \
    "$source/served-protocol/include" | tr -d '"' | sort -u); do
    grep -q "^\.B $variable\$" "$page" || { echo "kestro.1 lacks $variable"; status=1; }
done
grep -q '^\.SH ENVIRONMENT$' "$page" || { echo "kestro.1 has no ENVIRONMENT"; status=1; }
if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || { echo "groff: $warnings"; status=1; }
fi
exit $status
