#!/usr/bin/env bash
# Times trilette-cli against trilette-floor (bench/floor.cpp: read the net, split it into lines,
# write as many bytes as the tool writes) on generated nets, in alternation, round after round,
# and checks the targets on the medians of the per-round ratios. See bench/README.md.
#
#   bash bench/run.sh              # RUNS=7 SIZES="1000000 10000000" SEED=1 by default
#   QUICK=1 bash bench/run.sh      # a fast look: 3 rounds, no 10^7-line net
#
# Builds Release into build-bench (BUILD_DIR to change it), installing what is missing (Google
# Benchmark, GNU time) as scripts/deps.sh does. Exit status 0 when every target is met, 1 when
# one is missed, 2 when something could not run.
set -euo pipefail
export LC_ALL=C

if [[ -z ${EPOCHREALTIME:-} ]]; then
    echo "run.sh: bash 5 or later is needed (EPOCHREALTIME)" >&2
    exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
bash "$root/scripts/deps.sh" --bench
build=${BUILD_DIR:-$root/build-bench}
quick=${QUICK:-0}
if [[ $quick == 1 ]]; then
    runs=${RUNS:-3}
else
    runs=${RUNS:-7}
fi
read -r small big _ <<< "${SIZES:-1000000 10000000}"
[[ $quick == 1 ]] && big=
seed=${SEED:-1}

echo "Building (Release) into $build ..."
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRILETTE_BUILD_GUI=OFF \
    -DTRILETTE_BUILD_TESTS=OFF -DTRILETTE_BUILD_BENCH=ON > /dev/null
cmake --build "$build" -j 2 > /dev/null
cli=$build/bin/trilette-cli
floor=$build/bin/trilette-floor
gennet=$build/bin/trilette-gennet

work=$build/bench-run
mkdir -p "$work/tool" "$work/floor"

# The net of a shape (neighbour, random) and size, generated again when the generator is newer.
net_file() {
    local file=$work/$1-$2-s$seed.ndr
    if [[ ! -s $file || $gennet -nt $file ]]; then
        local options=()
        [[ $1 == random ]] && options=(--random-arcs 1)
        "$gennet" --lines "$2" --seed "$seed" "${options[@]}" > "$file.tmp"
        mv "$file.tmp" "$file"
    fi
    echo "$file"
}

# The steps of a round: name, net file, what runs (floor, quiet, traces), lines, label.
steps=()
add_step() { steps+=("$1|$2|$3|$4|$5"); }
small_net=$(net_file neighbour "$small")
random_net=$(net_file random "$small")
add_step floor-neighbour "$small_net" floor "$small" "neighbour floor"
add_step quiet-neighbour "$small_net" quiet "$small" "neighbour quiet"
add_step traces-neighbour "$small_net" traces "$small" "neighbour traces"
add_step floor-random "$random_net" floor "$small" "random floor"
add_step quiet-random "$random_net" quiet "$small" "random quiet"
if [[ -n $big ]]; then
    big_net=$(net_file neighbour "$big")
    add_step floor-big "$big_net" floor "$big" "neighbour floor"
    add_step quiet-big "$big_net" quiet "$big" "neighbour quiet"
fi

# Output sizes of the tool on each net, for the floor: "LOG_BYTES PROGRAM_BYTES".
declare -A out_sizes
outputs_of() {
    local stem=$work/tool/$(basename "$1" .ndr)
    echo "$(stat -c %s "$stem.log") $(stat -c %s "$stem"_ST.txt)"
}

# Sets `cmd` (and `to`, where its standard output goes) for a step.
set_command() {
    to=/dev/null
    case $3 in
    floor) cmd=("$floor" -o "$work/floor" "$2" ${out_sizes[$2]}) ;;
    quiet) cmd=("$cli" --quiet -o "$work/tool" "$2") ;;
    traces)
        cmd=("$cli" -o "$work/tool" "$2")
        to=$work/traces.txt
        ;;
    esac
}

run_step() {
    if ! "${cmd[@]}" > "$to" 2> /dev/null; then
        echo "run.sh: failed: ${cmd[*]}" >&2
        exit 2
    fi
}

# One run of each step for its peak memory (GNU time, in KB), which also warms the page cache
# and gives the floor its sizes: the tool's steps first.
for pass in tool floor; do
    for step in "${steps[@]}"; do
        IFS='|' read -r name net what lines label <<< "$step"
        if [[ $pass == tool && $what == floor || $pass == floor && $what != floor ]]; then
            continue
        fi
        set_command "$name" "$net" "$what"
        [[ $to == /dev/null ]] || rm -f "$to"
        /usr/bin/time -f %M -o "$work/peak.$name" "${cmd[@]}" > "$to" 2> /dev/null \
            || { echo "run.sh: failed: ${cmd[*]}" >&2; exit 2; }
        [[ $what == quiet ]] && out_sizes[$net]=$(outputs_of "$net")
        : > "$work/times.$name"
    done
done
# The floor writes what the tool writes, byte for byte in size.
for net in "${!out_sizes[@]}"; do
    stem=$(basename "$net" .ndr)
    floor_sizes="$(stat -c %s "$work/floor/$stem.log") $(stat -c %s "$work/floor/$stem"_ST.txt)"
    if [[ $floor_sizes != "${out_sizes[$net]}" ]]; then
        echo "run.sh: the floor wrote $floor_sizes bytes, the tool ${out_sizes[$net]}" >&2
        exit 2
    fi
done

