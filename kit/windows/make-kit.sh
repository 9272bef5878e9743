#!/usr/bin/env bash
# Builds the Windows kit, build-kit/kestro-VERSION-windows.zip: kestro.dll
# for 32-bit (x86) and 64-bit (x64) Windows with their MinGW and MSVC import
# libraries and module definitions, kestro.h, the Visual Basic and C#
# declarations, samples in C, Visual Basic and C#, the 32-bit
# KestroConfigure.exe with its README.TXT, the kit's README.TXT and the
# licence. The DLLs and the program are stripped; their DWARF debug
# information lies beside each as NAME.debug, named in its .gnu_debuglink.
# The C and C# samples are compiled against the kit as a developer would.
# Text files get Windows line ends.
#   bash kit/windows/make-kit.sh
set -euo pipefail
name=make-kit
# shellcheck source=../../scripts/lib/common.sh
. "$(dirname "$0")/../../scripts/lib/common.sh"
script_args 0 "$@"
cd "$(dirname "$0")/../.."

version=$(sed -nE 's/^project\(Kestro VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt's project()"
kit=kestro-$version-windows
out=build-kit
stage=$out/$kit
rm -rf "$stage" "$out/$kit.zip"
mkdir -p "$stage"

for arch in i686 x86_64; do
    dir=build-win-$arch
    configure "$dir" Release -DKESTRO_UTILITY=ON -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake"
    cmake --build "$dir" -j 2
    rm -rf "$out/install-$arch"
    cmake --install "$dir" --prefix "$out/install-$arch" >/dev/null
    case $arch in i686) folder=x86 ;; *) folder=x64 ;; esac
    mkdir -p "$stage/$folder"
    for f in bin/kestro.dll lib/kestro.lib lib/libkestro.dll.a lib/kestro.def; do
        [ -f "$out/install-$arch/$f" ] || fail "the $arch install lacks $f"
        cp "$out/install-$arch/$f" "$stage/$folder/"
    done
done
mkdir -p "$stage/include" "$stage/vb" "$stage/dotnet" "$stage/samples" "$stage/KestroConfigure"
cp "$out/install-i686/include/kestro.h" "$out/install-i686/include/kestro_version.h" "$stage/include/"
cp kit/windows/kestro.bas "$stage/vb/"
cp kit/windows/Kestro.cs "$stage/dotnet/"
cp "$out/install-i686/bin/KestroConfigure.exe" "$out/install-i686/bin/README.TXT" \
    "$stage/KestroConfigure/"
cp kit/windows/samples/read_card.c kit/windows/samples/ReadCard.bas kit/windows/samples/ReadCard.cs \
    "$stage/samples/"
sed "s/@VERSION@/$version/g" kit/windows/README.TXT >"$stage/README.TXT"
cp LICENSE "$stage/LICENSE.TXT"

# Stripped binaries, and their debug information in FILE.debug beside them.
# MinGW's GCC writes DWARF (it cannot write PDB), so the debug files are
# DWARF, found by gdb through the .gnu_debuglink section, which names the
# file and holds its CRC-32.
split_debug() {  # tool prefix, file
    local objcopy=$1-objcopy dir base
    dir=$(dirname "$2") base=$(basename "$2")
    (
        cd "$dir"
        "$objcopy" --only-keep-debug "$base" "$base.debug"
        "$objcopy" --strip-all --add-gnu-debuglink="$base.debug" "$base"
    )
    "$1-objdump" -h "$2" | grep -q ' \.debug_' && fail "$2 still has debug sections"
    "$1-objdump" -h "$2.debug" | grep -q ' \.debug_info' || fail "$2.debug has no debug information"
    python3 - "$2" "$1-objdump" <<'PY' || fail "$2 does not name $2.debug with its checksum"
import os, re, subprocess, sys, zlib
path, objdump = sys.argv[1:]
dump = subprocess.run([objdump, "-s", "-j", ".gnu_debuglink", path], capture_output=True,
                      text=True).stdout
data = bytes.fromhex("".join("".join(m.group(1).split())
                             for m in re.finditer(r"^ [0-9a-f]+((?: [0-9a-f]{1,8}){1,4})", dump, re.M)))
if b"\0" not in data:
    sys.exit(1)
name, crc = data[:data.index(b"\0")].decode(), int.from_bytes(data[-4:], "little")
actual = zlib.crc32(open(path + ".debug", "rb").read())
sys.exit(0 if name == os.path.basename(path) + ".debug" and crc == actual else 1)
PY
}
for f in "$stage/x86/kestro.dll" "$stage/KestroConfigure/KestroConfigure.exe"; do
    split_debug i686-w64-mingw32 "$f"
done
split_debug x86_64-w64-mingw32 "$stage/x64/kestro.dll"

