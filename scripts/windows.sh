#!/usr/bin/env bash
# Cross-builds kestro.dll for 32-bit (the target) and 64-bit Windows with
# MinGW-w64 and checks it:
#   - the DLL exports exactly the names of library/kestro.def and imports
#     only system DLLs;
#   - installed, its header compiles as C and as C++ and its MinGW import
#     library links every export (by its plain name);
#   - the MSVC import library (lib/kestro.lib) links every export with
#     lld-link's default settings (/SAFESEH on i686), from a program built
#     by clang for the MSVC ABI;
#   - 32-bit: every export is compiled as stdcall with the stack size of its
#     arguments (Name@N in the objects and both import libraries);
#   - both: the Windows test program binds the DLL by export name and checks
#     it (with its version resource, and on 32-bit through callers whose
#     stack is only 4-byte aligned), and the lld-link program runs, under
#     Wine: wine64 for the 64-bit build, 32-bit Wine from scripts/wine32.sh
#     for the 32-bit one.
#   scripts/windows.sh
set -euo pipefail
name=windows
# shellcheck source=lib/common.sh
. "$(dirname "$0")/lib/common.sh"
script_args 0 "$@"
cd "$(dirname "$0")/.."

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
    configure "$dir" Release -DKESTRO_WERROR=ON -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake"
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
    for f in bin/kestro.dll lib/libkestro.dll.a lib/kestro.lib lib/kestro.def include/kestro.h; do
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

    # A program built as an MSVC one would be, linked with lld-link's
    # default settings and no C run-time library against kestro.lib.
    clang --target="$arch-pc-windows-msvc" -ffreestanding -std=c99 -Wall -Wextra -Wpedantic \
        -Werror -I"$prefix/include" -c library/wintest/msvc_link.c -o "$dir/msvc_link.obj"
    lld-link /nologo /entry:main /subsystem:console /nodefaultlib /out:"$dir/kestro_msvc_link.exe" \
        "$dir/msvc_link.obj" "$prefix/lib/kestro.lib" ||
        fail "lld-link cannot link a program against $prefix/lib/kestro.lib"
    linked=$(imports_from "$tools-objdump" "$dir/kestro_msvc_link.exe" kestro.dll)
    if [ "$linked" != "$expected" ]; then
        echo "windows: the lld-link program does not import the 18 exports from kestro.dll by name:"
        diff <(echo "$expected") <(echo "$linked") || true
        exit 1
    fi
    echo "windows: lld-link links all 18 exports through lib/kestro.lib"

    if [ "$arch" = i686 ]; then
        # Each export defined once, as Name@N with N the bytes of its
        # arguments, in the objects and in the import library.
        objects=$(find "$dir/library/CMakeFiles/kestro.dir" -name '*.obj' | sort)
        [ -n "$objects" ] || fail "no object files of kestro.dll in $dir"
        # shellcheck disable=SC2086
        defined=$("$tools-nm" -g --defined-only $objects | awk 'NF == 3 {print $3}')
        implib=$("$tools-nm" -g --defined-only "$prefix/lib/libkestro.dll.a" | awk 'NF == 3 && $2 == "T" {print $3}')
        msvclib=$(llvm-nm -g --defined-only "$prefix/lib/kestro.lib" 2>/dev/null |
            awk 'NF == 3 && $2 == "T" {print $3}')
        for name in $expected; do
            want="_$name@$((4 * ARGS[$name]))"
            found=$(echo "$defined" | grep -E "^_$name(@[0-9]+)?\$" | tr '\n' ' ' | sed 's/ $//')
            [ "$found" = "$want" ] ||
                fail "$name: the objects define '${found:-nothing}', expected stdcall $want"
            found=$(echo "$implib" | grep -E "^_$name(@[0-9]+)?\$" | tr '\n' ' ' | sed 's/ $//')
            [ "$found" = "$want" ] ||
                fail "$name: the import library defines '${found:-nothing}', expected $want"
            found=$(echo "$msvclib" | grep -E "^_$name(@[0-9]+)?\$" | tr '\n' ' ' | sed 's/ $//')
            [ "$found" = "$want" ] ||
                fail "$name: kestro.lib defines '${found:-nothing}', expected $want"
        done
        echo "windows: all 18 exports are stdcall with 4 bytes per argument (Name@N), in both import libraries"
    fi
