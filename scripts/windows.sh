#!/usr/bin/env bash
# Cross-builds kestro.dll for 32-bit (the target) and 64-bit Windows with
# MinGW-w64 and checks it:
#   - the DLL exports exactly the names of library/kestro.def and imports
#     only system DLLs;
#   - installed, its header compiles as C and as C++ and its import library
#     links every export (by its plain name);
#   - 32-bit: every export is compiled as stdcall with the stack size of its
#     arguments (Name@N in the objects and the import library);
#   - 64-bit: the Windows test program binds the DLL by export name and
#     checks it under Wine (this machine runs no 32-bit programs).
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "windows: $*"
    exit 1
}

# Arguments of each export, each 4 bytes on 32-bit Windows: the callee pops
# 4 x this many bytes, so Name@N carries N = 4 x this.
declare -A ARGS=(
    [OpenUSB]=0 [OpenKestro]=0 [CloseUSB]=0 [CloseKestro]=0 [SetID]=1 [gtime]=0
    [ReadData]=3 [ReadData1]=1 [SetMrStateEx]=1 [SetMrStateBuf]=1 [SetMrState]=0 [GetMrState]=1
    [ResetDevice]=1 [ChangeMode]=1 [FlushCounter]=0
    [RetrieveStatistics]=3 [ResetStatistics]=3 [UpdateStatistics]=5
)
expected=$(sed -n '/^EXPORTS/,$p' library/kestro.def | tail -n +2 | tr -d ' \r' | grep -v '^$' | sort)
[ "$(printf '%s\n' "${!ARGS[@]}" | sort)" = "$expected" ] ||
    fail "the argument table of this script names other functions than library/kestro.def"
[ "$(echo "$expected" | wc -l)" -eq 18 ] || fail "library/kestro.def does not list 18 exports"

# Names a PE file imports from one DLL, one a line, sorted.
imports_from() {  # objdump, file, dll
    "$1" -p "$2" | awk -v dll="$3" '
        /DLL Name:/ {on = (tolower($3) == dll); next}
        on && /^[[:space:]]*$/ {on = 0}
        on && $1 ~ /^[0-9a-f]+$/ && NF == 3 {print $3}' | sort
}

