#!/usr/bin/env bash
# The hostile shapes (bench/hostile.cpp) at 10^3 to 10^6 lines: for each, the bytes written
# (structure log and program) and the time of trilette-cli, per format, as a Markdown table with
# the bytes and microseconds per line beside them, which stay level where the growth is linear.
# See bench/README.md.
#
#   bash bench/linear.sh                      # SIZES="1000 10000 100000 1000000" SEED=1
#   SIZES="1000 10000" bash bench/linear.sh   # a fast look
#   SHAPES="chain label" bash bench/linear.sh # some shapes only
#
# Builds Release into build-bench (BUILD_DIR to change it). Exit status 0 when every run
# converted its net, 2 otherwise.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
bash "$root/scripts/deps.sh" --bench
build=${BUILD_DIR:-$root/build-bench}
sizes=${SIZES:-1000 10000 100000 1000000}
shapes=${SHAPES:-chain timers label outputs fanin random case}
seed=${SEED:-1}

echo "Building (Release) into $build ..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTRILETTE_BUILD_GUI=OFF \
    -DTRILETTE_BUILD_TESTS=OFF -DTRILETTE_BUILD_BENCH=ON > /dev/null
cmake --build "$build" -j 2 --target trilette-cli trilette-gennet > /dev/null
cli=$build/bin/trilette-cli
gennet=$build/bin/trilette-gennet
work=$build/linear-run
mkdir -p "$work/out"

# The best of three runs, in milliseconds; the conversion must succeed.
time_ms() {
    local best= start end ms
    for _ in 1 2 3; do
        start=$EPOCHREALTIME
        "$@" > /dev/null 2>&1 || { echo "linear.sh: failed: $*" >&2; exit 2; }
        end=$EPOCHREALTIME
        ms=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", (b - a) * 1000 }')
        if [[ -z $best ]] || awk -v m="$ms" -v b="$best" 'BEGIN { exit !(m < b) }'; then
            best=$ms
        fi
    done
    echo "$best"
}

echo "Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -n 1)," \
    "$(date +%Y-%m-%d), commit $(git -C "$root" rev-parse --short HEAD 2> /dev/null || echo '?')"
echo
echo "| shape | lines | net bytes | format | bytes written | per line | ms | µs per line |"
echo "|---|---:|---:|---|---:|---:|---:|---:|"
for shape in $shapes; do
    for lines in $sizes; do
        net=$work/$shape-$lines.ndr
        "$gennet" --shape "$shape" --lines "$lines" --seed "$seed" > "$net"
        net_bytes=$(stat -c %s "$net")
        for format in st pou check; do
            rm -f "$work"/out/*
            if [[ $format == check ]]; then
                ms=$(time_ms "$cli" --quiet --check "$net")
                written=$("$cli" --quiet --check "$net" 2>&1 | wc -c || true)
            else
                ms=$(time_ms "$cli" --quiet -f "$format" -o "$work/out" "$net")
                written=$(cat "$work"/out/* | wc -c)
            fi
            awk -v s="$shape" -v l="$lines" -v n="$net_bytes" -v f="$format" -v w="$written" \
                -v m="$ms" 'BEGIN { printf "| %s | %d | %d | %s | %d | %.1f | %s | %.2f |\n",
                    s, l, n, f, w, w / l, m, m * 1000 / l }'
        done
    done
done
