# shellcheck shell=bash
# Finds the machine's 64-bit Wine for the scripts that run Windows programs:
# sets `wine` and `wineserver`, or ends the script with a message (fail of
# lib/common.sh, sourced here when the caller has not).
# Debian's wine64 package may leave wine64 off PATH, in /usr/lib/wine.
declare -F fail >/dev/null || . "$(dirname "${BASH_SOURCE[0]}")/common.sh"
wine=$(command -v wine64 || true)
if [ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ]; then
    wine=/usr/lib/wine/wine64
fi
[ -n "$wine" ] || fail "wine64 is missing (scripts/setup.sh installs it)"
wineserver=$(dirname "$wine")/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo true)
