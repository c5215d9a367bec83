#!/usr/bin/env bash
# Runs bench_wayland_screen on the tests' headless sway (started and stopped here).
#   bench/wayland_screen_bench.sh [build/bin/bench_wayland_screen] [benchmark options...]
set -euo pipefail
binary=$(realpath "${1:-build/bin/bench_wayland_screen}")
shift || true
here=$(dirname "$0")
state=$(mktemp -d)
trap '"$here/../tests/wayland/wsession.sh" stop "$state"; rm -rf "$state"' EXIT
"$here/../tests/wayland/wsession.sh" start "$state"
[[ -f $state/env ]] || exit 1
set -a
. "$state/env"
set +a
"$binary" "$@"
