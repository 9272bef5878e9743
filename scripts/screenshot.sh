#!/usr/bin/env bash
# Renders KestroConfigure under Xvfb against a virtual reader in the IDTECH
# mode, swipes the fake test cards A, B and C, and saves the window with its
# title bar as docs/kestroconfigure.png (the README's picture). Generated
# only: rerun this script after a change to the window.
#   scripts/screenshot.sh [FILE]   another file instead of docs/kestroconfigure.png
set -euo pipefail
name=screenshot.sh
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
script_args 1 "$@"
cd "$(dirname "$0")/.."
out=${1:-docs/kestroconfigure.png}

# Three cards two seconds apart, the picture a second after the third, the
# window closed a few seconds later.
bash scripts/run.sh --virtual --xvfb --swipe-every 2 --screenshot-cards 3 \
    --screenshot "$out" --demo-seconds 12
[ -s "$out" ] || { echo "screenshot.sh: no picture was made" >&2; exit 1; }
echo "screenshot.sh: $out"
