#!/usr/bin/env bash
# Makes the Wine prefix the suite's Wine tests share: a fresh one, initialised once (about
# 20 s), with Wine's crash dialog off so that a crash ends the program instead of waiting
# for a click that never comes.
# Arguments: <wine-launcher> <prefix-dir>.
set -uo pipefail
launcher=$1
export WINEPREFIX=$2 WINEDEBUG=-all
wineserver=$(dirname "$launcher")/wineserver
"$wineserver" -k 2>/dev/null
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
# No display is needed to set the prefix up.
unset DISPLAY WAYLAND_DISPLAY
timeout 300 "$launcher" wineboot -i >"$WINEPREFIX.log" 2>&1 ||
    { echo "FAIL: wineboot failed: $(tail -n 5 "$WINEPREFIX.log")" >&2; exit 1; }
timeout 120 "$launcher" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD \
    /d 0 /f >>"$WINEPREFIX.log" 2>&1 || { echo "FAIL: cannot turn the crash dialog off" >&2; exit 1; }
"$wineserver" -w
echo "PASS: Wine prefix ready at $WINEPREFIX ($("$launcher" --version))"
