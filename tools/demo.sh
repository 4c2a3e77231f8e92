#!/usr/bin/env bash
# Runs the reference host under Wine against the simulated camera library: first the default
# colour camera with an area-of-interest change, then two cameras and a stream switch. Prints
# frame rates, frame counts and the plug-in's log, and leaves side by side a PNG snapshot and
# the JSON report of the run it was taken in.
set -euo pipefail
BUILD=$1
shift || true
RUN="$BUILD/wine-run.sh"
BIN="$BUILD/bin"
OUT="$BUILD/demo"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
if [ ! -f "$BIN/trvhost.exe" ]; then
    echo "demo: trvhost.exe was not built" >&2
    exit 1
fi

echo "== demo 1: one simulated colour camera, live video, area of interest set and reset, lens data"
rm -rf "$OUT" && mkdir -p "$OUT/single/Tarvello/Settings"
export TRV_SETTINGS=$(winpath "$OUT/single")
printf '[video]\nMaxExposureMs=30\n' > "$OUT/single/Tarvello/Settings/Tarvello.ini"
# The camera keeps a lens record (0.0055 mm per pixel) in its user memory.
cat > "$OUT/camera.ini" <<'INI'
[camera1]
serial=4002870123
width=1280
height=1024
user_memory=0102030d0c0b0a00000000000000000050140032070000000000000000000000ba490c022b87763f02
io_limits=0 10000
INI
export TRV_SIM_CONFIG=$(winpath "$OUT/camera.ini")
"$RUN" "$BIN/trvhost.exe" --plugin "$BIN/trvueye.dll" --config-dir "$OUT" --seconds 3 \
    --snapshot "$OUT/snapshot.png" --report "$OUT/report.json" --print-log \
    --script "timing; exposure 50; timing; aoi get; aoi set 100 100 640 480; wait 1; aoi reset; wait 1; lens; output 1 75" \
    "$@"

echo
echo "== demo 2: two simulated cameras, CamSN_1 and CamSN_2, switched while live"
mkdir -p "$OUT/multi/Tarvello/Settings"
cat > "$OUT/multi/Tarvello/Settings/Tarvello.ini" <<'INI'
[video]
CamSN_1=4002870001
CamSN_2=4002870002
INI
cat > "$OUT/cameras.ini" <<'INI'
[camera1]
serial=4002870001
device=1
width=640
height=480
[camera2]
serial=4002870002
device=2
color=1
width=1280
height=1024
INI
export TRV_SETTINGS=$(winpath "$OUT/multi")
export TRV_SIM_CONFIG=$(winpath "$OUT/cameras.ini")
"$RUN" "$BIN/trvhost.exe" --plugin "$BIN/trvueye.dll" --config-dir "$OUT" --seconds 0 \
    --script "switch 1; wait 2; switch 2; wait 2; switch 1; wait 1" "$@" | grep '^trvhost:'
echo
echo "== the report of demo 1 ($OUT/report.json)"
cat "$OUT/report.json"
echo
echo "demo: snapshot at $OUT/snapshot.png, its run's report at $OUT/report.json"
