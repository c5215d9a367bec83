#!/usr/bin/env bash
# Starts or stops the headless Wayland desktop the Wayland tests run on: sway
# with the headless backend and the software renderer, in its own D-Bus
# session, as an unprivileged user (sway refuses to run as root). What the
# tests need is written to STATE_DIR/env (WAYLAND_DISPLAY as a full socket
# path, SWAYSOCK); where sway cannot start, STATE_DIR/skip says why instead
# and the tests skip with that reason. Ctrl+W runs RUNTIME/ctrl-w (as the
# unprivileged user) when a test has put an executable there: a key pressed
# with wtype reaches a program the way a desktop's own shortcut would.
#   wsession.sh start STATE_DIR
#   wsession.sh stop  STATE_DIR
set -euo pipefail
action=$1 state=$2
user=zarvex-test

stop() {
  # The whole process group: dbus-run-session, its bus, sway and swaybg.
  [[ -f $state/sway.pid ]] && { kill -- "-$(cat "$state/sway.pid")" 2>/dev/null || true; }
  [[ -f $state/runtime ]] && rm -rf "$(cat "$state/runtime")"
  rm -f "$state/sway.pid" "$state/runtime" "$state/env" "$state/skip"
}

skip() {
  echo "$*" > "$state/skip"
  echo "SKIPPED: $*"
  exit 0
}

mkdir -p "$state"
stop
[[ $action == stop ]] && exit 0

for tool in sway dbus-run-session; do
  command -v $tool >/dev/null || skip "$tool is not installed (scripts/setup installs it)"
done

run=(env)
if [[ $(id -u) -eq 0 ]]; then
  if ! getent passwd "$user" >/dev/null; then
    useradd --system --no-create-home --shell /usr/sbin/nologin "$user" 2>/dev/null \
      || skip "no unprivileged user $user to run sway as, and it could not be created"
  fi
  run=(setpriv --reuid="$user" --regid="$user" --init-groups env)
  owner=$user
else
  owner=$(id -un)
fi

# A private runtime folder: the compositor's socket and the D-Bus session
# live there, apart from any desktop the machine runs. It sits under /tmp
# because the state folder may be in a tree the test user cannot enter.
runtime=$(mktemp -d /tmp/zarvex-wayland.XXXXXX)
chown "$owner:" "$runtime"
chmod 0700 "$runtime"
echo "$runtime" > "$state/runtime"

cat > "$runtime/sway.conf" <<CONF
# Two outputs side by side, the second at scale 2, to show that positions are
# the compositor's logical ones.
output HEADLESS-1 mode 1280x800 position 0 0 scale 1 bg #336699 solid_color
output HEADLESS-2 mode 1280x800 position 1280 0 scale 2 bg #204060 solid_color
default_border none
default_floating_border none
focus_follows_mouse no
bindsym Ctrl+w exec $runtime/ctrl-w
exec_always touch $runtime/ready
CONF
chown "$owner:" "$runtime/sway.conf"

setsid "${run[@]}" HOME="$runtime" XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless WLR_RENDERER=pixman \
  WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=2 \
  dbus-run-session -- sway --config "$runtime/sway.conf" >"$state/sway.log" 2>&1 </dev/null &
echo $! > "$state/sway.pid"

for _ in $(seq 300); do # a loaded machine can take seconds
  [[ -e $runtime/ready ]] && break
  kill -0 "$(cat "$state/sway.pid")" 2>/dev/null || break
  sleep 0.1
done
if [[ ! -e $runtime/ready ]]; then
  reason="sway did not start: $(grep -v '^$' "$state/sway.log" | tail -n 3 | tr '\n' ' ')"
  stop
  skip "$reason"
fi
socket=$(find "$runtime" -maxdepth 1 -name 'wayland-*' -type s | head -n 1)
swaysock=$(find "$runtime" -maxdepth 1 -name 'sway-ipc.*' -type s | head -n 1)
[[ -n $socket && -n $swaysock ]] || { stop; skip "sway started but left no Wayland or IPC socket"; }
SWAYSOCK=$swaysock swaymsg focus output HEADLESS-1 >/dev/null
printf 'WAYLAND_DISPLAY=%s\nSWAYSOCK=%s\nXDG_RUNTIME_DIR=%s\n' "$socket" "$swaysock" "$runtime" > "$state/env"
echo "headless sway ready: $socket"
