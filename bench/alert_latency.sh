#!/usr/bin/env bash
# Runs bench_alert_latency on a fresh virtual desktop.
set -euo pipefail
binary=$(realpath "${1:-build/bin/bench_alert_latency}")
display=:77
work=$(mktemp -d)
Xvfb $display -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb $wm 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do xdpyinfo -display $display >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
sleep 1
mkdir -m 700 "$work/runtime"
DISPLAY=$display XDG_RUNTIME_DIR=$work/runtime "$binary"
