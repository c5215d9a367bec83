#!/usr/bin/env bash
# Runs the WinHTTP tests (a Linux test program that starts the Windows build's
# http_exchange_check.exe under Wine for each request) in a fresh Wine prefix
# with a persistent wineserver, so that each start takes milliseconds.
#   wine_http_check.sh CHECK_EXE TEST_PROGRAM
set -uo pipefail
exe=$1 tests=$2
[[ -f $exe ]] || { echo "SKIPPED: $exe was not built (the mingw-w64 cross compiler is missing)"; exit 77; }
command -v wine >/dev/null || { echo "SKIPPED: Wine is not installed"; exit 77; }
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all DISPLAY=
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT
wine wineboot --init >"$work/wine.log" 2>&1 || { echo "SKIPPED: Wine cannot start here"; exit 77; }
wineserver -p >>"$work/wine.log" 2>&1
# The services are on loopback: no proxy of the environment may take the requests.
ZARVEX_HTTP_CHECK_EXE=$exe ZARVEX_WINE_WORK=$work no_proxy=127.0.0.1,localhost "$tests"
status=$?
((status == 0)) || { echo "Wine's output:"; cat "$work/wine.log"; }
exit "$status"
