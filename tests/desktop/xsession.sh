#!/usr/bin/env bash
# Starts or stops the virtual desktop the desktop tests run on: an Xvfb server
# with the openbox window manager.
#   xsession.sh start :NN STATE_DIR
#   xsession.sh stop  :NN STATE_DIR
set -euo pipefail
action=$1 display=$2 state=$3
number=${display#:}
mkdir -p "$state"

stop() {
  for name in openbox xvfb; do
    if [[ -f "$state/$name.pid" ]]; then
      kill "$(cat "$state/$name.pid")" 2>/dev/null || true
      rm -f "$state/$name.pid"
    fi
  done
}

if [[ $action == stop ]]; then
  stop
  exit 0
fi

stop
# A server left over from an interrupted run holds the display: end it.
if [[ -f /tmp/.X$number-lock ]]; then
  old=$(tr -d ' ' < /tmp/.X$number-lock)
  if [[ -n $old ]] && grep -q Xvfb "/proc/$old/cmdline" 2>/dev/null; then
    kill "$old" 2>/dev/null || true
    sleep 0.5
  fi
fi

setsid Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$state/xvfb.log" 2>&1 < /dev/null &
echo $! > "$state/xvfb.pid"
for _ in $(seq 100); do
  xdpyinfo -display "$display" >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo -display "$display" >/dev/null 2>&1 || { echo "Xvfb did not start on $display:"; cat "$state/xvfb.log"; exit 1; }

DISPLAY=$display setsid openbox >"$state/openbox.log" 2>&1 < /dev/null &
echo $! > "$state/openbox.pid"
for _ in $(seq 100); do
  DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' \
  || { echo "openbox did not start:"; cat "$state/openbox.log"; exit 1; }
echo "virtual desktop $display ready"
