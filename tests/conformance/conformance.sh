#!/usr/bin/env bash
# Runs the conformance probe on our platform and, under Wine, on the real one, and compares
# the two outputs (compare.sh). Skips (exit 77) when the Windows build of the probe, Wine or
# Xvfb is missing.
#
#   conformance.sh PROBE PROBE_EXE SOURCE_DIR WORK_DIR
set -u
probe=$1 probe_exe=$2 src=$3 work=$4
. "$src/tests/conformance/wine.sh"
if [ ! -f "$probe_exe" ]; then
    echo "SKIP: no Windows build of the probe ($probe_exe): the mingw-w64 cross compiler was not found"
    exit 77
fi
wine_available || exit 77
rm -rf "$work"
mkdir -p "$work"

"$probe" "$work/ours.txt" || { echo "FAIL: the probe on our platform exited with $?"; exit 1; }
wine_start "$work/wine" || { echo "FAIL: the Wine prefix could not be made"; exit 1; }
cp "$probe_exe" "$work/probe.exe"
(cd "$work" && wine_run ./probe.exe real.txt) ||
    { echo "FAIL: the probe under Wine exited with $?"; exit 1; }
bash "$src/tests/conformance/compare.sh" "$work/ours.txt" "$work/real.txt"
