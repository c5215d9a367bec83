#!/usr/bin/env bash
# zarvex-qr.exe (the Windows build) under Wine against the Linux build: the
# same PBM, byte for byte, and the same exit status for a set of messages,
# versions, levels, masks and refusals.
#   wine_run.sh WINDOWS_TOOL -- wine_qr_check.sh LINUX_TOOL WINDOWS_TOOL
set -uo pipefail
linux=$1 windows=$2 work=$WINE_WORK
printf 'raw \x00\x01\xfe\xff bytes\r\n' > "$work/message.bin"
head -c 9000 /dev/zero > "$work/too-long.bin"
failures=0
check() { # arguments for both tools
  "$linux" "$@" -t pbm -o "$work/linux.pbm" 2>/dev/null; local l=$?
  wine "$windows" "$@" -t pbm -o "$work/windows.pbm" 2>/dev/null; local w=$?
  if [[ $l != "$w" ]]; then
    echo "FAIL: exit status $l on Linux, $w under Wine for: $*"; ((failures++))
  elif [[ $l == 0 ]] && ! cmp -s "$work/linux.pbm" "$work/windows.pbm"; then
    echo "FAIL: different PBM for: $*"; ((failures++))
  fi
}
check 'HELLO WORLD'
check -v 25 -l Q -m 4 "$(printf 'line %d ' $(seq 1 60))"
check -v 40 -l M -m 6 "$(head -c 2000 /dev/zero | tr '\0' 'a')"
check -l M -m 3 '监控点提醒 mixed 123 ABC'
check --encoding gbk '监控点提醒'
check --encoding shift-jis '監視点の警告'
check -i "$work/message.bin" -l Q
check -lQ --symversion=12 --margin=1 --scale=3 -- '-a text with a dash'
check -m auto -v 40 "$(printf 'line %d ' $(seq 1 200))"
check -v 1 -l H 'seventeen letters'   # does not fit: exit status 1 on both
check -i "$work/too-long.bin"         # over 8 KiB: exit status 1 on both
check -l X 'bad level'               # usage error: exit status 2 on both
((failures == 0))
