#!/usr/bin/env bash
# trvhost --preview on a virtual X display: Wine's X11 driver in a prefix of its own (the test
# prefix has no display driver), the simulated camera, a screenshot of the whole screen. The
# window must show the camera's colour bars (yellow left of cyan: the channels are in order)
# and its title the frame rate and frame number. Exits 77, skipped, when Xvfb is missing.
#   preview_x11.sh BUILD_DIR SIM_DIR TRVHOST_EXE PLUGIN_DLL
set -uo pipefail
BUILD=$1 SIM_DIR=$2 HOST=$3 PLUGIN=$4
OUT=$BUILD/preview-test
for tool in Xvfb xwd xwininfo; do
    command -v "$tool" >/dev/null || { echo "preview: skipped, no $tool"; exit 77; }
done
CONVERT=/usr/bin/convert
[ -x "$CONVERT" ] || CONVERT=$(command -v convert) || { echo "preview: skipped, no convert"; exit 77; }
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX=$BUILD/wineprefix-x11 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPATH="Z:$(printf '%s' "$SIM_DIR" | tr / '\\')"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
rm -rf "$OUT" && mkdir -p "$OUT/settings"

Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$OUT/display" 2>/dev/null &
XVFB=$!
HOSTPID=
cleanup() {
    [ -n "$HOSTPID" ] && kill "$HOSTPID" 2>/dev/null
    "$WINESERVER" -k 2>/dev/null
    kill "$XVFB" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 50); do [ -s "$OUT/display" ] && break; sleep 0.1; done
[ -s "$OUT/display" ] || { echo "preview: skipped, Xvfb did not start"; exit 77; }
export DISPLAY=:$(head -n1 "$OUT/display")

# The prefix is made once (wineboot takes a while), with Wine's default, X11, driver.
if [ ! -f "$WINEPREFIX/.trv-ready" ]; then
    "$WINE" wineboot -i >/dev/null 2>&1 && "$WINESERVER" -w && touch "$WINEPREFIX/.trv-ready"
fi
"$WINESERVER" -p >/dev/null 2>&1 </dev/null

printf '[camera1]\nserial=4002870123\nwidth=640\nheight=480\nfps=25\n' >"$OUT/camera.ini"
export TRV_SIM_CONFIG=$(winpath "$OUT/camera.ini") TRV_SETTINGS=$(winpath "$OUT/settings")
"$WINE" "$HOST" --plugin "$PLUGIN" --preview --seconds 15 >"$OUT/host.txt" 2>&1 &
HOSTPID=$!

# Box "WxH+X+Y" of the screenshot's areas of one colour (a few pixels alone do not count).
box() {
    "$CONVERT" "$OUT/screen.png" -fill black +opaque "$1" -morphology Open Square:1 -format '%@' info: 2>/dev/null
}
# Wait for a title with what is checked, a rate above 0 and a frame number above 10, then take
# the screenshot. The rate counts the frames since the title before, so the first title after
# START, or one that follows the one before closely, shows 0.0 fps although frames flow.
title=
for _ in $(seq 40); do
    sleep 0.5
    title=$(xwininfo -root -tree | grep -o '"trvhost: [0-9.]* fps, frame [0-9]*, [0-9]* x [0-9]*"')
    [[ $title =~ \ [1-9][0-9.]*\ fps,\ frame\ ([0-9]+), ]] && ((BASH_REMATCH[1] > 10)) && break
done
xwd -root -silent | "$CONVERT" xwd:- "$OUT/screen.png"
yellow=$(box '#FFFF00') cyan=$(box '#00FFFF') magenta=$(box '#FF00FF')
echo "preview: title $title"
echo "preview: yellow $yellow, cyan $cyan, magenta $magenta (screenshot $OUT/screen.png)"
fail=0
check() { if ! eval "$2"; then echo "preview: FAIL: $1"; fail=1; fi; }
size() { local wh=${1%%+*}; echo $((${wh%x*} * ${wh#*x})); }
xpos() { local rest=${1#*+}; echo "${rest%%+*}"; }
check "the title shows the frame rate and number" '[[ $title =~ \"trvhost:\ [1-9][0-9.]*\ fps,\ frame\ [0-9]+,\ 640\ x\ 480\" ]]'
for c in yellow cyan magenta; do
    check "a $c bar of the picture is on the screen" '(( $(size "${!c}") >= 2000 ))'
done
check "yellow is left of cyan" '(( $(xpos "$yellow") < $(xpos "$cyan") ))'
exit $fail
