#!/usr/bin/env bash
# Compares the trace a Windows build of the library wrote through Wine's HID
# stack with the one the Linux build wrote through hidraw for the same
# session against the same reader, entry by entry. They may differ only
# where the values must; each such difference is named in the table below,
# and every other difference fails the comparison.
#   scripts/wine-hid-traces.sh WINDOWS-TRACE LINUX-TRACE
set -euo pipefail

usage() {
    echo "usage: scripts/wine-hid-traces.sh WINDOWS-TRACE LINUX-TRACE" >&2
    exit 2
}
case ${1:-} in
    -h | --help)
        sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
esac
[ $# -eq 2 ] && [ -f "$1" ] && [ -f "$2" ] || usage

# The differences allowed, one a line: the field (a name before "=" in an
# entry, without its index), and why the two systems give it its own value.
allowed='
time|the time of the call (and the C runtimes write the day of the month differently)
hd|handles are numbers each system gives out
hdr|handles are numbers each system gives out
hev|handles are numbers each system gives out
hdx|addresses of the interface records differ between processes
pbuf|addresses of the callers buffers differ between processes
path|device paths: Windows names a HID interface, Linux a hidraw node
nod|the number of HID interfaces listed: Wine also lists its own mouse, keyboard and a 0000:0000 device
pw1|the statistics passwords are made from the clock (gtime) at the call
'

# One entry a line; the time in a header becomes the field time=..., the
# buffer address of MrRead the field pbuf=..., the device path path=...
entries() {  # trace
    tr -d '\r' <"$1" | sed -E \
        -e 's/([-]{3,}) *([A-Z][a-z]{2}) ([A-Z][a-z]{2}) +([0-9]+) ([0-9:]{8}) ([0-9]{4})/\1 time=\2_\3_\4_\5_\6/' \
        -e 's/MrRead\( ([0-9A-F]{8}),/MrRead( pbuf=\1 /' \
        -e 's/^ *--> (.*[^ ]) *$/--> path=\1/' |
        sed -E 's/^ +//; s/ +$//' | grep -v '^$' || true
}

windows=$(mktemp) linux=$(mktemp)
trap 'rm -f "$windows" "$linux"' EXIT
entries "$1" >"$windows"
entries "$2" >"$linux"

awk -v allowed="$allowed" -v wname="$1" -v lname="$2" '
BEGIN {
    n = split(allowed, rows, "\n")
    for (i = 1; i <= n; i++) {
        if (rows[i] == "") continue
        split(rows[i], f, "|")
        why[f[1]] = f[2]
    }
}
# Entries of other devices go: an interface whose path names another
# vendor, with the open that follows it; and the list of the session
# records (myHidDev), which holds every interface listed.
function keep(line, side) {
    if (skip_next[side]) { skip_next[side] = 0; return 0 }
    if (line ~ /^--> path=/ && line ~ /vid_/ && line !~ /vid_3e7a/) {
        skip_next[side] = 1
        others[side]++
        return 0
    }
    if (line ~ /^myHidDev\[/) { records[side]++; return 0 }
    return 1
}
FNR == NR { if (keep($0, "w")) w[++wn] = $0; next }
{ if (keep($0, "l")) l[++ln] = $0 }
function key_of(word,   eq) { eq = index(word, "="); return eq ? substr(word, 1, eq - 1) : "" }
function base_of(key) { sub(/\[[0-9]+\]$/, "", key); return key }
END {
    bad = 0
    m = wn < ln ? wn : ln
    for (i = 1; i <= m && !bad; i++) {
        if (w[i] == l[i]) continue
        a = split(w[i], ww, " ")
        b = split(l[i], lw, " ")
        if (a != b) {
            printf "wine-hid-traces: entry %d differs:\n  windows: %s\n  linux:   %s\n", i, w[i], l[i]
            bad = 1
            break
        }
        for (j = 1; j <= a; j++) {
            if (ww[j] == lw[j]) continue
            k = key_of(ww[j])
            if (k != "" && k == key_of(lw[j]) && (base_of(k) in why)) {
                named[base_of(k)]++
                continue
            }
            printf "wine-hid-traces: entry %d differs in \"%s\" / \"%s\":\n  windows: %s\n  linux:   %s\n", i, ww[j], lw[j], w[i], l[i]
            bad = 1
        }
    }
    if (!bad && wn != ln) {
        printf "wine-hid-traces: %s has %d entries, %s %d; the first beyond: %s\n", wname, wn, lname, ln, wn > ln ? w[m + 1] : l[m + 1]
        bad = 1
    }
    printf "wine-hid-traces: %s: %d entries of other devices and %d session records left out (linux: %d, %d)\n", wname, others["w"], records["w"], others["l"], records["l"]
    for (k in named) printf "wine-hid-traces: %-5s differs in %4d entries: %s\n", k, named[k], why[k]
    printf "wine-hid-traces: %d entries compared: %s\n", m, bad ? "FAILED" : "the same but for the differences named"
    exit bad
}' "$windows" "$linux"
