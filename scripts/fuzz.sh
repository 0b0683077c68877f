#!/usr/bin/env bash
# Builds the libFuzzer target with clang into build-fuzz/ and runs it from the seed nets for a
# bounded time (seconds, default 60). Any crash, leak or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/deps.sh --fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g -O1"
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DTRILETTE_BUILD_GUI=OFF -DTRILETTE_BUILD_TESTS=OFF -DTRILETTE_BUILD_FUZZERS=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_pipeline

work=build-fuzz/corpus
mkdir -p "$work"
cp fuzz/seeds/*.ndr "$work"/
if [ -d ../shared/corpus/ndr ]; then cp ../shared/corpus/ndr/*.ndr "$work"/; fi
ASAN_OPTIONS="detect_leaks=1" build-fuzz/bin/fuzz_pipeline "$work" -max_total_time="$seconds" \
  -max_len=65536 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
  -artifact_prefix=build-fuzz/ 2>&1 | tail -n 15
exit "${PIPESTATUS[0]}"
