#!/usr/bin/env bash
# Runs the reference host under Wine against the simulated camera library for a few seconds,
# prints the frame rate and the plug-in's log, and leaves a PNG snapshot.
set -euo pipefail
BUILD=$1
shift || true
RUN="$BUILD/wine-run.sh"
BIN="$BUILD/bin"
OUT="$BUILD/demo"
mkdir -p "$OUT/settings"
# The host settings stay inside the build tree; the default simulated camera is used.
export TRV_SETTINGS="Z:$(printf '%s' "$OUT/settings" | tr / '\\')"
unset TRV_SIM_CONFIG
if [ ! -f "$BIN/trvhost.exe" ]; then
    echo "demo: trvhost.exe was not built" >&2
    exit 1
fi
"$RUN" "$BIN/trvhost.exe" --plugin "$BIN/trvueye.dll" --config-dir "$OUT" --seconds 3 \
    --snapshot "$OUT/snapshot.png" --print-log \
    --script "timing; exposure 50; timing; aoi get; aoi set 100 100 640 480; wait 1; aoi reset; wait 1" \
    "$@"
echo "demo: snapshot at $OUT/snapshot.png"
