#!/usr/bin/env bash
# zarvex.exe under Wine on the tests' virtual desktop, used as a person would:
# the window opens with its Chinese captions, a service that knows a newer
# version gets its message shown, the tips counter counts down,
# the caption follows the pointer, Ctrl+W over a known colour adds a row with
# that position and colour, 多窗口自动切换 opens the search part and 搜索 lists
# the matching windows, 配置 saves its numbers whole as it closes (also by
# Esc) and refuses a bad one; a run (启动) alerts on a colour change, the
# service gets the notification and the sound repeats every 3 s; switching
# brings the listed windows to the top in turn, a key pressed during its
# wait acts after it; closing asks first, then ends
# the program; a start with an unreachable service shows no message, and
# there switching is refused while its interval is too short.
#   wine_zarvex_check.sh ZARVEX_EXE TABLE_READER_EXE XSESSION_STATE_DIR NOTIFY_SERVER_PY
set -uo pipefail
exe=$1 reader=$2 state=$3 service=$4
for f in "$exe" "$reader"; do
  [[ -f $f ]] || { echo "SKIPPED: $f was not built (the mingw-w64 cross compiler is missing)"; exit 77; }
done
command -v wine >/dev/null || { echo "SKIPPED: Wine is not installed"; exit 77; }
export DISPLAY=$(cat "$state/display")
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv=" WINEDEBUG=-all
# In a Chinese locale Wine draws the Chinese captions with a Chinese font, its
# ANSI code page is 936 and Chinese arguments arrive whole; the locale is made
# here when the system has none.
if [[ $(locale -a) != *zh_CN.utf8* ]]; then
  mkdir "$work/locale"
  localedef -i zh_CN -f UTF-8 "$work/locale/zh_CN.UTF-8" || { echo "SKIPPED: no zh_CN locale (package locales)"; exit 77; }
  export LOCPATH=$work/locale
fi
# Its output always goes to a file: its background processes would keep a pipe open.
wine() { env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine "$@" >>"$work/wine.log" 2>&1; }
cleanup() {
  # Only the script itself cleans up: a background start of the program is a
  # subshell of it, and must not take the prefix away when it ends.
  [[ $BASHPID == "$$" ]] || return 0
  [[ -n ${pid:-} ]] && kill "$pid" 2>/dev/null
  [[ -n ${service_pid:-} ]] && kill "$service_pid" 2>/dev/null
  wineserver -k >/dev/null 2>&1
  xsetroot -solid black
  rm -rf "$work"
}
trap cleanup EXIT
wine wineboot --init || { echo "SKIPPED: Wine cannot start here"; exit 77; }
wineserver -p >>"$work/wine.log" 2>&1
mkdir "$work/app"
cp "$exe" "$(dirname "$exe")/tx.wav" "$work/app/"
# The service knows a newer version.
python3 "$service" --version 4.0.2 --log "$work/service.log" >"$work/service.port" 2>&1 &
service_pid=$!
for _ in $(seq 50); do [[ -s $work/service.port ]] && break; sleep 0.1; done
port=$(head -1 "$work/service.port")
printf '[con]\r\nfz=60\r\nchgwnd=70\r\ntips=1\r\nemail=me@163.com\r\ngame=Zarvexv4\r\nserver=127.0.0.1:%s\r\n' "$port" \
  >"$work/app/config.ini"
xsetroot -solid '#336699'

# Window titles as Windows gives them (X window names of Wine's Chinese titles are compound text).
titles() { wine "$reader" windows "Z:$work/titles.txt"; cat "$work/titles.txt"; }
failures=0
check() { if eval "$2"; then echo "ok - $1"; else echo "FAIL - $1"; ((failures++)); fi; }

start=$(date +%s%N)
# Wine traces every PlaySound call of the program (there is no sound device).
WINEDEBUG=-all,trace+winmm wine "$work/app/zarvex.exe" &
pid=$!
form=$(timeout 30 xdotool search --sync --onlyvisible --name '^Zarvex' | head -1)
echo "main window shown $((($(date +%s%N) - start) / 1000000)) ms after the start"
check "the main window opens" '[[ -n $form ]]'
sleep 1
titles >"$work/shown.txt"
xdotool key Return
sleep 0.3
check "the update check tells of the newer version in a message that OK closes" \
  'grep -q "/quorel401/vers.asp" "$work/service.log" && grep -qx "提示" "$work/shown.txt" && ! titles | grep -qx "提示"'
