#!/usr/bin/env bash
# Builds into build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer and runs every
# test there; any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
cd build-asan
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"

# A conversion runs on two threads (the reader cuts lines on one while the other builds the net;
# the checks and the writers share both): ThreadSanitizer watches the reader on texts of many
# blocks and the command line on the golden nets, the real ones and a net of a few megabytes, in
# every format. Only programs without Qt run here: Qt's library and its test framework run
# threads of their own that ThreadSanitizer cannot see into, and would report at random.
cd ..
tsan="-fsanitize=thread -g -O1"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$tsan" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DTRILETTE_BUILD_GUI=OFF >/dev/null
cmake --build build-tsan -j"$(nproc)" --target trilette-cli tst_readerthreads
for program in trilette-cli tst_readerthreads; do
  if ldd "build-tsan/bin/$program" | grep -q 'libQt'; then
    echo "$program est lié à Qt : il n'a pas sa place sous ThreadSanitizer." >&2
    exit 1
  fi
done
export TSAN_OPTIONS="halt_on_error=1"
build-tsan/bin/tst_readerthreads
nets=(tests/golden/*.ndr tests/golden/pou/*.ndr examples/*.ndr)
[ -d ../shared/corpus/ndr ] && nets+=(../shared/corpus/ndr/*.ndr)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for ((i = 0; i < 40000; i++)); do
  printf 'p 1 2 P%d %d n {[S%d]} e\nt 1 2 T%d c 0 w n {[a%d > 1;x]} e\ne P%d T%d 1 n\ne T%d P%d 1 n\n' \
    "$i" "$((i % 3))" "$((i % 50))" "$i" "$((i % 9))" "$i" "$i" "$i" "$((i + 1))"
done > "$work/big.ndr"
nets+=("$work/big.ndr")
# Status 1 (a net with errors) is expected of some nets; a report makes it 66.
convert() {
  local status=0
  build-tsan/bin/trilette-cli -q "$@" 2>"$work/stderr" || status=$?
  if [ "$status" -gt 1 ]; then
    cat "$work/stderr" >&2
    exit 1
  fi
}
for format in st pou plcopen; do
  for net in "${nets[@]}"; do
    convert -f "$format" -o "$work" "$net"
  done
  convert --check -f "$format" "${nets[@]}"
done
echo "ThreadSanitizer : aucune course de données."
