#!/usr/bin/env bash
# Runs the Win32 backend check under Wine on the tests' virtual desktop, with
# a Chinese locale so that the ANSI code page is 936.
#   wine_backend_check.sh CHECK_EXE XSESSION_STATE_DIR
set -uo pipefail
exe=$1 state=$2
[[ -f $exe ]] || { echo "SKIPPED: $exe was not built (the mingw-w64 cross compiler is missing)"; exit 77; }
command -v wine >/dev/null || { echo "SKIPPED: Wine is not installed"; exit 77; }
export DISPLAY=$(cat "$state/display")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
chinese=(env LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8) # Wine then takes 936 as the ANSI code page
"${chinese[@]}" wine wineboot --init >/dev/null 2>&1 || { echo "SKIPPED: Wine cannot start here"; exit 77; }
mkdir -p "$work/files"
"${chinese[@]}" wine "$exe" "$(winepath -w "$work/files" 2>/dev/null)" 2>&1 | grep -v '^fixme:'
exit "${PIPESTATUS[0]}"
