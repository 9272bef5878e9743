#!/usr/bin/env bash
# Draws the Windows program's banner and icon with the Qt window's artwork
# code and writes them to utility/win32/res (committed, so the MinGW builds
# need no Qt). Run again after changing utility/qt/artwork.cpp.
set -euo pipefail
cd "$(dirname "$0")/../../.."
dir=build-win32ui-artwork
cmake -S utility/win32/artwork -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j 2
QT_QPA_PLATFORM=offscreen "$dir/make_artwork" utility/win32/res/banner.bmp utility/win32/res/program.ico
file utility/win32/res/banner.bmp utility/win32/res/program.ico
