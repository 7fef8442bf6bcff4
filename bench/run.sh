#!/usr/bin/env bash
# Builds the benchmarks (bench preset), runs our code and its peers in one go and prints one
# table: figure, ours, our instructions, peer, ratio, target, met. Times are medians of CPU
# time over REPS repetitions (default 5); the "noise" column is the larger coefficient of
# variation of the two sides. The instruction column counts one iteration of our side under
# valgrind's callgrind (steady where times move with the machine's load). The frame-rate row
# runs the game and a bare presentation loop in a virtual X server, FPS_RUNS times each
# (default 3), and compares their median rates.
#
# Environment: REPS, MIN_TIME (seconds per repetition, default 0.2), FPS_RUNS, FPS_SECONDS
# (measured seconds per run, default 5), KEEP=1 keeps the raw output in build/bench/results,
# COUNT=0 skips the instruction counts. The table ends with the processor the run used (its
# model from /proc/cpuinfo, its core count and whether it has AVX-512).
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

REPS=${REPS:-5}
MIN_TIME=${MIN_TIME:-0.2}
FPS_RUNS=${FPS_RUNS:-3}
FPS_SECONDS=${FPS_SECONDS:-5}

ensure_packages g++ cmake ninja-build pkg-config libsdl2-dev libbenchmark-dev xvfb xdotool \
    x11-utils || exit 1
# The software OpenGL peer is optional: without it those rows say so.
ensure_packages libosmesa6-dev || echo "OSMesa not available: no software OpenGL peer" >&2
# So are the instruction counts.
[ "${COUNT:-1}" = 1 ] && { ensure_packages valgrind || echo "valgrind not available: no instruction counts" >&2; }

cmake --preset bench >/dev/null || { echo "configure failed" >&2; exit 1; }
cmake --build --preset bench --target bench_all bench_blit bare_present present_counter game \
    >/dev/null || { echo "build failed" >&2; exit 1; }

root=$(pwd)
bin="$root/build/bench/bench"
out="$root/build/bench/results"
rm -rf "$out"
mkdir -p "$out"

# llvmpipe on one thread, as our device renders.
export LP_NUM_THREADS=0
common=(--benchmark_repetitions="$REPS" --benchmark_min_time="$MIN_TIME"
    --benchmark_report_aggregates_only=true --benchmark_out_format=json)
echo "Running the blitter benchmarks ($REPS repetitions)..." >&2
"$bin/bench_blit" "${common[@]}" --benchmark_out="$out/blit.json" >"$out/blit.txt" 2>&1 ||
    { cat "$out/blit.txt" >&2; exit 1; }
echo "Running the 3D and frame benchmarks ($REPS repetitions)..." >&2
"$bin/bench_all" "${common[@]}" --benchmark_filter='^(app/|floor/|gl/|BM_D3DFrame_)' \
    --benchmark_out="$out/all.json" >"$out/all.txt" 2>&1 || { cat "$out/all.txt" >&2; exit 1; }
# llvmpipe again with as many rendering threads as the machine has cores. Its row compares
# wall-clock (real) times: the CPU time Google Benchmark reports is the calling thread's
# only, which leaves out llvmpipe's rendering threads.
cores=$(nproc)
echo "Running the software OpenGL peer on $cores threads ($REPS repetitions)..." >&2
LP_NUM_THREADS=$cores "$bin/bench_all" "${common[@]}" --benchmark_filter='^gl/sphere100k$' \
    --benchmark_out="$out/threads.json" >"$out/threads.txt" 2>&1 ||
    { cat "$out/threads.txt" >&2; exit 1; }

