#!/usr/bin/env bash
# Compares two probe outputs, ours and the real platform's: every "name: values" line must be
# equal, except the lighting and Gouraud colour lines ("d3d.light.*", "d3d.shade.*": r g b in
# 5-6-5 units), which may differ by one 5-bit step (1 in red and blue, 2 in green's 6 bits).
# "info" lines are shown side by side, not compared. Differences kept on purpose (KEPT_FILE: pattern, tab, reason) are listed but
# do not fail. Lists each difference; exit 1 when there is any other.
#
#   compare.sh OURS REAL [KEPT_FILE]
kept=${3:-$(dirname "$0")/kept.txt}
awk -F': ' -v kept="$kept" '
function abs(v) { return v < 0 ? -v : v }
function within_step(a, b,   x, y) {
    if (split(a, x, " ") != 3 || split(b, y, " ") != 3) return 0
    return abs(x[1] - y[1]) <= 1 && abs(x[2] - y[2]) <= 2 && abs(x[3] - y[3]) <= 1
}
BEGIN {
    while ((getline line < kept) > 0) {
        if (line ~ /^#/ || line == "") continue
        split(line, f, "\t"); keptRe[++nk] = f[1]; keptWhy[nk] = f[2]
    }
}
function kept_reason(name,   j) {
    for (j = 1; j <= nk; ++j) if (name ~ keptRe[j]) return keptWhy[j]
    return ""
}
FNR == NR { ours[$1] = substr($0, length($1) + 3); order[++n] = $1; next }
{ real[$1] = substr($0, length($1) + 3); if (!($1 in ours)) order[++n] = $1 }
END {
    bad = 0; lit = 0; litoff = 0
    for (i = 1; i <= n; ++i) {
        k = order[i]
        if (k in seen) continue
        seen[k] = 1
        if (k ~ /^info /) { printf "%-34s ours: %-20s real: %s\n", k, ours[k], real[k]; continue }
        if ((k in ours) && (k in real) && ours[k] == real[k]) continue
        if ((k in ours) && (k in real) && k ~ /^d3d\.(light|shade)\./ && within_step(ours[k], real[k])) { ++litoff; continue }
        why = kept_reason(k)
        if (!(k in ours)) printf "%s %s: only the real platform: %s\n", why == "" ? "DIFF" : "KEPT", k, real[k]
        else if (!(k in real)) printf "%s %s: only ours: %s\n", why == "" ? "DIFF" : "KEPT", k, ours[k]
        else printf "%s %s\n  ours: %s\n  real: %s\n", why == "" ? "DIFF" : "KEPT", k, ours[k], real[k]
        if (why == "") ++bad; else { ++nkept; lastWhy = why }
        if (why != "" && !(why in told)) { told[why] = 1; printf "  (kept: %s)\n", why }
    }
    printf "%d lines compared, %d differences, %d kept differences, %d colour lines within one 5-bit step but not equal\n", n, bad, nkept, litoff
    exit bad > 0
}' "$1" "$2"
