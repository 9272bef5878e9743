#!/bin/sh
# Compares the functions that a shared library exports with the EXPORTS list
# of the module definition file, and checks that the library binds none of
# them through its dynamic symbol table (where another definition of the same
# name would take over its calls). Usage: check_exports.sh LIBRARY DEF_FILE
set -eu
lib=$1
def=$2
expected=$(sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | tr -d ' \r' | grep -v '^$' | sort)
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbVvRr]$/ {print $3}' | sort)
if [ "$expected" != "$actual" ]; then
    echo "exports differ from $def:"
    # The listing goes to a private temporary folder of this run only.
    work=$(mktemp -d)
    printf '%s\n' "$expected" >"$work/expected"
    printf '%s\n' "$actual" | diff "$work/expected" - || true
    rm -rf "$work"
    exit 1
fi
bound=$(objdump -R "$lib" | awk 'NF == 3 {sub(/@.*/, "", $3); print $3}' | sort -u)
for name in $expected; do
    if printf '%s\n' "$bound" | grep -qx "$name"; then
        echo "$lib reaches its own $name through a dynamic relocation"
        exit 1
    fi
done
echo "$(printf '%s\n' "$actual" | wc -l) exports, as listed, none bound dynamically"
