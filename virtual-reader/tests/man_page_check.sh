#!/bin/sh
# kestro-virtual-reader.1 against the program: every option that its --help
# names stands in the page, so do the sections a manual page has, and the
# page renders without a warning.
#   man_page_check.sh PROGRAM kestro-virtual-reader.1
set -eu
program=$1
page=$2
status=0
for option in $("$program" --help | grep -o -- '--[a-z][a-z0-9-]*' | sort -u); do
    roff=$(printf '%s' "$option" | sed 's/-/\\\\-/g')
    grep -q -- "$roff" "$page" || { echo "the page lacks $option"; status=1; }
done
for section in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS "EXIT STATUS" ENVIRONMENT FILES \
    "SEE ALSO"; do
    grep -q "^\.SH $section\$" "$page" || { echo "the page has no $section"; status=1; }
done
grep -q '^\.TH [^ ]* 1 [0-9-]\{10\} ' "$page" || { echo "the page has no date"; status=1; }
# Each exit status the help names.
for code in $("$program" --help | sed -n '/^exit codes:/,$p' | grep -o '[0-9] [a-z]' | cut -c1); do
    grep -q "^\.B $code\$" "$page" || { echo "the page lacks exit status $code"; status=1; }
done
if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || { echo "groff: $warnings"; status=1; }
fi
exit $status
