#!/usr/bin/env bash
# Starts or stops the headless sway the Wayland tests run on, with the software
# renderer, in its own D-Bus session, as an unprivileged user (sway refuses to
# run as root). What the tests need is written to STATE_DIR/env; where sway
# cannot start, STATE_DIR/skip says why and the tests skip with that reason.
#   wsession.sh start|stop STATE_DIR
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
run=(env) owner=$(id -un)
if [[ $(id -u) -eq 0 ]]; then
  getent passwd "$user" >/dev/null || useradd --system --no-create-home --shell /usr/sbin/nologin "$user" \
    || skip "no unprivileged user $user to run sway as, and it could not be created"
  run=(setpriv --reuid="$user" --regid="$user" --init-groups env) owner=$user
fi

# A private runtime folder (0700) for the compositor's socket and the D-Bus
# session, under /tmp as the state folder may be where the user cannot enter.
runtime=$(mktemp -d /tmp/zarvex-wayland.XXXXXX)
chown "$owner:" "$runtime"
echo "$runtime" > "$state/runtime"
# Two outputs side by side, the second at scale 2, to show that positions are
# the compositor's logical ones.
cat > "$runtime/sway.conf" <<CONF
output HEADLESS-1 mode 1280x800 position 0 0 scale 1 bg #336699 solid_color
output HEADLESS-2 mode 1280x800 position 1280 0 scale 2 bg #204060 solid_color
default_border none
default_floating_border none
focus_follows_mouse no
exec_always touch $runtime/ready
CONF

setsid "${run[@]}" HOME="$runtime" XDG_RUNTIME_DIR="$runtime" SWAYSOCK="$runtime/sway.sock" \
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=2 \
  dbus-run-session -- sway --config "$runtime/sway.conf" >"$state/sway.log" 2>&1 </dev/null &
echo $! > "$state/sway.pid"
for _ in $(seq 300); do # a loaded machine can take seconds
  [[ -e $runtime/ready ]] || ! kill -0 $! 2>/dev/null && break
  sleep 0.1
done
# wayland-1: the first socket name in a fresh runtime folder.
if [[ ! -e $runtime/ready || ! -S $runtime/wayland-1 || ! -S $runtime/sway.sock ]]; then
  reason="sway did not start: $(grep -v '^$' "$state/sway.log" | tail -n 3 | tr '\n' ' ')"
  stop
  skip "$reason"
fi
printf 'WAYLAND_DISPLAY=%s\nSWAYSOCK=%s\nXDG_RUNTIME_DIR=%s\n' "$runtime/wayland-1" "$runtime/sway.sock" "$runtime" \
  > "$state/env"
echo "headless sway ready: $runtime/wayland-1"
