#!/usr/bin/env bash
# A Windows build of the game is a program for its architecture that needs nothing but
# system DLLs (the C and C++ runtimes are inside) and carries every bitmap of resources/ as
# a BITMAP resource under the number in its file name.
# Arguments: <game.exe> <objdump> <expected file format, e.g. pei-i386> <source-dir>.
set -uo pipefail
exe=$1 objdump=$2 format=$3 src=$4
headers=$("$objdump" -p "$exe") || { echo "FAIL: cannot read $exe" >&2; exit 1; }
grep -q "file format $format\$" <<<"$headers" ||
    { echo "FAIL: $exe is not $format: $(grep 'file format' <<<"$headers")" >&2; exit 1; }
dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u)
system="ddraw.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll user32.dll winmm.dll"
for dll in $dlls; do
    [[ " $system " == *" $dll "* ]] || { echo "FAIL: $exe needs $dll" >&2; exit 1; }
done
want=$(ls "$src"/resources/bitmap*.bmp | sed 's/.*bitmap\([0-9]*\)\.bmp$/\1/' | sort -n | xargs)
have=$("${objdump%objdump}windres" -J coff -O rc -i "$exe" |
    sed -n 's|^\([0-9][0-9]*\) 2 /\* RT_BITMAP \*/$|\1|p' | sort -n | xargs)
[ -n "$want" ] && [ "$have" = "$want" ] ||
    { echo "FAIL: $exe has bitmap resources [$have], resources/ holds [$want]" >&2; exit 1; }
echo "PASS: $format, bitmaps $have, imports only:" $dlls
