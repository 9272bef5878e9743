#!/usr/bin/env bash
# Checks the Visual Basic and C# declarations against kestro.h: the same
# functions, each with the same number and kinds of arguments (32-bit
# integer by value, buffer the library writes, buffer it only reads) and a
# 32-bit result, and the same MR_ constants with the same values.
#   kit/windows/check-declarations.sh [kestro.h kestro.bas Kestro.cs]
set -euo pipefail
name=declarations
# shellcheck source=../../scripts/lib/common.sh
. "$(dirname "$0")/../../scripts/lib/common.sh"
script_args 3 "$@"
[ $# -eq 0 ] || [ $# -eq 3 ] || script_usage "give all three files or none"
here=$(cd "$(dirname "$0")" && pwd)
header=${1:-$here/../../library/include/kestro.h}
bas=${2:-$here/kestro.bas}
cs=${3:-$here/Kestro.cs}

problems=0
problem() {
    echo "declarations: $*"
    problems=$((problems + 1))
}

# Signatures as "Name(kind,kind) -> kind", one a line, sorted; the kinds are
# int, buf (written) and cbuf (read only).
header_signatures() {
    tr '\n\r' '  ' <"$header" |
        grep -oE 'KESTRO_API[[:space:]]+[A-Za-z0-9_]+[[:space:]]+KESTRO_CALL[[:space:]]+[A-Za-z0-9_]+\([^)]*\)' |
        sed -E 's/^KESTRO_API[[:space:]]+([A-Za-z0-9_]+)[[:space:]]+KESTRO_CALL[[:space:]]+([A-Za-z0-9_]+)\((.*)\)$/\2|\3|\1/' |
        while IFS='|' read -r name args result; do
            kinds=
            IFS=',' read -ra list <<<"$args"
            for a in "${list[@]}"; do
                [[ $a =~ ^[[:space:]]*(.*[^[:space:]])[[:space:]]*$ ]] && a=${BASH_REMATCH[1]}
                case $a in
                    void | "") continue ;;
                    "const unsigned char* "*) kind=cbuf ;;
                    "unsigned char* "*) kind=buf ;;
                    "int32_t "*) kind=int ;;
                    *) kind="?($a)" ;;
                esac
                kinds=${kinds:+$kinds,}$kind
            done
            [ "$result" = int32_t ] && result=int
            echo "$name($kinds) -> $result"
        done | sort
}

# Visual Basic: "Declare [PtrSafe] Function N Lib "kestro.dll" (...) As Long".
# VB cannot say that a ByRef buffer is only read: both kinds are "buf".
bas_signatures() {  # PtrSafe or Plain
    tr -d '\r' <"$bas" | grep -E '^[[:space:]]*(Public |Private )?Declare ' |
        while read -r line; do
            if [[ $line =~ Declare\ PtrSafe\ Function ]]; then
                [ "$1" = PtrSafe ] || continue
            else
                [ "$1" = Plain ] || continue
            fi
            if ! [[ $line =~ Function\ ([A-Za-z0-9_]+)\ Lib\ \"kestro\.dll\"\ \((.*)\)\ As\ ([A-Za-z]+)$ ]]; then
                echo "UNRECOGNISED: $line"
                continue
            fi
            name=${BASH_REMATCH[1]} args=${BASH_REMATCH[2]} result=${BASH_REMATCH[3]}
            kinds=
            IFS=',' read -ra list <<<"$args"
            for a in "${list[@]}"; do
                [[ $a =~ ^[[:space:]]*(.*[^[:space:]])[[:space:]]*$ ]] && a=${BASH_REMATCH[1]}
                [ -n "$a" ] || continue
                case $a in
                    "ByVal "*" As Long") kind=int ;;
                    "ByRef "*" As Byte") kind=buf ;;
                    *) kind="?($a)" ;;
                esac
                kinds=${kinds:+$kinds,}$kind
            done
            [ "$result" = Long ] && result=int
            echo "$name($kinds) -> $result"
        done | sort
}

