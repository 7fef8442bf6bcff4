# Running a Windows program under Wine in a virtual X server (sourced, not run).
#
#   wine_available              0 when wine64 and Xvfb are here, else prints why and returns 1
#   wine_start WORK_DIR         a virtual X server (1024x768, 16 bits) and a fresh Wine
#                               prefix under WORK_DIR; wine_stop undoes both (set as EXIT trap)
#   wine_run EXE ARGS...        runs EXE under Wine with a time limit; a crash of Wine itself
#                               (exit 128 or more) is retried once and said so
WINE64=${WINE64:-/usr/lib/wine/wine64}

wine_available() {
    if [ ! -x "$WINE64" ]; then
        echo "SKIP: $WINE64 not found (install wine64)"
        return 1
    fi
    if ! command -v Xvfb >/dev/null; then
        echo "SKIP: Xvfb not found (install xvfb)"
        return 1
    fi
}

wine_start() {
    wine_work=$1
    mkdir -p "$wine_work"
    # SIGTERM to the server when this shell dies, even of a SIGKILL that runs no trap.
    setpriv --pdeathsig TERM Xvfb -displayfd 3 -noreset -screen 0 1024x768x16 -nolisten tcp \
        3>"$wine_work/display" >"$wine_work/xvfb.log" 2>&1 &
    wine_xvfb=$!
    trap wine_stop EXIT
    local i
    for i in $(seq 1 100); do
        [ -s "$wine_work/display" ] && break
        sleep 0.1
    done
    [ -s "$wine_work/display" ] || { echo "FAIL: Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(head -n 1 "$wine_work/display")"
    export WINEPREFIX="$wine_work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    rm -rf "$WINEPREFIX"
    timeout 120 "$WINE64" wineboot -i >"$wine_work/wineboot.log" 2>&1
}

wine_stop() {
    [ -n "${WINEPREFIX:-}" ] && timeout 20 "$(dirname "$WINE64")/wineserver" -k 2>/dev/null
    [ -n "${wine_xvfb:-}" ] && kill "$wine_xvfb" 2>/dev/null && wait "$wine_xvfb" 2>/dev/null
    return 0
}

wine_run() {
    local code attempt
    for attempt in 1 2; do
        timeout 120 "$WINE64" "$@"
        code=$?
        [ "$code" -lt 128 ] && return "$code"
        echo "wine exited with $code (attempt $attempt)" >&2
    done
    return "$code"
}