check "the tips window is shown and its counter counted down" \
  'titles | grep -qx "使用提示" && grep -q "^tips=0" "$work/app/config.ini"'
xdotool windowactivate --sync "$form"
xdotool mousemove 700 500
sleep 0.5
check "the caption shows the pointer" '[[ $(xdotool getwindowname "$form") == "Zarvexv4.0.1 鼠标位置：700，500" ]]'
xdotool key ctrl+w
sleep 0.5
wine "$reader" list 108 "Z:$work/rows.txt" # ListView2
# #336699 is the colour value 0x996633 (red in the low byte).
check "Ctrl+W adds the point with its position and colour" \
  '[[ $(cat "$work/rows.txt" 2>/dev/null) == "1|700|500|A|0|10053171|" ]]'
height() { xdotool getwindowgeometry "$form" | sed -n 's/.*Geometry: [0-9]*x//p'; }
compact=$(height)
wine "$reader" click 106 # Check1
sleep 0.5
# 6330 instead of 3900 twips: 162 pixels more at 96 dots per inch.
check "多窗口自动切换 makes the window taller" '(($(height) - compact == 162))'
wine "$reader" click 112 # Command1
sleep 0.5
wine "$reader" list 113 "Z:$work/windows.txt" # ListView1
# Form1 itself matches, and as the window in front it is listed a second time.
check "the search lists the matching windows, the one in front again" \
  '[[ $(grep -c "|Zarvexv4.0.1 鼠标位置：700，500|$" "$work/windows.txt") == 2 && $(cut -d"|" -f1 "$work/windows.txt" | tr "\n" " ") == "1 2 " ]]'
wine "$reader" command 201 # 系统配置
sleep 0.5
check "系统配置 opens 配置" 'titles | grep -qx "配置"'
wine "$reader" settext ZarvexForm3 302 7x # T_chg
wine "$reader" close ZarvexForm3
sleep 0.5
check "a bad number keeps 配置 open with its message and writes nothing" \
  'titles | grep -qx "提示" && titles | grep -qx "配置" && grep -q "^chgwnd=70" "$work/app/config.ini"'
xdotool key Return
sleep 0.3
# The window manager hands the focus to the main window when the message goes;
# the user clicks back into 配置. (X finds Wine's windows by their UTF-8 names.)
for w in $(xdotool search --onlyvisible --classname zarvex.exe); do
  [[ $(xdotool getwindowname "$w") == 配置 ]] && xdotool windowactivate --sync "$w"
done
wine "$reader" settext ZarvexForm3 302 75
wine "$reader" settext ZarvexForm3 304 62 # T_fz
xdotool key Escape
sleep 0.5
check "Esc closes 配置 as its close box does, saving both numbers" \
  '! titles | grep -qx "配置" && grep -q "^chgwnd=75" "$work/app/config.ini" && grep -q "^fz=62" "$work/app/config.ini"'

# A run: 有变化时提醒, 启动, and the colour under the point changes.
gbk() { printf %s "$1" | iconv -f UTF-8 -t GBK; }
wine "$reader" settext ZarvexForm1 111 测试窗口 # serch_proc
wine "$reader" click 104 # opt_whenchange
wine "$reader" click 103 # Command2
sleep 0.3
caption() { wine "$reader" text 103 "Z:$work/caption.txt"; cat "$work/caption.txt"; }
check "启动 starts a run" '[[ $(caption) == 停止 ]]'
xsetroot -solid '#996633'
for _ in $(seq 30); do grep -q '"/quorel401/mail.asp?usermail=me@163.com"' "$work/service.log" && break; sleep 0.1; done
check "within 3 s of the change the service gets the notification" \
  'grep -q "\"/quorel401/mail.asp?usermail=me@163.com\"" "$work/service.log"'
