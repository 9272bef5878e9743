#!/usr/bin/env bash
# Builds the Windows kit, build-kit/kestro-VERSION-windows.zip: kestro.dll
# for 32-bit (x86) and 64-bit (x64) Windows with their MinGW and MSVC import
# libraries and module definitions, kestro.h, the Visual Basic and C#
# declarations, the 32-bit KestroConfigure.exe with its README.TXT, and the
# kit's README.TXT. Text files get Windows line ends.
#   bash kit/windows/make-kit.sh
set -euo pipefail
name=make-kit
# shellcheck source=../../scripts/lib/common.sh
. "$(dirname "$0")/../../scripts/lib/common.sh"
script_args 0 "$@"
cd "$(dirname "$0")/../.."

version=$(sed -nE 's/^project\(Kestro VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt's project()"
name=kestro-$version-windows
out=build-kit
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage"

for arch in i686 x86_64; do
    dir=build-win-$arch
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRO_UTILITY=ON \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" >/dev/null
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
mkdir -p "$stage/include" "$stage/vb" "$stage/dotnet" "$stage/KestroConfigure"
cp "$out/install-i686/include/kestro.h" "$out/install-i686/include/kestro_version.h" "$stage/include/"
cp kit/windows/kestro.bas "$stage/vb/"
cp kit/windows/Kestro.cs "$stage/dotnet/"
cp "$out/install-i686/bin/KestroConfigure.exe" "$out/install-i686/bin/README.TXT" \
    "$stage/KestroConfigure/"
sed "s/@VERSION@/$version/g" kit/windows/README.TXT >"$stage/README.TXT"

# Text with CRLF line ends (zip -l), the rest as it is.
(
    cd "$out"
    find "$name" -type f \( -name '*.TXT' -o -name '*.h' -o -name '*.bas' -o -name '*.cs' \
        -o -name '*.def' \) | sort >text.list
    find "$name" -type f | sort | grep -vxF -f text.list >binary.list
    zip -q -X -l "$name.zip" -@ <text.list
    zip -q -X "$name.zip" -@ <binary.list
    rm -f text.list binary.list
)

# What a Windows developer must find in it.
listing=$(unzip -Z1 "$out/$name.zip" | sort)
for f in x86/kestro.dll x86/kestro.lib x86/libkestro.dll.a x86/kestro.def \
    x64/kestro.dll x64/kestro.lib x64/libkestro.dll.a x64/kestro.def \
    include/kestro.h include/kestro_version.h vb/kestro.bas dotnet/Kestro.cs \
    KestroConfigure/KestroConfigure.exe KestroConfigure/README.TXT README.TXT; do
    grep -qxF "$name/$f" <<<"$listing" || fail "$name.zip lacks $f"
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
echo "make-kit: $out/$name.zip ($(du -k "$out/$name.zip" | cut -f1) KiB, $(echo "$listing" | grep -vc '/$') files)"
