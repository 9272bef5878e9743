#!/bin/sh
# Compares the functions that a shared library exports with the EXPORTS list
# of the module definition file. Usage: check_exports.sh LIBRARY DEF_FILE
set -eu
lib=$1
def=$2
expected=$(sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | tr -d ' \r' | grep -v '^$' | sort)
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbVvRr]$/ {print $3}' | sort)
if [ "$expected" != "$actual" ]; then
    echo "exports differ from $def:"
    printf '%s\n' "$expected" > /tmp/kestro-exports-expected.$$
    printf '%s\n' "$actual" | diff /tmp/kestro-exports-expected.$$ - || true
    rm -f /tmp/kestro-exports-expected.$$
    exit 1
fi
echo "$(printf '%s\n' "$actual" | wc -l) exports, as listed"
