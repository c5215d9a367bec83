#!/usr/bin/env bash
# Idle cost of the desktop program: CPU time used over a quiet interval while
# cursor tracking runs ten times a second, on a virtual X desktop.
#   bench/idle_cpu.sh [build/bin/zarvex] [seconds]
set -euo pipefail
binary=$(realpath "${1:-build/bin/zarvex}")
seconds=${2:-30}
display=:79
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

Xvfb $display -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 50); do xdpyinfo -display $display >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=$display openbox >/dev/null 2>&1 &
sleep 1

# A copy of the program in its own folder, so that its config.ini is its own.
cp "$binary" "$work/zarvex"
printf '[con]\nfz=60\nchgwnd=70\ntips=0\nemail=\ngame=\n' > "$work/config.ini"
mkdir -m 700 "$work/runtime"
DISPLAY=$display XDG_RUNTIME_DIR=$work/runtime "$work/zarvex" >/dev/null 2>&1 &
pid=$!
DISPLAY=$display xdotool search --sync --onlyvisible --name Zarvex >/dev/null
sleep 2 # past start-up

ticks() { awk '{print $14 + $15}' /proc/$pid/stat; }
hz=$(getconf CLK_TCK)
t0=$(ticks); start=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks); end=$(date +%s.%N)
awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$start" -v e="$end" \
  'BEGIN { printf "idle CPU: %.2f%% of one core (%.2f s of CPU in %.1f s)\n", 100*(b-a)/hz/(e-s), (b-a)/hz, e-s }'
