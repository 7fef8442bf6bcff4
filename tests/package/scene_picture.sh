# shellcheck shell=bash
# Shared by the scene example's runs on Linux and under Wine (sourced, not run).
# check_scene_picture <scene_demo's output> <on|off>: the counts it printed for a run with the
# depth buffer on or off. The two cubes must overlap on the screen; there the near red cube,
# drawn first, must show with the depth buffer and the far blue cube, drawn after it, without
# one. Outside the overlap both cubes and both pyramids must show. Says why on standard error
# and returns 1 when a count is wrong.
check_scene_picture() {
    local out=$1 depth=$2 overlap near far red blue green yellow
    # shellcheck disable=SC2034  # red, blue, green and yellow are read by name below
    read -r overlap near far red blue green yellow < <(echo "$out" | sed -n \
        "s/.* depth buffer $depth, \([0-9]*\) overlap pixels: \([0-9]*\) near red, \([0-9]*\) far blue; elsewhere \([0-9]*\) red, \([0-9]*\) blue, \([0-9]*\) green, \([0-9]*\) yellow pixels$/\1 \2 \3 \4 \5 \6 \7/p") || true
    [ -n "${yellow:-}" ] || { echo "no counts for a run with the depth buffer $depth: $out" >&2; return 1; }
    [ "$overlap" -ge 500 ] || { echo "the cubes overlap on only $overlap pixels" >&2; return 1; }
    local winner=$near loser=$far seen="the near red cube"
    [ "$depth" = on ] || { winner=$far loser=$near seen="the far blue cube"; }
    [ $((winner * 100)) -ge $((overlap * 98)) ] && [ $((loser * 100)) -le "$overlap" ] || {
        echo "depth buffer $depth: of the $overlap pixels where the cubes overlap $near show" \
            "the near red cube and $far the far blue one; $seen should cover them" >&2
        return 1
    }
    local name count
    for name in red blue green yellow; do
        count=${!name}
        [ "$count" -ge 1000 ] || { echo "only $count $name pixels outside the overlap" >&2; return 1; }
    done
}