# C#: each "static extern" method right after a DllImport of the library
# with the stdcall convention.
cs_signatures() {
    tr -d '\r' <"$cs" | awk '
        /^[[:space:]]*\[DllImport\(Dll, CallingConvention = CallingConvention\.StdCall\)\][[:space:]]*$/ {
            stdcall = 1; next }
        /static extern/ {
            line = $0
            if (!stdcall) { print "NOT STDCALL: " line; next }
            stdcall = 0
            if (match(line, /public static extern [A-Za-z]+ [A-Za-z0-9_]+\(.*\);/) == 0) {
                print "UNRECOGNISED: " line; next }
            sub(/^[[:space:]]*public static extern /, "", line)
            result = substr(line, 1, index(line, " ") - 1)
            line = substr(line, index(line, " ") + 1)
            name = substr(line, 1, index(line, "(") - 1)
            args = substr(line, index(line, "(") + 1)
            sub(/\);[[:space:]]*$/, "", args)
            rest = args
            out = ""
            while (rest != "") {
                if (match(rest, /^\[In, Out\] byte\[\] [A-Za-z0-9_]+/)) kind = "buf"
                else if (match(rest, /^\[In\] byte\[\] [A-Za-z0-9_]+/)) kind = "cbuf"
                else if (match(rest, /^int [A-Za-z0-9_]+/)) kind = "int"
                else { kind = "?(" rest ")"; RLENGTH = length(rest) }
                out = out (out == "" ? "" : ",") kind
                rest = substr(rest, RLENGTH + 1)
                sub(/^, /, "", rest)
            }
            print name "(" out ") -> " result
        }
        { stdcall = 0 }' | sort
}

# Constants as "MR_NAME=decimal", sorted.
header_constants() {
    tr -d '\r' <"$header" | awk '$1 == "#define" && $2 ~ /^MR_/ {print $2, $3}' |
        while read -r name value; do echo "$name=$((value))"; done | sort
}
bas_constants() {
    tr -d '\r' <"$bas" |
        sed -nE 's/^[[:space:]]*Public Const (MR_[A-Z0-9_]+) As Long = (&H[0-9A-Fa-f]+|[0-9]+)[[:space:]]*$/\1 \2/p' |
        while read -r name value; do
            case $value in "&H"*) value=$((16#${value#"&H"})) ;; esac
            echo "$name=$((value))"
        done | sort
}
cs_constants() {
    tr -d '\r' <"$cs" |
        sed -nE 's/^[[:space:]]*public const int (MR_[A-Z0-9_]+) = (0x[0-9A-Fa-f]+|[0-9]+);[[:space:]]*$/\1 \2/p' |
        while read -r name value; do echo "$name=$((value))"; done | sort
}

compare() {  # what, expected, got
    if [ "$2" != "$3" ]; then
        problem "$1: not as in kestro.h (- kestro.h, + declarations):"
        diff <(echo "$2") <(echo "$3") | grep '^[<>]' | sed 's/^</  -/; s/^>/  +/'
    fi
}

want=$(header_signatures)
[ "$(echo "$want" | wc -l)" -eq 18 ] || problem "kestro.h: found $(echo "$want" | wc -l) functions, expected 18"
want_vb=$(echo "$want" | sed 's/cbuf/buf/g')
compare "kestro.bas (VBA7, PtrSafe)" "$want_vb" "$(bas_signatures PtrSafe)"
compare "kestro.bas (VB6)" "$want_vb" "$(bas_signatures Plain)"
compare "Kestro.cs" "$want" "$(cs_signatures)"
grep -q '^[[:space:]]*const string Dll = "kestro";' "$cs" ||
    problem "Kestro.cs does not import from \"kestro\" (kestro.dll, libkestro.so)"

consts=$(header_constants)
compare "the constants of kestro.bas" "$consts" "$(bas_constants)"
compare "the constants of Kestro.cs" "$consts" "$(cs_constants)"

if [ "$problems" -ne 0 ]; then
    exit 1
fi
echo "declarations: kestro.bas and Kestro.cs match kestro.h: 18 functions," \
    "$(echo "$consts" | wc -l) constants"