for arch in i686 x86_64; do
    dir=build-win-$arch
    tools=$arch-w64-mingw32
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" >/dev/null
    cmake --build "$dir" -j 2
    dll=$dir/library/kestro.dll

    exports=$("$tools-objdump" -p "$dll" |
        awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[[:space:]]*\[/ {print $NF} on && /^$/ {on=0}' | sort)
    if [ "$exports" != "$expected" ]; then
        echo "windows: $dll exports differ from library/kestro.def:"
        diff <(echo "$expected") <(echo "$exports") || true
        exit 1
    fi
    imports=$("$tools-objdump" -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort)
    for imp in $imports; do
        case $imp in
            kernel32.dll | hid.dll | setupapi.dll | msvcrt.dll) ;;
            *) fail "$dll imports $imp, which is not a system DLL" ;;
        esac
    done
    echo "windows: $dll exports the $(echo "$exports" | wc -l) functions and imports only $(echo $imports)"

    # What a Windows developer gets: DLL, import library and header.
    prefix=$dir/install
    rm -rf "$prefix"
    cmake --install "$dir" --prefix "$prefix" >/dev/null
    for f in bin/kestro.dll lib/libkestro.dll.a include/kestro.h; do
        [ -f "$prefix/$f" ] || fail "the install of $dir lacks $f"
    done
    # The header as C and as C++, linked through the import library without
    # the linker's stdcall name fix-ups: every declared export must resolve,
    # and the programs must import the plain names from kestro.dll.
    "$tools-gcc-posix" -std=c99 -Wall -Wextra -Wpedantic -Werror -I"$prefix/include" \
        library/wintest/header_check.c -L"$prefix/lib" -lkestro -Wl,--disable-stdcall-fixup \
        -o "$dir/header_check_c.exe"
    "$tools-g++-posix" -std=c++98 -Wall -Wextra -Wpedantic -Werror -I"$prefix/include" \
        library/wintest/header_check.cpp -L"$prefix/lib" -lkestro -Wl,--disable-stdcall-fixup \
        -static-libgcc -static-libstdc++ -o "$dir/header_check_cpp.exe"
    for exe in "$dir/header_check_c.exe" "$dir/header_check_cpp.exe"; do
        linked=$(imports_from "$tools-objdump" "$exe" kestro.dll)
        if [ "$linked" != "$expected" ]; then
            echo "windows: $exe does not import the 18 exports from kestro.dll by name:"
            diff <(echo "$expected") <(echo "$linked") || true
            exit 1
        fi
    done
    echo "windows: the installed kestro.h compiles as C and C++ and links all 18 exports"

    if [ "$arch" = i686 ]; then
        # Each export defined once, as Name@N with N the bytes of its
        # arguments, in the objects and in the import library.
        objects=$(find "$dir/library/CMakeFiles/kestro.dir" -name '*.obj' | sort)
        [ -n "$objects" ] || fail "no object files of kestro.dll in $dir"
        # shellcheck disable=SC2086
        defined=$("$tools-nm" -g --defined-only $objects | awk 'NF == 3 {print $3}')
        implib=$("$tools-nm" -g --defined-only "$prefix/lib/libkestro.dll.a" | awk 'NF == 3 && $2 == "T" {print $3}')
        for name in $expected; do
            want="_$name@$((4 * ARGS[$name]))"
            found=$(echo "$defined" | grep -E "^_$name(@[0-9]+)?\$" | tr '\n' ' ' | sed 's/ $//')
            [ "$found" = "$want" ] ||
                fail "$name: the objects define '${found:-nothing}', expected stdcall $want"
            found=$(echo "$implib" | grep -E "^_$name(@[0-9]+)?\$" | tr '\n' ' ' | sed 's/ $//')
            [ "$found" = "$want" ] ||
                fail "$name: the import library defines '${found:-nothing}', expected $want"
        done
        echo "windows: all 18 exports are stdcall with 4 bytes per argument (Name@N)"
    fi
done

# The test program under Wine, in a prefix of its own that is removed
# afterwards. Drive C is the prefix's drive_c: the program runs with it as
# the current drive, so the trace file it uses is C:\kestro.log there.
wine=$(command -v wine64 || true)
if [ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ]; then
    wine=/usr/lib/wine/wine64
fi
[ -n "$wine" ] || fail "wine64 is missing (scripts/setup.sh installs it)"
wineserver=$(dirname "$wine")/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo true)
tmp=$(mktemp -d /tmp/kestro-wine.XXXXXX)
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
trap cleanup EXIT

echo "windows: creating a Wine prefix (first start of Wine)"
if ! timeout 300 "$wine" wineboot --init >"$tmp/wineboot.log" 2>&1; then
    tail -n 20 "$tmp/wineboot.log"
    fail "Wine could not create its prefix"
fi
mkdir -p "$WINEPREFIX/drive_c/kestro-test"
cp build-win-x86_64/library/kestro.dll build-win-x86_64/library/wintest/kestro_wine_test.exe \
    "$WINEPREFIX/drive_c/kestro-test/"
status=0
(cd "$WINEPREFIX/drive_c" && timeout 300 "$wine" 'C:\kestro-test\kestro_wine_test.exe') \
    >"$tmp/wine.out" 2>"$tmp/wine.err" || status=$?
tr -d '\r' <"$tmp/wine.out"
if [ "$status" -ne 0 ] || ! tr -d '\r' <"$tmp/wine.out" | grep -Eq '^kestro_wine_test: [1-9][0-9]* passed, 0 failed$'; then
    tail -n 20 "$tmp/wine.err"
    fail "the Windows test program failed under Wine (exit code $status)"
fi
echo "windows: the Windows test program passed under Wine"
