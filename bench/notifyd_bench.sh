#!/usr/bin/env bash
# Load on zarvex-notifyd over loopback with wrk: version checks, and accepted
# mails in outbox mode (each one written and flushed to disk twice: spool and
# outbox). Prints wrk's summary and the service's memory.
#   bench/notifyd_bench.sh [build/bin/zarvex-notifyd] [seconds]
set -euo pipefail
binary=$(realpath "${1:-build/bin/zarvex-notifyd}")
seconds=${2:-10}
work=$(mktemp -d)
port=18790
printf '[notifyd]\nlisten=127.0.0.1:%s\nrate_per_hour=1000000\n' $port > "$work/notifyd.ini"
"$binary" --config "$work/notifyd.ini" 2>"$work/log" &
pid=$!
trap 'kill $pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do curl -s -o /dev/null -d '' http://127.0.0.1:$port/quorel401/vers.asp && break; sleep 0.1; done
kill -0 $pid 2>/dev/null || { cat "$work/log"; exit 1; }
cat > "$work/post.lua" <<'LUA'
wrk.method = "POST"
wrk.body = "" -- sends Content-Length: 0, as the program does
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded; charset=utf-8"
LUA
for path in /quorel401/vers.asp "/quorel401/mail.asp?usermail=bench@163.com"; do
  echo "== POST $path, ${seconds} s, 2 threads, 32 connections"
  wrk -t2 -c32 -d"${seconds}s" -s "$work/post.lua" "http://127.0.0.1:$port$path" | grep -E 'Requests/sec|Latency|requests in|Non-2xx'
  grep -E 'VmRSS|VmHWM' /proc/$pid/status | tr -s ' \t' ' '
done
echo "mails written to the outbox: $(ls "$work/notifyd-outbox" | wc -l)"
