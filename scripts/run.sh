#!/usr/bin/env bash
# Sets up a fresh Debian machine if needed, builds Trilette into build/ and starts the window.
# Without a display, converts the bundled example net with the command line instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/trilette "$@"
fi

out=build/example-output
mkdir -p "$out"
echo "Pas d'affichage graphique : conversion de examples/portail.ndr avec trilette-cli."
build/bin/trilette-cli --quiet -o "$out" examples/portail.ndr
echo "Fichiers écrits : $out/portail_ST.txt et $out/portail.log"
