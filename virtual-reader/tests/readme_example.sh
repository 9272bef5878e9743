#!/usr/bin/env bash
# Runs the worked example of the README's "Testing your application without
# a reader" exactly as written there, in a private runtime directory, and
# checks what it prints.
#   readme_example.sh SOURCE_DIR BUILD_DIR
# Exit 77 (skipped) when /kestro.log exists: the library would trace into it.
set -euo pipefail
src=$1 build=$2
[ -e /kestro.log ] && { echo "/kestro.log exists: the library would trace into it"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
# The block between the markers, with the build tree in place of ./build.
awk '/<!-- readme-example: start -->/ {on = 1; next}
     /<!-- readme-example: end -->/ {on = 0}
     on && !/^```/' "$src/README.md" >"$work/example.sh"
[ -s "$work/example.sh" ] || { echo "no example block in the README"; exit 1; }
mkdir "$work/root"
ln -s "$build" "$work/root/build"
ln -s "$src/virtual-reader" "$work/root/virtual-reader"

cd "$work/root"
out=$(XDG_RUNTIME_DIR="$work" timeout 60 bash -e "$work/example.sh" 2>&1)
echo "$out"
expected=(
    "kestro-virtual-reader: serving 'demo' in USB/HID IDTECH"
    "application: reader refused the configuration (5), trying again"
    "application: configured"
    "application: read failed (3)"
    "application: track 1: %B4111111111111111^TEST/CARD A^30121010000000000000?"
    "ms: set MR_CMD_SET_STATE refused"
    "ms: set MR_CMD_SET_STATE accepted"
)
for line in "${expected[@]}"; do
    grep -qF -- "$line" <<<"$out" || { echo "missing: $line"; exit 1; }
done
echo "the README example ran as documented"
