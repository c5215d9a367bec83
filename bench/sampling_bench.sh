#!/usr/bin/env bash
# Runs bench_sampling on a fresh 1920x1080 virtual X server.
#   bench/sampling_bench.sh [build/bin/bench_sampling] [benchmark options...]
set -euo pipefail
binary=$(realpath "${1:-build/bin/bench_sampling}")
shift || true
display=:78
Xvfb $display -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait 2>/dev/null' EXIT
for _ in $(seq 50); do xdpyinfo -display $display >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display xsetroot -solid '#336699'
DISPLAY=$display "$binary" "$@"