done

# The test programs under Wine, in prefixes of their own that are removed
# afterwards. Drive C is the prefix's drive_c: the programs run with it as
# the current drive, so the trace file used is C:\kestro.log there.
tmp=$(mktemp -d /tmp/kestro-wine.XXXXXX)
wineserver=true
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
trap cleanup EXIT

# Copies the programs of one build into a prefix's drive C.
stage() {  # arch, drive_c
    mkdir -p "$2/kestro-test"
    cp "build-win-$1/library/kestro.dll" "build-win-$1/library/wintest/kestro_wine_test.exe" \
        "build-win-$1/kestro_msvc_link.exe" "$2/kestro-test/"
}

# The job in a prefix, a POSIX shell script (busybox's in the 32-bit root),
# with WINE (the command that starts a Windows program) and WINEPREFIX set:
# runs both programs, prints what the test program prints, and fails unless
# both pass. Its scratch files go to $TMPDIR.
cat >"$tmp/job.sh" <<'JOB'
out=${TMPDIR:-/tmp}
cd "$WINEPREFIX/drive_c" || exit 1
timeout 300 "$WINE" 'C:\kestro-test\kestro_wine_test.exe' >"$out/wine.out" 2>"$out/wine.err"
status=$?
tr -d '\r' <"$out/wine.out"
if [ "$status" -ne 0 ] ||
    ! tr -d '\r' <"$out/wine.out" | grep -Eq '^kestro_wine_test: [1-9][0-9]* passed, 0 failed$'; then
    tail -n 20 "$out/wine.err"
    echo "windows: the Windows test program failed under Wine (exit code $status)"
    exit 1
fi
timeout 300 "$WINE" 'C:\kestro-test\kestro_msvc_link.exe' >"$out/msvc.out" 2>&1
status=$?
if [ "$status" -ne 0 ]; then
    tail -n 20 "$out/msvc.out"
    echo "windows: the lld-link program failed under Wine (exit code $status)"
    exit 1
fi
echo "windows: the lld-link program ran against kestro.dll"
JOB

# 64-bit: the machine's wine64.
# shellcheck source=lib/wine64.sh
. scripts/lib/wine64.sh
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "windows: x86_64: creating a Wine prefix (first start of Wine)"
if ! (unset DISPLAY WAYLAND_DISPLAY && timeout 300 "$wine" wineboot --init >"$tmp/wineboot.log" 2>&1); then
    tail -n 20 "$tmp/wineboot.log"
    fail "Wine could not create its prefix"
fi
stage x86_64 "$WINEPREFIX/drive_c"
mkdir -p "$tmp/out64"
(unset DISPLAY WAYLAND_DISPLAY && WINE=$wine TMPDIR=$tmp/out64 bash "$tmp/job.sh") ||
    fail "x86_64: the Windows test programs failed under Wine"
"$wineserver" -k >/dev/null 2>&1 || true
wineserver=true
echo "windows: x86_64: the Windows test programs passed under Wine"

# 32-bit: the i686 builds in 32-bit Wine, an i386 root run in a chroot, or
# in a virtual machine where the kernel runs no 32-bit code.
echo "windows: i686: preparing 32-bit Wine (scripts/wine32.sh)"
bash scripts/wine32.sh prepare "$tmp/w32"
stage i686 "$tmp/w32/root/root/pfx/drive_c"
bash scripts/wine32.sh job "$tmp/w32" "$tmp/job.sh" 900 ||
    fail "i686: the Windows test programs failed under 32-bit Wine"
echo "windows: i686: the Windows test programs passed under 32-bit Wine"
