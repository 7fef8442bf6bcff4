#!/usr/bin/env bash
# Installs the Windows build of the library into a fresh prefix and builds the game's own
# code against the installed CMake package, with the same toolchain: the program must come
# out as the build's own game.exe does (its architecture, system DLLs only, the bitmaps as
# its resources).
# Arguments: <build-dir> <source-dir> <work-dir> <objdump> <file format>.
set -euo pipefail
build=$1 src=$2 work=$3 objdump=$4 format=$5
rm -rf "$work"
mkdir -p "$work/src/app"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cp "$src/tests/wine/consumer/CMakeLists.txt" "$work/src/"
# The application's code, without the Linux entry and the records the library carries.
cp "$src"/app/*.cpp "$src"/app/*.h "$work/src/app/"
rm "$work/src/app/main.cpp" "$work/src/app/appstate.cpp" "$work/src/app/appstate.h"
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64.cmake" \
    -DGAME_WINDOWS_ARCH="$(sed -n 's/^GAME_WINDOWS_ARCH:[A-Z]*=//p' "$build/CMakeCache.txt")" \
    >/dev/null
cmake --build "$work/build" >/dev/null
bash "$src/tests/wine/imports.sh" "$work/build/game.exe" "$objdump" "$format" "$src"
echo "PASS: the game builds on the installed package"
