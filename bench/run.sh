#!/usr/bin/env bash
# Times trilette-cli end to end on generated nets of 10^4, 10^5 and 10^6 lines, quiet and with
# traces, beside `cat` on the same file; prints the table and checks the targets.
#
#   bash bench/run.sh            # RUNS=5 SIZES="10000 100000 1000000" SEED=1 by default
#   RUNS=9 bash bench/run.sh     # more runs per row
#
# Builds Release into build-bench (BUILD_DIR to change it), installing what is missing (Google
# Benchmark, GNU time) as scripts/deps.sh does. Exit status 0 when every target is met, 1
# otherwise.
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
runs=${RUNS:-5}
sizes=${SIZES:-"10000 100000 1000000"}
seed=${SEED:-1}

echo "Building (Release) into $build ..."
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRILETTE_BUILD_GUI=OFF \
    -DTRILETTE_BUILD_TESTS=OFF -DTRILETTE_BUILD_BENCH=ON > /dev/null
cmake --build "$build" -j 2 --target trilette-cli trilette-gennet > /dev/null
cli=$build/bin/trilette-cli
gennet=$build/bin/trilette-gennet

work=$build/bench-run
mkdir -p "$work/out"

# Sets `cmd` to the command of a row: mode (cat, quiet, traces) and net file.
set_command() {
    case $1 in
    cat) cmd=(cat "$2") ;;
    quiet) cmd=("$cli" --quiet -o "$work/out" "$2") ;;
    traces) cmd=("$cli" -o "$work/out" "$2") ;;
    esac
}

# Seconds taken by one run of the command, its standard output thrown away.
elapsed() {
    local start=$EPOCHREALTIME
    "$@" > /dev/null
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}

# Peak resident memory of one run of the command, in kilobytes.
peak_kb() {
    /usr/bin/time -f %M -o "$work/time.txt" "$@" > /dev/null
    tail -n 1 "$work/time.txt"
}

# "min median" of the numbers on standard input.
min_median() {
    sort -g | awk '{ v[NR] = $1 }
        END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
              printf "%.6f %.6f\n", v[1], m }'
}

echo "Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -n 1)," \
    "$(. /etc/os-release && echo "$PRETTY_NAME"), $(date +%Y-%m-%d)"
echo "Runs per row: $runs, seed: $seed"
echo

# The rows of the table: lines and mode.
rows=()
for lines in $sizes; do
    "$gennet" --lines "$lines" --seed "$seed" > "$work/net$lines.ndr"
    rows+=("$lines cat" "$lines quiet" "$lines traces")
done

# One run of each row for its peak memory, which also warms the page cache; then the timed
# runs, one round of every row at a time, so that a burst of load from elsewhere on the machine
# spreads over the rows instead of spoiling one of them.
for ((i = 0; i < ${#rows[@]}; i++)); do
    read -r lines mode <<< "${rows[i]}"
    set_command "$mode" "$work/net$lines.ndr"
    peak_kb "${cmd[@]}" > "$work/peak.$i"
    : > "$work/times.$i"
done
for ((r = 0; r < runs; r++)); do
    for ((i = 0; i < ${#rows[@]}; i++)); do
        read -r lines mode <<< "${rows[i]}"
        set_command "$mode" "$work/net$lines.ndr"
        elapsed "${cmd[@]}" >> "$work/times.$i"
    done
done

results=$work/results.txt
: > "$results"
for ((i = 0; i < ${#rows[@]}; i++)); do
    read -r lines mode <<< "${rows[i]}"
    echo "$lines $mode $(wc -c < "$work/net$lines.ndr") $(min_median < "$work/times.$i")" \
        "$(cat "$work/peak.$i")" >> "$results"
done

# lines mode bytes min median kb -> the table, then the targets.
awk -v runs="$runs" '
    { lines[NR] = $1; mode[NR] = $2; bytes[NR] = $3; tmin[NR] = $4; tmed[NR] = $5; kb[NR] = $6
      if ($2 == "cat") catmed[$1] = $5
      key[$1 " " $2] = NR }
    END {
        printf "%9s  %8s  %-6s  %8s  %8s  %10s  %7s  %10s  %6s\n", "lines", "input MB", "mode",
            "min s", "median s", "lines/s", "peak MB", "bytes/line", "x cat"
        for (i = 1; i <= NR; i++)
            printf "%9d  %8.1f  %-6s  %8.4f  %8.4f  %10.0f  %7.1f  %10.0f  %6.1f\n", lines[i],
                bytes[i] / 1e6, mode[i], tmin[i], tmed[i], lines[i] / tmed[i], kb[i] / 1024,
                kb[i] * 1024 / lines[i], tmed[i] / catmed[lines[i]]
        print ""
        print "lines/s and x cat (the time over the time of cat) use the median; peak MB is"
        print "the peak resident memory of one run, bytes/line that memory over the lines."
        print ""
        print "Targets, judged on the median of " runs " runs (the min in parentheses):"
        status = 0
        big = key["1000000 quiet"]; mid = key["100000 quiet"]
        if (big) {
            ok = tmed[big] < 1.0; status += !ok
            printf "  %s  10^6 lines with --quiet in under 1 s: %.3f s (%.3f s)\n",
                ok ? "PASS" : "FAIL", tmed[big], tmin[big]
        } else print "  SKIP  10^6 lines with --quiet in under 1 s: no 10^6-line net"
        if (big && mid) {
            ok = tmed[big] / tmed[mid] <= 12; status += !ok
            printf "  %s  time(10^6) / time(10^5) at most 12: %.2f (%.2f); per input byte %.2f\n",
                ok ? "PASS" : "FAIL", tmed[big] / tmed[mid], tmin[big] / tmin[mid],
                tmed[big] / tmed[mid] * bytes[mid] / bytes[big] * 10
        } else print "  SKIP  time(10^6) / time(10^5) at most 12: a size is missing"
        biggest = 0
        for (i = 1; i <= NR; i++) if (lines[i] > biggest) biggest = lines[i]
        worst = 0
        for (i = 1; i <= NR; i++)
            if (lines[i] == biggest && mode[i] != "cat" && kb[i] * 1024 / lines[i] > worst)
                worst = kb[i] * 1024 / lines[i]
        ok = worst < 400; status += !ok
        printf "  %s  peak memory under 400 bytes per input line at %d lines: %.0f\n",
            ok ? "PASS" : "FAIL", biggest, worst
        exit status != 0
    }' "$results"
