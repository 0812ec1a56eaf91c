#!/usr/bin/env bash
# Installs what is missing, builds, and starts Korvex on the current display. Without a
# display it starts a virtual one with a window manager, so that the program still runs.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target korvex
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec ./build/app/korvex
fi
echo "run.sh: no display found; starting Korvex on a virtual display with a window manager."
exec ./scripts/with-display -- ./scripts/headless-demo
