#!/usr/bin/env bash
# Cross-builds kestro.dll for 32-bit (the target) and 64-bit Windows with
# MinGW-w64 and checks what it exports and imports.
set -euo pipefail
cd "$(dirname "$0")/.."
for arch in i686 x86_64; do
    dir=build-win-$arch
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" >/dev/null
    cmake --build "$dir"
    dll=$dir/library/kestro.dll
    exports=$("$arch-w64-mingw32-objdump" -p "$dll" |
        awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[[:space:]]*\[/ {print $NF} on && /^$/ {on=0}' | sort)
    expected=$(sed -n '/^EXPORTS/,$p' library/kestro.def | tail -n +2 | tr -d ' \r' | grep -v '^$' | sort)
    if [ "$exports" != "$expected" ]; then
        echo "windows: $dll exports differ from library/kestro.def:"
        diff <(echo "$expected") <(echo "$exports") || true
        exit 1
    fi
    imports=$("$arch-w64-mingw32-objdump" -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort)
    for imp in $imports; do
        case $imp in
            kernel32.dll | hid.dll | setupapi.dll | msvcrt.dll) ;;
            *) echo "windows: $dll imports $imp, which is not a system DLL"; exit 1 ;;
        esac
    done
    echo "windows: $dll exports the $(echo "$exports" | wc -l) functions and imports only $(echo $imports)"
done
