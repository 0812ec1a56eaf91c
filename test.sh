#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite on its own virtual display.
# Extra arguments go to ctest (for example: ./test.sh -L unit).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
exec ./scripts/with-display -- ctest --test-dir build --output-on-failure --timeout 900 "$@"