sleep 0.5
wine "$reader" list 108 "Z:$work/rows.txt"
check "the point reads 已提醒 and the run is over" '[[ $(cut -d"|" -f7 "$work/rows.txt") == 已提醒 && $(caption) == 启动 ]]'
check "启动 saved email and game in the ANSI code page" \
  'tr -d "\r" <"$work/app/config.ini" | LC_ALL=C grep -qxF "email=me@163.com" &&
   tr -d "\r" <"$work/app/config.ini" | LC_ALL=C grep -qxF "game=$(gbk 测试窗口)"'
sounds() { grep -c "MULTIMEDIA_PlaySound" "$work/wine.log"; }
before=$(sounds)
sleep 6.2
played=$(($(sounds) - before))
check "after the alert the sound plays every 3 s ($played times in 6.2 s)" '((played == 2 || played == 3))'

# Switching: three windows of a test program, listed front to back; with
# chgwnd=2 one comes to the top every 3 s plus the 3 s wait.
wine "$reader" show 3 &
sleep 1
xdotool windowactivate --sync "$form"
wine "$reader" click 112 # Command1
sleep 0.5
wine "$reader" list 113 "Z:$work/windows.txt"
check "the search lists the test windows front to back" \
  '[[ $(cut -d"|" -f3 "$work/windows.txt" | tr "\n" ,) == "测试窗口 3,测试窗口 2,测试窗口 1," ]]'
wine "$reader" command 201
sleep 0.5
wine "$reader" settext ZarvexForm3 302 2
wine "$reader" close ZarvexForm3
topmost() { wine "$reader" topmost "Z:$work/top.txt"; cat "$work/top.txt"; }
wait_topmost() { for _ in $(seq 150); do topmost | grep -qx "$1" && return 0; sleep 0.1; done; return 1; }
check "the first row's window comes to the top, alone" \
  'wait_topmost "测试窗口 3" && [[ $(topmost | grep -c 测试窗口) == 1 ]]'
# The switch's 3 s wait has begun: a key pressed now waits for its end.
xdotool windowactivate --sync "$form"
xdotool key ctrl+w
sleep 0.5
wine "$reader" list 108 "Z:$work/rows.txt"
held=$(wc -l <"$work/rows.txt")
sleep 3
wine "$reader" list 108 "Z:$work/rows.txt"
check "Ctrl+W pressed during the switching wait adds its row after the wait" '((held == 1)) && [[ $(wc -l <"$work/rows.txt") == 2 ]]'
wine "$reader" close ZarvexTestWindow2
check "a window closed before its turn is passed over and the next one comes to the top" \
  'wait_topmost "测试窗口 1" && ! titles | grep -q "测试窗口 2"'
wine "$reader" list 113 "Z:$work/windows.txt"
check "every row's window had its turn" '! cut -d"|" -f4 "$work/windows.txt" | grep -qx ""'

xdotool windowactivate --sync "$form"
xdotool key alt+F4
sleep 1
check "closing asks first" 'titles | grep -qx "提示"'
xdotool key Return
(sleep 10 && kill "$pid" 2>/dev/null) &
watchdog=$!
wait "$pid"
status=$?
kill "$watchdog" 2>/dev/null
pid=
check "OK ends the program" '((status == 0))'

# An update service that cannot be reached: no message, and the window is there at once.
closed=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
LC_ALL=C sed -i "s/^server=.*/server=127.0.0.1:$closed\r/" "$work/app/config.ini"
start=$(date +%s%N)
wine "$work/app/zarvex.exe" &
pid=$!
form=$(timeout 30 xdotool search --sync --onlyvisible --name '^Zarvex' | head -1)
shown=$((($(date +%s%N) - start) / 1000000))
echo "with an unreachable service the main window was shown $shown ms after the start"
sleep 2
check "an unreachable service: no message, the window within 6 s" '[[ -n $form ]] && ((shown < 6000)) && ! titles | grep -qx "提示"'
# 配置 saved chgwnd 2 and fz 62 above: switching is refused with its message
# while the interval is not 5 s above the threshold.
compact=$(height)
wine "$reader" click 106 # Check1
sleep 0.5
check "多窗口自动切换 is refused with its message when the interval is too short" \
  'titles | grep -qx "提示" && (($(height) == compact))'

((failures == 0)) || { echo "Wine's output:"; cat "$work/wine.log"; exit 1; }
