#!/usr/bin/env bash
# Load on zarvex-notifyd over loopback with wrk: version checks, and accepted
# mails in outbox mode (each one written and flushed to disk twice: spool and
# outbox); then 64 slow clients that dribble a header byte a second, with the
# time a version check takes meanwhile. Prints wrk's summary and the
# service's memory. The hourly limits and the per-client connection cap are
# raised, since all load comes from 127.0.0.1.
#   bench/notifyd_bench.sh [build/bin/zarvex-notifyd] [seconds]
set -euo pipefail
binary=$(realpath "${1:-build/bin/zarvex-notifyd}")
seconds=${2:-10}
work=$(mktemp -d)
# A fresh port each run: connections of an earlier run may linger on the old one.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[notifyd]\nlisten=127.0.0.1:%s\nrate_per_hour=1000000\nrate_per_client_per_hour=1000000\nrate_overall_per_hour=1000000\nmax_connections_per_client=200\n' \
  $port > "$work/notifyd.ini"
"$binary" --config "$work/notifyd.ini" 2>"$work/log" &
pid=$!
trap 'kill $pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do curl -s -o /dev/null -d '' http://127.0.0.1:$port/quorel401/vers.asp && break; sleep 0.1; done
kill -0 $pid 2>/dev/null || { cat "$work/log"; exit 1; }
memory() { grep -E 'VmRSS|VmHWM' /proc/$pid/status | tr -s ' \t' ' ' | tr '\n' ' '; echo; }
cat > "$work/post.lua" <<'LUA'
wrk.method = "POST"
wrk.body = "" -- sends Content-Length: 0, as the program does
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded; charset=utf-8"
LUA
for path in /quorel401/vers.asp "/quorel401/mail.asp?usermail=bench@163.com"; do
  echo "== POST $path, ${seconds} s, 2 threads, 32 connections"
  wrk -t2 -c32 -d"${seconds}s" -s "$work/post.lua" "http://127.0.0.1:$port$path" | grep -E 'Requests/sec|Latency|requests in|Non-2xx'
  memory
done
echo "mails written to the outbox: $(ls "$work/notifyd-outbox" | wc -l)"

echo "== 64 slow clients, one header byte a second each, for 3 s"
memory
fds=()
for _ in $(seq 64); do
  exec {fd}<>/dev/tcp/127.0.0.1/$port
  fds+=("$fd")
  printf 'POST /quorel401/vers.asp HTTP/1.1\r\n' >&"$fd" 2>/dev/null || true
done
for _ in 1 2 3; do
  sleep 1
  for fd in "${fds[@]}"; do printf 'X' >&"$fd" 2>/dev/null || true; done
done
memory
echo "a version check meanwhile: $(curl -s -o /dev/null -m 60 -w '%{http_code} in %{time_total} s' -d '' \
  http://127.0.0.1:$port/quorel401/vers.asp)"
for fd in "${fds[@]}"; do exec {fd}>&-; done