echo "Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -n 1)," \
    "$(. /etc/os-release && echo "$PRETTY_NAME"), $(date +%Y-%m-%d)"
echo "Commit $(git -C "$root" rev-parse --short HEAD 2> /dev/null || echo '?')$(
    git -C "$root" diff --quiet HEAD 2> /dev/null || echo ' (modified)'), rounds: $runs," \
    "seed: $seed, nets of $small${big:+ and $big} lines"
echo

# The rounds: every step once, in reverse order every other round, so that neither the floor
# nor the tool always runs first, and a burst of load elsewhere on the machine falls on both.
for ((r = 0; r < runs; r++)); do
    order=("${steps[@]}")
    if ((r % 2)); then
        order=()
        for ((i = ${#steps[@]} - 1; i >= 0; i--)); do order+=("${steps[i]}"); done
    fi
    for step in "${order[@]}"; do
        IFS='|' read -r name net what lines label <<< "$step"
        set_command "$name" "$net" "$what"
        [[ $to == /dev/null ]] || rm -f "$to"
        start=${EPOCHREALTIME/./}
        run_step
        end=${EPOCHREALTIME/./}
        echo "$((end - start))" >> "$work/times.$name"
    done
    echo "  round $((r + 1)) of $runs done" >&2
done

# One line per step: name what lines bytes kb, then its times in microseconds, round by round.
results=$work/results.txt
: > "$results"
for step in "${steps[@]}"; do
    IFS='|' read -r name net what lines label <<< "$step"
    echo "$name $what $lines $(stat -c %s "$net") $(cat "$work/peak.$name")" \
        "$(paste -sd ' ' "$work/times.$name")" >> "$results"
done

awk -v small="$small" -v big="$big" -v runs="$runs" '
    function median(v, n,    i, j, t, s) {
        for (i = 1; i <= n; i++) s[i] = v[i]
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && s[j - 1] > s[j]; j--) { t = s[j]; s[j] = s[j - 1]; s[j - 1] = t }
        return n % 2 ? s[(n + 1) / 2] : (s[n / 2] + s[n / 2 + 1]) / 2
    }
    # Median over the rounds of the ratio of step a to step b.
    function ratio(a, b,    r, v) {
        for (r = 1; r <= runs; r++) v[r] = t[a, r] / t[b, r]
        return median(v, runs)
    }
    function timeOf(a,    r, v) {
        for (r = 1; r <= runs; r++) v[r] = t[a, r] / 1e6
        return median(v, runs)
    }
    function row(label, a, f) {
        printf "%-17s %9d %8.1f %8.3f %8.3f %7.2f %8.1f %7.0f %12.0f\n", label, lines[a],
            bytes[a] / 1e6, timeOf(f), timeOf(a), ratio(a, f), kb[a] / 1024,
            kb[a] * 1024 / lines[a], kb[f] * 1024 / lines[f]
    }
    function verdict(ok, text) {
        failed += !ok
        printf "  %s  %s\n", ok ? "PASS" : "FAIL", text
    }
    {
        lines[$1] = $3; bytes[$1] = $4; kb[$1] = $5
        for (r = 1; r <= runs; r++) t[$1, r] = $(5 + r)
    }
    END {
        printf "%-17s %9s %8s %8s %8s %7s %8s %7s %12s\n", "net, mode", "lines", "input MB",
            "floor s", "tool s", "x floor", "peak MB", "B/line", "floor B/line"
        row("neighbour quiet", "quiet-neighbour", "floor-neighbour")
        row("neighbour traces", "traces-neighbour", "floor-neighbour")
        row("random quiet", "quiet-random", "floor-random")
        if (big != "")
            row("neighbour quiet", "quiet-big", "floor-big")
        print ""
        print "Times are medians over " runs " rounds; \"x floor\" is the median of the per-round"
        print "ratios tool / floor; peak MB is the peak resident memory of one run of the tool,"
        print "B/line that memory per input line, floor B/line the same for the floor."
        print ""
        print "Targets:"
        q = ratio("quiet-neighbour", "floor-neighbour")
        verdict(q <= 2.5, sprintf("1. neighbour net, quiet: %.2f x floor (at most 2.5)", q))
        q = ratio("quiet-random", "floor-random")
        verdict(q <= 5, sprintf("2. random net, quiet: %.2f x floor (at most 5)", q))
        q = ratio("traces-neighbour", "quiet-neighbour")
        verdict(q <= 1.25, sprintf("3. traces to a file: %.3f x quiet (at most 1.25)", q))
        worst = kb["quiet-neighbour"]
        if (kb["traces-neighbour"] > worst) worst = kb["traces-neighbour"]
        if (kb["quiet-random"] > worst) worst = kb["quiet-random"]
        if (big != "") {
            bound = 1.05 * big / small
            q = ratio("quiet-big", "quiet-neighbour")
            verdict(q <= bound, sprintf("4. time(%d) / time(%d), quiet: %.2f (at most %.1f)",
                                        big, small, q, bound))
        } else
            print "  SKIP  4. time(10^7) / time(10^6): no big net (QUICK=1 or one size)"
        q = worst * 1024 / small
        verdict(q <= 120, sprintf("4. peak memory at %d lines: %.0f bytes a line (at most 120)",
                                  small, q))
        if (big != "") {
            q = kb["quiet-big"] * 1024 / big
            verdict(q <= 120, sprintf("4. peak memory at %d lines: %.0f bytes a line (at most 120)",
                                      big, q))
        }
        exit failed != 0
    }' "$results"
