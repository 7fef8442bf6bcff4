# Shared by scripts/run and scripts/test (sourced, not run).

# Installs those of the given Debian packages that are missing: directly as root, else
# through sudo when it is available; otherwise prints the
# one apt-get line that is missing and returns non-zero.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "Missing packages. Run as root: apt-get install -y ${missing[*]}" >&2
            return 1
        fi
    fi
    echo "Installing: ${missing[*]}" >&2
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q >&2 &&
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >&2 && return 0
    echo "Could not install them. Run as root: apt-get install -y ${missing[*]}" >&2
    return 1
}

# Prints a display number with no X server on it.
free_display() {
    local n
    for n in $(seq 90 199); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            echo "$n"
            return 0
        fi
    done
    return 1
}

# Waits (up to about 10 s) until the X server on $DISPLAY answers.
wait_for_x() {
    local i
    for i in $(seq 1 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
