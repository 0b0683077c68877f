#!/usr/bin/env bash
# Takes the README's picture of the window: builds the screenshot helper if needed, shows the real
# window under a virtual X server (or Qt's offscreen platform when xvfb-run is missing) and saves
# it as docs/screenshot.png. BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target trilette-screenshot -j"$(nproc)"
mkdir -p docs
if command -v xvfb-run >/dev/null; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 800x600x24" \
    "$build/bin/trilette-screenshot" docs/screenshot.png
else
  QT_QPA_PLATFORM=offscreen "$build/bin/trilette-screenshot" docs/screenshot.png
fi
echo "docs/screenshot.png"
