#!/usr/bin/env bash
# A .NET client through the kit's own declarations: Kestro.cs and
# ReadCard.cs compiled by Mono's mcs, run by mono against libkestro.so and
# kestro-virtual-reader in the IDTECH mode; one swiped card must come back.
#   csharp_card_test.sh LIBRARY_DIR READER_PROGRAM
set -euo pipefail
# shellcheck source=../../../scripts/lib/common.sh
. "$(dirname "$0")/../../../scripts/lib/common.sh"
script_args 2 "$@"
[ $# -eq 2 ] || script_usage "give the library's folder and the reader program"
here=$(cd "$(dirname "$0")/.." && pwd)
libdir=$1 reader_program=$2
tmp=$(mktemp -d)
reader_pid=
cleanup() {
    [ -n "$reader_pid" ] && kill "$reader_pid" 2>/dev/null && wait "$reader_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

mcs -warnaserror -nologo -out:"$tmp/ReadCard.exe" "$here/Kestro.cs" "$here/tests/ReadCard.cs"

export XDG_RUNTIME_DIR=$tmp/run KESTRO_VIRTUAL_READERS=1
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$reader_program" serve --mode idtech --name kit >"$tmp/reader.log" 2>&1 &
reader_pid=$!
for _ in $(seq 500); do
    "$reader_program" status --name kit >/dev/null 2>&1 && break
    sleep 0.01
done
"$reader_program" status --name kit >/dev/null || {
    cat "$tmp/reader.log"
    echo "FAIL the virtual reader did not start"
    exit 1
}

track2=';6011000990139424=30121010000?'
coproc client { LD_LIBRARY_PATH=$libdir exec mono "$tmp/ReadCard.exe" 20 2>&1; }
client_pid=$client_PID
out=
while IFS= read -r -t 60 line <&"${client[0]}"; do
    out+=$line$'\n'
    [ "$line" = opened ] && break
done
if [ "$line" = opened ]; then
    "$reader_program" swipe --name kit --track2 "$track2" >/dev/null
fi
while IFS= read -r -t 60 line <&"${client[0]}"; do
    out+=$line$'\n'
done
status=0
wait "$client_pid" || status=$?
printf '%s' "$out"
if [ "$status" -ne 0 ] || ! grep -qF "$track2" <<<"$out"; then
    echo "FAIL the C# client did not read the swiped card (exit code $status)"
    exit 1
fi
echo "ok   the C# client read the card through Kestro.cs and libkestro.so"