# ---- Instruction counts ----------------------------------------------------------------------
# Each of our benchmarks, run once more under callgrind, dumps the counts of ten iterations
# after two warm-up ones (bench/support/instructions.h); one line "name instructions" each.
: >"$out/instructions.txt"
if [ "${COUNT:-1}" = 1 ] && command -v valgrind >/dev/null 2>&1; then
    echo "Counting instructions under callgrind..." >&2
    mkdir -p "$out/callgrind"
    vg=(valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out/callgrind/out.%p")
    once=(--benchmark_min_time=0.000001 --benchmark_repetitions=1)
    "${vg[@]}" "$bin/bench_blit" "${once[@]}" --benchmark_filter='^(fill|copy)/ours$|^keyed/ours/' \
        >/dev/null 2>>"$out/callgrind.txt"
    "${vg[@]}" "$bin/bench_all" "${once[@]}" --benchmark_filter='^(app/|BM_D3DFrame_Sphere)' \
        >/dev/null 2>>"$out/callgrind.txt"
    for f in "$out"/callgrind/out.*; do
        awk '/^desc: Trigger: Client Request: / { sub(/^desc: Trigger: Client Request: /, ""); label = $0 }
             /^totals:/ { total = $2 }
             END {
                 if (label == "") exit
                 n = label; sub(/ x[0-9]+$/, "", n)
                 k = label; sub(/.* x/, "", k)
                 printf "%s %.0f\n", n, total / k
             }' "$f"
    done >"$out/instructions.txt"
fi

# ---- Frame rate in a virtual X server --------------------------------------------------------
n=$(free_display) || { echo "no free X display number" >&2; exit 1; }
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
game_pid=""
cleanup() {
    [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    [ "${KEEP:-0}" = 1 ] || rm -rf "$out"
}
trap cleanup EXIT
export DISPLAY=":$n"
unset WAYLAND_DISPLAY SDL_VIDEODRIVER
wait_for_x || { echo "the virtual X server did not start" >&2; exit 1; }

run_dir="$out/run"
mkdir -p "$run_dir"
cp assets/ship.xxx "$run_dir/"
: >"$out/fps_game.txt"
: >"$out/fps_bare.txt"
for i in $(seq 1 "$FPS_RUNS"); do
    echo "Frame rate in Xvfb, run $i of $FPS_RUNS..." >&2
    "$bin/bare_present" "$FPS_SECONDS" >>"$out/fps_bare.txt" 2>>"$out/bare_stderr.txt"
    rm -f "$out/count.txt"
    (cd "$run_dir" && PRESENT_COUNT_FILE="$out/count.txt" \
        LD_PRELOAD="$bin/libpresent_counter.so" exec "$root/build/bench/game") \
        2>>"$out/game_stderr.txt" &
    game_pid=$!
    sleep $((FPS_SECONDS + 2))
    win=$(xdotool search --name '^Game Library$' 2>/dev/null | head -n 1)
    [ -n "$win" ] && xdotool windowfocus --sync "$win" 2>/dev/null
    xdotool key Escape
    for _ in $(seq 1 100); do
        kill -0 "$game_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$game_pid" 2>/dev/null
    wait "$game_pid" 2>/dev/null
    game_pid=""
    [ -f "$out/count.txt" ] && cat "$out/count.txt" >>"$out/fps_game.txt"
done

# ---- The table -------------------------------------------------------------------------------
# The processor the figures were measured on, and whether it has AVX-512: the fill and copy
# rows compare with the C library, which picks its routines by processor.
# A virtual machine may report a bare model name, so the family and model numbers follow it.
cpuinfo() { sed -n "s/^$1[[:space:]]*: *//p" /proc/cpuinfo | head -n 1; }
processor="$(cpuinfo 'model name') (family $(cpuinfo 'cpu family'), model $(cpuinfo model))"
if grep -qw avx512f /proc/cpuinfo; then processor="$processor, $cores cores, AVX-512"
else processor="$processor, $cores cores, no AVX-512"; fi
echo "Processor: $processor" >&2
awk -v fpsGame="$out/fps_game.txt" -v fpsBare="$out/fps_bare.txt" -v reps="$REPS" \
    -v counts="$out/instructions.txt" -v cores="$cores" -v processor="$processor" \
    -v load="$(cut -d' ' -f1-3 /proc/loadavg)" '
function ns(v, unit) {
    if (unit == "us") return v * 1e3
    if (unit == "ms") return v * 1e6
    if (unit == "s") return v * 1e9
    return v
}
function show(t) {
    if (t == "") return "-"
    if (t >= 1e6) return sprintf("%.2f ms", t / 1e6)
    if (t >= 1e3) return sprintf("%.1f us", t / 1e3)
    return sprintf("%.1f ns", t)
}
function instructions(name) {
    sub(/^wall:/, "", name)
    if (!(name in ins)) return "-"
    if (ins[name] >= 1e6) return sprintf("%.2f M", ins[name] / 1e6)
    if (ins[name] >= 1e3) return sprintf("%.1f k", ins[name] / 1e3)
    return sprintf("%d", ins[name])
}
function median(file,    line, a, n, r, i, j, t) {
    n = 0
    while ((getline line < file) > 0) {
        split(line, a, " ")
        if (a[2] > 0) r[++n] = a[1] / a[2]
    }
    close(file)
    if (n == 0) return ""
    for (i = 1; i <= n; ++i)
        for (j = i + 1; j <= n; ++j)
            if (r[j] < r[i]) { t = r[i]; r[i] = r[j]; r[j] = t }
    return n % 2 ? r[(n + 1) / 2] : (r[n / 2] + r[n / 2 + 1]) / 2
}
function spread(file,    line, a, n, lo, hi, v) {
    n = 0
    while ((getline line < file) > 0) {
        split(line, a, " ")
        if (a[2] <= 0) continue
        v = a[1] / a[2]
        if (n == 0 || v < lo) lo = v
        if (n == 0 || v > hi) hi = v
        ++n
    }
    close(file)
    return n ? sprintf("%.0f-%.0f", lo, hi) : "-"
}
function row(figure, ours, peer, mode, limit, target,    r, met, noise) {
    noise = "-"
    if (ours in cv || peer in cv) {
        noise = cv[ours] > cv[peer] ? cv[ours] : cv[peer]
        noise = sprintf("%.0f%%", noise * 100)
    }
    if (!(ours in med) || !(peer in med)) {
        printf "%-68s %10s %9s %10s %6s %8s %-4s %s\n", figure, show(med[ours]), instructions(ours), show(med[peer]), "-", target, "-", noise
        return
    }
    # "time<": a time ratio that must stay strictly below its limit.
    if (mode ~ /^time/) r = med[ours] / med[peer]
    else r = med[peer] / med[ours]
    if (target == "-") met = "-"
    else if (mode == "time<") met = r < limit ? "yes" : "NO"
    else if (mode == "time") met = r <= limit ? "yes" : "NO"
    else met = r >= limit ? "yes" : "NO"
    printf "%-68s %10s %9s %10s %6.2f %8s %-4s %s\n", figure, show(med[ours]), instructions(ours), show(med[peer]), r, target, met, noise
}
# Google Benchmark JSON: one field per line; a run'"'"'s time unit follows its times.
function field(line) { sub(/^[^:]*: */, "", line); gsub(/[",]/, "", line); return line }
BEGIN { while ((getline line < counts) > 0) { split(line, a, " "); ins[a[1]] = a[2] } }
$1 == "\"name\":" { name = field($0); if (FILENAME ~ /threads\.json$/) name = "threads:" name }
$1 == "\"real_time\":" { real = field($0) + 0 }
$1 == "\"cpu_time\":" { cpu = field($0) + 0 }
$1 == "\"time_unit\":" {
    unit = field($0)
    if (name ~ /_median$/) {
        n = name; sub(/_median$/, "", n); med[n] = ns(cpu, unit); med["wall:" n] = ns(real, unit)
    } else if (name ~ /_cv$/) {
        n = name; sub(/_cv$/, "", n); cv[n] = cpu; cv["wall:" n] = real
    }
}
END {
    printf "%-68s %10s %9s %10s %6s %8s %-4s %s\n", "figure (ratio: time ours/peer, or speed-up)", "ours", "instr", "peer", "ratio", "target", "met", "noise"
    print "------------------------------------------------------------------------------------------------------------------------------------"
    row("fill 640x480x16 vs memset (time)", "fill/ours", "fill/memset", "time", 1.2, "<= 1.20")
    row("copy 640x480x16 vs memcpy (time)", "copy/ours", "copy/memcpy", "time", 1.2, "<= 1.20")
    row("fill 640x480x16 vs SDL_FillRect (speed-up)", "fill/ours", "fill/sdl", "speed", 0, "-")
    row("copy 640x480x16 vs SDL_BlitSurface (speed-up)", "copy/ours", "copy/sdl", "speed", 0, "-")
    split("stripes 100x10,sparse 64x64,text 49x11,sprite 640x480", shape, ",")
    for (i = 0; i < 4; ++i) {
        row("keyed " shape[i + 1] " vs SDL (speed-up)", "keyed/ours/" i, "keyed/sdl/" i "/0", "speed", 4, ">= 4.00")
        # The whole-screen sprite moves the bytes SDL RLE moves, at the store bandwidth.
        if (i == 3) row("keyed " shape[i + 1] " vs SDL RLE (speed-up)", "keyed/ours/" i, "keyed/sdl_rle/" i "/1", "speed", 0.95, ">= 0.95")
        else row("keyed " shape[i + 1] " vs SDL RLE (speed-up)", "keyed/ours/" i, "keyed/sdl_rle/" i "/1", "speed", 1.5, ">= 1.50")
    }
    row("Render3DFrame ship vs llvmpipe (time)", "app/render3d_ship", "gl/ship", "time", 0.15, "<= 0.15")
    row("10,000 faces vs llvmpipe (time)", "BM_D3DFrame_Sphere10k", "gl/sphere10k", "time", 0, "-")
    row("100,000 faces vs llvmpipe (time)", "BM_D3DFrame_Sphere100k", "gl/sphere100k", "time", 0.5, "<= 0.50")
    row("100,000 faces vs llvmpipe, " cores " threads (wall)", "wall:BM_D3DFrame_Sphere100k", "wall:threads:gl/sphere100k", "time", 1, "<= 1.00")
    row("99,904-face sphere, depth buffer vs llvmpipe with depth test (time)", "BM_D3DFrame_Sphere100kDepth", "gl/sphere100k_depth", "time", 0.5, "<= 0.50")
    row("the ship'"'"'s frame, depth buffer vs without (time)", "app/render3d_ship_depth", "app/render3d_ship", "time", 1.25, "<= 1.25")
    row("99,904-face sphere, indexed vs expanded list (time)", "BM_D3DFrame_Sphere100kIndexed", "BM_D3DFrame_Sphere100k", "time<", 1, "< 1.00")
    row("AppFrame vs 2 memsets + memcpy (time)", "app/frame", "floor/frame", "time", 3.5, "<= 3.50")
    g = median(fpsGame); b = median(fpsBare)
    if (g != "" && b != "")
        printf "%-68s %8.0f fps %8.0f fps %8.2f %9s %-7s %s\n", "frame rate in Xvfb vs bare SDL loop", g, b, g / b, ">= 0.95", (g / b >= 0.95 ? "yes" : "NO"), "runs " spread(fpsGame) " / " spread(fpsBare) " fps"
    else
        printf "%-68s %12s %12s %8s %9s %-7s\n", "frame rate in Xvfb vs bare SDL loop", (g == "" ? "-" : g), (b == "" ? "-" : b), "-", ">= 0.95", "-"
    printf "\nMedians of CPU time over %s repetitions; noise: coefficient of variation of the noisier side;\n", reps
    printf "(wall): medians of real time. instr: instructions of one iteration of our side under\n"
    printf "callgrind. Load average at the end: %s\n", load
    printf "Processor: %s\n", processor
}' "$out/blit.json" "$out/all.json" "$out/threads.json"
