#!/usr/bin/env bash
# The declaration check passes on the kit's files and fails on each of
# these faults, made in a copy of the declarations and samples:
# file | sed expression | fault.
#   check_declarations_test.sh
set -euo pipefail
# shellcheck source=../../../scripts/lib/common.sh
. "$(dirname "$0")/../../../scripts/lib/common.sh"
script_args 0 "$@"
here=$(cd "$(dirname "$0")/.." && pwd)
header=$here/../../library/include/kestro.h
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cases=(
    'kestro.bas|0,/ByRef pbuf As Byte) As Long/s//ByVal pbuf As Byte) As Long/|a buffer passed ByVal'
    'kestro.bas|/Declare Function FlushCounter /d|a function missing in the VB6 branch'
    'kestro.bas|0,/, ByVal tag As Long/s///|an argument missing'
    'kestro.bas|0,/SetID Lib "kestro.dll" (ByVal new_pid As Long) As Long/s//SetID Lib "kestro.dll" (ByVal new_pid As Integer) As Long/|a 16-bit integer'
    'kestro.bas|s/\(SetMrState Lib "kestro.dll" () As \)Long/\1Integer/|a 16-bit result'
    'kestro.bas|s/MR_READ_BUF_LEN As Long = 1024/MR_READ_BUF_LEN As Long = 512/|a wrong buffer size'
    'kestro.bas|s/Lib "kestro.dll" () As Long/Lib "kestro32.dll" () As Long/|another DLL'
    'Kestro.cs|0,/StdCall)\]/s//Cdecl)]/|the C calling convention'
    'Kestro.cs|s/ReadData(\[In, Out\] byte\[\] pbuf, int timeout/ReadData(byte[] pbuf, int timeout/|a buffer without its direction'
    'Kestro.cs|s/\[In\] byte\[\] state/[In, Out] byte[] state/|a read-only buffer declared as written'
    'Kestro.cs|s/int len);/long len);/|a 64-bit integer'
    'Kestro.cs|s/const string Dll = "kestro";/const string Dll = "kestro32";/|another library'
    'Kestro.cs|s/MR_STATE_LEN = 7;/MR_STATE_LEN = 8;/|a wrong constant'
    'Kestro.cs|/public const int MR_VID/d|a constant missing'
    'kestro.bas|s/KESTRO_CHANGE_MODE_REJECTED As Long = 6/KESTRO_CHANGE_MODE_REJECTED As Long = 5/|a wrong result code'
    'kestro.bas|/KESTRO_OPEN_USB_NO_READER/d|a result code missing'
    'Kestro.cs|s/NoCard = 3,/NoCard = 2,/|a wrong enum value'
    'Kestro.cs|s/public enum ResetDeviceResult /public enum ResetDevicesResult /|an enum named after no function'
    'Kestro.cs|0,/TooLate = 5,/{/TooLate = 5,/d}|an enum member missing'
    'README.TXT|s/^    6   KESTRO_CHANGE_MODE_REJECTED/    5   KESTRO_CHANGE_MODE_REJECTED/|a wrong code in the table'
    'samples/ReadCard.cs|s/ReadDataResult.NoCard/ReadDataResult.NoCards/|a sample using a result no enum has'
    'samples/read_card.c|s/MR_CARD_TRACKS/MR_TRACKS/|a sample using a constant kestro.h lacks'
)

fails=0
copy() {
    rm -rf "$tmp/samples"
    cp -r "$here/kestro.bas" "$here/Kestro.cs" "$here/samples" "$here/README.TXT" "$tmp/"
}
check() {
    bash "$here/check-declarations.sh" "$header" "$tmp/kestro.bas" "$tmp/Kestro.cs" "$tmp/samples" \
        "$tmp/README.TXT"
}
copy
if ! check >"$tmp/out"; then
    cat "$tmp/out"
    echo "FAIL the kit's own declarations are rejected"
    fails=$((fails + 1))
fi
for c in "${cases[@]}"; do
    IFS='|' read -r file expr fault <<<"$c"
    copy
    sed -i "$expr" "$tmp/$file"
    if cmp -s "$here/$file" "$tmp/$file"; then
        echo "FAIL $fault: the fault was not made ($expr)"
        fails=$((fails + 1))
    elif check >"$tmp/out"; then
        echo "FAIL $fault in $file: not found"
        fails=$((fails + 1))
    else
        echo "ok   $fault in $file: $(head -n 1 "$tmp/out")"
    fi
done
[ "$fails" -eq 0 ]
