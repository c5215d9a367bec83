#!/usr/bin/env bash
# Runs a check of the Windows build in a fresh Wine prefix (in $WINE_WORK,
# removed afterwards) with a persistent wineserver, so that each start of a
# program takes milliseconds. Exits 77 (skipped) with a line saying why when
# Wine or a named file of the Windows build is missing.
#   wine_run.sh [--desktop XSESSION_STATE_DIR] FILE... -- COMMAND [ARG...]
# With --desktop the programs run on the tests' virtual desktop in a Chinese
# locale: Wine then draws Chinese captions with a Chinese font, its ANSI code
# page is 936 and Chinese arguments arrive whole. Without it, on no display.
set -uo pipefail
export DISPLAY=
if [[ $1 == --desktop ]]; then
  DISPLAY=$(cat "$2/display") desktop=1
  shift 2
fi
while [[ $1 != -- ]]; do
  [[ -f $1 ]] || { echo "SKIPPED: $1 was not built (the mingw-w64 cross compiler is missing)"; exit 77; }
  shift
done
shift
command -v wine >/dev/null || { echo "SKIPPED: Wine is not installed"; exit 77; }
export WINE_WORK=$(mktemp -d)
export WINEPREFIX=$WINE_WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv="
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$WINE_WORK"' EXIT
if [[ -n ${desktop:-} ]]; then
  if [[ $(locale -a) != *zh_CN.utf8* ]]; then # the locale is made here when the system has none
    mkdir "$WINE_WORK/locale"
    localedef -i zh_CN -f UTF-8 "$WINE_WORK/locale/zh_CN.UTF-8" ||
      { echo "SKIPPED: no zh_CN locale (package locales)"; exit 77; }
    export LOCPATH=$WINE_WORK/locale
  fi
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 2>/dev/null # (for the programs, not this shell)
fi
# Wine's output always goes to a file: its background processes would keep a pipe open.
wine wineboot --init >"$WINE_WORK/wine.log" 2>&1 || { echo "SKIPPED: Wine cannot start here"; exit 77; }
wineserver -p >>"$WINE_WORK/wine.log" 2>&1
"$@"
status=$?
((status == 0)) || { echo "Wine's output:"; cat "$WINE_WORK/wine.log"; }
exit "$status"
