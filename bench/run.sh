#!/usr/bin/env bash
# Builds and runs the benchmarks, then writes BENCHMARKS.md at the root.
#   bench/run.sh [Google Benchmark flags for the native frame benchmark]
# Native: build/bench-native (Release, -O2, no sanitizers). Windows, when the MinGW-w64
# toolchain and Wine are there: build/bench-windows, run under Wine in that tree's prefix.
set -euo pipefail
# ./trv hands over its whole command line, its own "bench" first.
if [ "${1:-}" = bench ]; then
    shift
fi
ROOT=$(cd "$(dirname "$0")/.." && pwd)
NATIVE=$ROOT/build/bench-native
WINDOWS=$ROOT/build/bench-windows
OUT=$ROOT/BENCHMARKS.md
JOBS=$(nproc 2>/dev/null || echo 2)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
COMMON=(-DTRV_BENCH=ON -DTRV_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
        "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")

echo "bench: building native benchmarks in $NATIVE"
cmake -S "$ROOT" -B "$NATIVE" "${COMMON[@]}" >/dev/null
cmake --build "$NATIVE" -j"$JOBS" --target frame_bench

windows_status="not built: the MinGW-w64 toolchain or Wine is missing"
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ -x /usr/lib/wine/wine64 ]; then
    echo "bench: building Windows benchmarks in $WINDOWS"
    if cmake -S "$ROOT" -B "$WINDOWS" --toolchain "$ROOT/cmake/mingw-w64-x86_64.cmake" \
            "${COMMON[@]}" >/dev/null &&
        cmake --build "$WINDOWS" -j"$JOBS" --target frame_bench_win log_bench log_alloc_check \
            frame_path_bench record_bench; then
        windows_status=built
    else
        windows_status="not built: the Windows build failed (see the output of bench/run.sh)"
    fi
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "bench: native frame conversion (about 2 minutes)"
"$NATIVE/bench/frame_bench" --trv_md="$WORK/native.md" "$@"

if [ "$windows_status" = built ]; then
    run="$WINDOWS/wine-run.sh"
    # Makes the prefix if needed; a wineserver kept up makes the next processes start fast.
    "$run" --start-server || true
    stop_server() { "$run" --stop-server || true; }
    trap 'stop_server; rm -rf "$WORK"' EXIT
    echo "bench: Windows frame conversion under Wine (about 40 seconds)"
    "$run" "$WINDOWS/bin/frame_bench_win.exe" --trv_md="$WORK/win.md" ||
        echo "bench: frame_bench_win failed" >&2
    echo "bench: log path under Wine"
    "$run" "$WINDOWS/bin/log_bench.exe" --trv_md="$WORK/log.md" || echo "bench: log_bench failed" >&2
    alloc_rc=0
    "$run" "$WINDOWS/bin/log_alloc_check.exe" --trv_md="$WORK/alloc.md" || alloc_rc=$?
    echo "bench: log_alloc_check exit status $alloc_rc"
    echo "bench: session recorder under Wine (about 15 seconds)"
    record_rc=0
    "$run" "$WINDOWS/bin/record_bench.exe" --trv_md="$WORK/record.md" || record_rc=$?
    echo "bench: record_bench exit status $record_rc"
    echo "bench: end-to-end frame path under Wine (about 80 seconds)"
    path_load_before=$(cut -d' ' -f1-3 /proc/loadavg)
    path_rc=0
    "$run" "$WINDOWS/bin/frame_path_bench.exe" --trv_md="$WORK/path.md" || path_rc=$?
    path_load_after=$(cut -d' ' -f1-3 /proc/loadavg)
    echo "bench: frame_path_bench exit status $path_rc"
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
caches=$(lscpu 2>/dev/null | grep -E '^L[123]' | sed 's/  */ /g' | paste -sd ';' - || true)
pkg() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "not installed"; }
{
    echo "# Benchmarks"
    echo
    echo "Written by \`./trv bench\` (bench/run.sh) on $(date -u '+%Y-%m-%d %H:%M UTC'). All figures"
    echo "below come from that one run on this machine; ratios compare cases of the same run."
    echo
    echo "## Machine and tools"
    echo
    echo "| | |"
    echo "|---|---|"
    echo "| CPU | $cpu |"
    echo "| cores | $(nproc) online ($(grep -c ^processor /proc/cpuinfo) listed) |"
    echo "| caches | ${caches:-unknown} |"
    echo "| memory | $(free -g | awk '/^Mem:/ {print $2 " GiB"}') |"
    echo "| load average before / after | $load_before / $load_after |"
    echo "| native compiler | $(g++ --version | head -1) |"
    echo "| Windows compiler | $(x86_64-w64-mingw32-g++-posix --version 2>/dev/null | head -1 || echo none) |"
    echo "| Wine | $(/usr/lib/wine/wine64 --version 2>/dev/null || echo none) |"
    echo "| Google Benchmark | libbenchmark-dev $(pkg libbenchmark-dev) |"
    echo "| OpenCV | libopencv-imgproc-dev $(pkg libopencv-imgproc-dev) (benchmark only) |"
    echo
    echo "## How to read it"
    echo
    echo "- Times are per frame. \"Hot\" reuses one source and one destination, so a frame that"
    echo "  fits stays in the caches; \"cold\" rotates through at least 192 MiB of frames, so each"
    echo "  one comes from and goes to memory. Tables show the best of the repetitions (other load"
    echo "  only ever adds time); the target lines give the medians too."
    echo "- The expansion writes 3 bytes per pixel from 1; \"memcpy of the output size\" copies the"
    echo "  3 bytes, so it moves 6 bytes per pixel against the expansion's 4."
    echo "- Copy24 is memcpy, called through the plug-in's function: its ratio to memcpy is the"
    echo "  noise of the run, not a difference of code."
    echo "- This machine is shared with other work (see the load average), so repeated runs move"
    echo "  by 10 to 20 %."
    echo "- Debian's libbenchmark reports that it was built as DEBUG; that affects the library's"
    echo "  own bookkeeping, not the code it times."
    cat "$WORK/native.md"
    echo
    echo "## Windows build (under Wine)"
    echo
    echo "Status: $windows_status. Google Benchmark is not available for MinGW here: Debian ships it"
    echo "only as a native library (\`dpkg -L libbenchmark-dev\`: headers, \`.a\`/\`.so\` and CMake files,"
    echo "no sources) and this machine has no source packages (\`apt-cache showsrc\` needs deb-src"
    echo "entries), so the Windows binaries use a small timing harness of their own with the same cases."
    for f in win.md log.md alloc.md record.md; do
        [ -f "$WORK/$f" ] && cat "$WORK/$f"
    done
    if [ -s "$WORK/path.md" ]; then
        note="Load average before / after frame_path_bench: $path_load_before / $path_load_after"
        note="$note ($(nproc) cores, shared with other work); its exit status $path_rc."
        awk -v note="$note" '{ print } /^## End-to-end/ && !done { print ""; print note; done = 1 }' \
            "$WORK/path.md"
    else
        echo
        echo "## End-to-end frame path (Windows build under Wine)"
        echo
        echo "Not measured in this run: the Windows build is $windows_status, or"
        echo "frame_path_bench failed (see the output of bench/run.sh)."
    fi
} >"$OUT"
echo "bench: wrote $OUT"
