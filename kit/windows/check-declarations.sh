#!/usr/bin/env bash
# Checks the Visual Basic and C# declarations against kestro.h: the same
# functions, each with the same number and kinds of arguments (32-bit
# integer by value, buffer the library writes, buffer it only reads) and a
# 32-bit result, the same MR_ constants with the same values, and the same
# result codes (KESTRO_ constants; enums in C#).
# The result table of README.TXT says the same codes; the samples may use
# only those constants and result codes.
#   kit/windows/check-declarations.sh [kestro.h kestro.bas Kestro.cs samples/ README.TXT]
set -euo pipefail
name=declarations
# shellcheck source=../../scripts/lib/common.sh
. "$(dirname "$0")/../../scripts/lib/common.sh"
script_args 5 "$@"
[ $# -eq 0 ] || [ $# -eq 3 ] || [ $# -eq 5 ] ||
    script_usage "give the three files, the three with the samples' folder and README.TXT, or none"
here=$(cd "$(dirname "$0")" && pwd)
header=${1:-$here/../../library/include/kestro.h}
bas=${2:-$here/kestro.bas}
cs=${3:-$here/Kestro.cs}
samples=${4:-$here/samples}
readme=${5:-$here/README.TXT}

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

# Result codes as "KESTRO_FUNCTION_MEANING=value", sorted: #define in
# kestro.h, Public Const in kestro.bas, and in Kestro.cs one enum per
# function, FunctionResult { Meaning = value, }, named as in C by upper case
# words (OpenUSBResult.NoReader is KESTRO_OPEN_USB_NO_READER).
header_results() {
    tr -d '\r' <"$header" |
        awk '$1 == "#define" && $2 ~ /^KESTRO_[A-Z0-9_]+$/ && $2 !~ /^KESTRO_VERSION_/ &&
             $3 ~ /^[0-9]+$/ {print $2 "=" $3}' | sort
}
bas_results() {
    tr -d '\r' <"$bas" |
        sed -nE "s/^[[:space:]]*Public Const (KESTRO_[A-Z0-9_]+) As Long = ([0-9]+)[[:space:]]*('.*)?$/\1=\2/p" |
        sort
}
snake() {  # OpenUSB -> OPEN_USB, ReadData1 -> READ_DATA1
    sed -E 's/([a-z0-9])([A-Z])/\1_\2/g; s/([A-Z])([A-Z][a-z])/\1_\2/g' | tr '[:lower:]' '[:upper:]'
}
cs_results() {
    tr -d '\r' <"$cs" | awk '
        match($0, /^[[:space:]]*public enum [A-Za-z0-9]+Result \{/) {
            name = $0; sub(/^[[:space:]]*public enum /, "", name); sub(/Result \{.*/, "", name)
            inside = 1; next }
        inside && /^[[:space:]]*\}/ { inside = 0; next }
        inside && match($0, /^[[:space:]]*[A-Za-z0-9]+ = [0-9]+,/) {
            line = substr($0, RSTART, RLENGTH); sub(/^[[:space:]]*/, "", line); sub(/,$/, "", line)
            split(line, part, " = ")
            print name " " part[1] " " part[2] }' |
        while read -r function meaning value; do
            echo "KESTRO_$(snake <<<"$function")_$(snake <<<"$meaning")=$value"
        done | sort
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

results=$(header_results)
[ "$(echo "$results" | grep -c .)" -gt 0 ] || problem "kestro.h: no KESTRO_ result codes found"
compare "the result codes of kestro.bas" "$results" "$(bas_results)"
compare "the result enums of Kestro.cs" "$results" "$(cs_results)"
compare "the result table of README.TXT" "$results" \
    "$(tr -d '\r' <"$readme" | sed -nE 's/^[[:space:]]+([0-9]+)[[:space:]]+(KESTRO_[A-Z0-9_]+)[[:space:]].*$/\2=\1/p' | sort)"

# The samples use only constants and result codes that kestro.h defines.
known=$(printf '%s\n' "$consts" "$results" | sed 's/=.*//')
for sample in "$samples"/*; do
    [ -f "$sample" ] || continue
    case $sample in
        *.cs)
            used=$(tr -d '\r' <"$sample" | grep -oE '\b(MR_[A-Z0-9_]+|[A-Za-z0-9]+Result\.[A-Za-z0-9]+)' |
                while IFS=. read -r a b; do
                    if [ -n "$b" ]; then
                        echo "KESTRO_$(snake <<<"${a%Result}")_$(snake <<<"$b")"
                    else echo "$a"; fi
                done) ;;
        *) used=$(tr -d '\r' <"$sample" | grep -oE '\b(MR|KESTRO)_[A-Z0-9_]+' | grep -v '^KESTRO_VERSION_') ;;
    esac
    for name in $(echo "$used" | sort -u); do
        grep -qxF "$name" <<<"$known" || problem "$(basename "$sample") uses $name, which kestro.h does not define"
    done
done

if [ "$problems" -ne 0 ]; then
    exit 1
fi
echo "declarations: kestro.bas and Kestro.cs match kestro.h: 18 functions," \
    "$(echo "$consts" | wc -l) constants, $(echo "$results" | wc -l) result codes"