# The samples built from the staged kit: C by clang for the MSVC ABI and
# lld-link against kestro.lib (MinGW's headers stand in for the Windows SDK's,
# and a C run-time import library made here for MSVC's), and by MinGW's gcc
# against libkestro.dll.a; C# by mcs with the kit's declarations.
samples=$out/samples
rm -rf "$samples"
mkdir -p "$samples"
printf 'LIBRARY msvcrt.dll\nEXPORTS\n    printf\n' >"$samples/msvcrt.def"
for arch in i686 x86_64; do
    case $arch in i686) folder=x86 machine=i386 ;; *) folder=x64 machine=i386:x86-64 ;; esac
    llvm-dlltool -m "$machine" -D msvcrt.dll -d "$samples/msvcrt.def" -l "$samples/msvcrt-$folder.lib"
    clang --target="$arch-pc-windows-msvc" -std=c99 -Wall -Wextra -Wpedantic -Werror \
        -D__USE_MINGW_ANSI_STDIO=0 -isystem /usr/share/mingw-w64/include -I"$stage/include" \
        -c "$stage/samples/read_card.c" -o "$samples/read_card-$folder.obj"
    lld-link /nologo /entry:main /subsystem:console /nodefaultlib \
        /out:"$samples/read_card-msvc-$folder.exe" "$samples/read_card-$folder.obj" \
        "$stage/$folder/kestro.lib" "$samples/msvcrt-$folder.lib" ||
        fail "the C sample does not link with lld-link against $folder/kestro.lib"
    "$arch-w64-mingw32-gcc" -std=c99 -Wall -Wextra -Wpedantic -Werror -I"$stage/include" \
        "$stage/samples/read_card.c" -L"$stage/$folder" -lkestro -o "$samples/read_card-mingw-$folder.exe" ||
        fail "the C sample does not build with MinGW against $folder/libkestro.dll.a"
done
mcs -warnaserror -nologo -platform:x86 -out:"$samples/ReadCard.exe" \
    "$stage/dotnet/Kestro.cs" "$stage/samples/ReadCard.cs" ||
    fail "the C# sample does not compile with dotnet/Kestro.cs"
echo "make-kit: the C sample built with lld-link and MinGW (x86, x64), the C# one with mcs"

# Text with CRLF line ends (zip -l), the rest as it is.
(
    cd "$out"
    find "$kit" -type f \( -name '*.TXT' -o -name '*.h' -o -name '*.bas' -o -name '*.cs' \
        -o -name '*.def' -o -name '*.c' \) | sort >text.list
    find "$kit" -type f | sort | grep -vxF -f text.list >binary.list
    zip -q -X -l "$kit.zip" -@ <text.list
    zip -q -X "$kit.zip" -@ <binary.list
    rm -f text.list binary.list
)

# What a Windows developer must find in it.
listing=$(unzip -Z1 "$out/$kit.zip" | sort)
for f in x86/kestro.dll x86/kestro.lib x86/libkestro.dll.a x86/kestro.def \
    x64/kestro.dll x64/kestro.lib x64/libkestro.dll.a x64/kestro.def \
    x86/kestro.dll.debug x64/kestro.dll.debug \
    include/kestro.h include/kestro_version.h vb/kestro.bas dotnet/Kestro.cs \
    samples/read_card.c samples/ReadCard.bas samples/ReadCard.cs \
    KestroConfigure/KestroConfigure.exe KestroConfigure/KestroConfigure.exe.debug \
    KestroConfigure/README.TXT README.TXT LICENSE.TXT; do
    grep -qxF "$kit/$f" <<<"$listing" || fail "$kit.zip lacks $f"
done
i686-w64-mingw32-objdump -f "$stage/x86/kestro.dll" | grep -q 'file format pei-i386' ||
    fail "x86/kestro.dll is not a 32-bit DLL"
i686-w64-mingw32-objdump -f "$stage/KestroConfigure/KestroConfigure.exe" | grep -q 'file format pei-i386' ||
    fail "KestroConfigure.exe is not a 32-bit program"
x86_64-w64-mingw32-objdump -f "$stage/x64/kestro.dll" | grep -q 'file format pei-x86-64' ||
    fail "x64/kestro.dll is not a 64-bit DLL"
# kestro_version.h, the DLLs' and the program's version resources: one version.
bash library/tests/check_version.sh "$stage/include/kestro_version.h" "$stage/x86/kestro.dll" \
    "$stage/x64/kestro.dll" "$stage/KestroConfigure/KestroConfigure.exe" ||
    fail "kestro_version.h and the version resources differ"
for f in x86/kestro.dll x64/kestro.dll KestroConfigure/KestroConfigure.exe; do
    echo "make-kit: $f $(du -k "$stage/$f" | cut -f1) KiB, $f.debug $(du -k "$stage/$f.debug" | cut -f1) KiB"
done
echo "make-kit: $out/$kit.zip ($(du -k "$out/$kit.zip" | cut -f1) KiB, $(echo "$listing" | grep -vc '/$') files)"
