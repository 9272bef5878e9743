#!/usr/bin/env bash
# Installs what building and testing Kestro needs on Debian 12, with apt-get,
# only when something is missing. Run as root (or with sudo available).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev libgl-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
    xvfb xauth libxtst-dev x11-utils imagemagick openbox wmctrl fonts-liberation
    clang-format binutils valgrind qemu-system-x86 cpio
    # The Windows kit: kestro.lib made by llvm-dlltool and linked by lld-link
    # from a clang-built program, the C# declarations compiled and run by
    # Mono, the zip; the 32-bit Wine root packed with zstd.
    clang lld llvm mono-mcs mono-runtime zip unzip zstd
    # The README's worked example of testing an application against the
    # virtual reader: a Python application on libkestro.so through ctypes.
    python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi
