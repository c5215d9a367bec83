#!/usr/bin/env bash
# Starts or stops the virtual desktop the desktop tests run on: an Xvfb server
# on a free display with the openbox window manager. The display name is
# written to STATE_DIR/display, where the tests read it.
#   xsession.sh start|stop STATE_DIR
set -euo pipefail
action=$1 state=$2
mkdir -p "$state"
for name in openbox xvfb; do # a start first ends what an earlier run left
  [[ -f "$state/$name.pid" ]] && kill "$(cat "$state/$name.pid")" 2>/dev/null || true
  rm -f "$state/$name.pid"
done
rm -f "$state/display" "$state/display.number"
[[ $action == stop ]] && exit 0

# A display nobody uses, so that several test runs can share the machine:
# Xvfb picks the number itself (it takes the display's lock file atomically)
# and writes it to the descriptor named by -displayfd once it accepts clients.
setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$state/display.number" \
  >"$state/xvfb.log" 2>&1 < /dev/null &
echo $! > "$state/xvfb.pid"
# Until it names the display or ends; a loaded machine can take seconds.
timeout 30 bash -c "until [[ -s '$state/display.number' ]] || ! kill -0 $!; do sleep 0.1; done" || true
if [[ ! -s "$state/display.number" ]]; then
  kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true # never leave a half-started server behind
  echo "no X display could be started:"
  cat "$state/xvfb.log"
  exit 1
fi
export DISPLAY=:$(tr -d '[:space:]' < "$state/display.number")

setsid openbox >"$state/openbox.log" 2>&1 < /dev/null &
echo $! > "$state/openbox.pid"
timeout 10 bash -c "until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; \
  do sleep 0.1; done" || { echo "openbox did not start:"; cat "$state/openbox.log"; exit 1; }
printf %s "$DISPLAY" > "$state/display"
echo "virtual desktop $DISPLAY ready"
