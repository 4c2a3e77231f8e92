#!/usr/bin/env bash
# Runs the reference host under Wine against the simulated camera library for a few seconds,
# prints the frame rate and the plug-in's log, and leaves a PNG snapshot.
set -euo pipefail
BUILD=$1
shift || true
RUN="$BUILD/wine-run.sh"
BIN="$BUILD/bin"
OUT="$BUILD/demo"
mkdir -p "$OUT"
if [ ! -f "$BIN/trvhost.exe" ]; then
    echo "demo: trvhost.exe was not built" >&2
    exit 1
fi
"$RUN" "$BIN/trvhost.exe" --plugin "$BIN/trvueye.dll" --seconds 3 \
    --snapshot "$OUT/snapshot.png" --print-log "$@"
echo "demo: snapshot at $OUT/snapshot.png"
