#!/usr/bin/env bash
# Draws the artwork into resources/ (cursors/<id>.png, bitmaps/<id>.bmp) and the program's icon
# into packaging/icons/ (<size>.png, scalable.svg). The files are committed: run this after
# changing tools/make-artwork and commit what it wrote.
# Usage: tools/make-artwork.sh [--sheet <file.png>]   (build folder: $KORVEX_BUILD_DIR or build/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KORVEX_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target make-artwork -j2
"$build/tools/make-artwork" "$root/resources" --icons "$root/packaging/icons" "$@"
