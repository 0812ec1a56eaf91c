#!/usr/bin/env bash
# run.sh on a machine without a display: the demo on a virtual display of its own, with TEMP
# unset as on a fresh machine, must print ffprobe's reading of a Microsoft Video 1 recording
# that has frames in it.
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
output=$(env -u DISPLAY -u TEMP TMPDIR="$work" XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work" "$source_dir/scripts/with-display" -- \
  "$source_dir/scripts/headless-demo" --exit 2>&1)
echo "$output"
grep -qx 'codec_name=msvideo1' <<<"$output" || { echo "FAIL: no msvideo1 stream"; exit 1; }
frames=$(sed -n 's/^nb_read_frames=//p' <<<"$output")
[ "${frames:-0}" -gt 0 ] || { echo "FAIL: no frames read"; exit 1; }
if grep -q 'No such file' <<<"$output"; then echo "FAIL: an error was printed"; exit 1; fi
