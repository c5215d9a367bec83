#!/usr/bin/env bash
# zarvex.exe under Wine on the tests' virtual desktop, used as a person would
# (xdotool; windows read and clicked by win32_check.exe), against zarvex-notifyd
# in outbox mode; first what that run cannot show (win32_check.exe platform).
#   wine_run.sh --desktop XSESSION_STATE_DIR ZARVEX_EXE CHECK_EXE --
#     wine_zarvex_check.sh ZARVEX_EXE CHECK_EXE ZARVEX_NOTIFYD
set -uo pipefail
exe=$1 helper=$2 notifyd=$3 work=$WINE_WORK
failures=0
check() { if eval "$2"; then echo "ok - $1"; else echo "FAIL - $1"; ((failures++)); fi; }
wine "$helper" platform "Z:$work" >"$work/platform.txt" 2>&1 || ((failures++))
cat "$work/platform.txt"

wine() { command wine "$@" >>"$work/wine.log" 2>&1; }
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
# The service knows a newer version and writes its mails into notifyd-outbox.
port=$(free_port)
printf '[notifyd]\nlisten=127.0.0.1:%s\nversion=4.0.2\n' "$port" >"$work/notifyd.ini"
"$notifyd" --config "$work/notifyd.ini" 2>"$work/notifyd.log" &
service=$!
# Only the script itself cleans up: a background start of a program is a
# subshell of it, and must not stop the service when it ends.
trap 'if [[ $BASHPID == "$$" ]]; then kill "$service"; xsetroot -solid black; fi' EXIT
mkdir "$work/app"
cp "$exe" "$(dirname "$exe")/tx.wav" "$work/app/"
printf '[con]\r\nfz=60\r\nchgwnd=70\r\ntips=1\r\nemail=me@163.com\r\ngame=Zarvexv4\r\nserver=127.0.0.1:%s\r\n' "$port" \
  >"$work/app/config.ini"
xsetroot -solid '#336699'
for _ in $(seq 50); do grep -q listening "$work/notifyd.log" && break; sleep 0.1; done

# What the helper reads goes through a file (Wine's output never through a pipe).
ask() { rm -f "$work/answer.txt"; wine "$helper" "$@" "Z:$work/answer.txt"; cat "$work/answer.txt" 2>/dev/null; }
shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null; } # a top-level window, by its title
act() { wine "$helper" "$@"; sleep 0.5; }
key() { xdotool key "$1"; sleep "${2:-0.5}"; }
rows() { ask list 108; }    # ListView2, the points
listed() { ask list 113; }  # ListView1, the windows found
front() { xdotool windowactivate --sync "$form"; }
height() { xdotool getwindowgeometry "$form" | sed -n 's/.*Geometry: [0-9]*x//p'; }

start=$(date +%s%N)
# Wine traces every PlaySound call of the program (there is no sound device).
WINEDEBUG=-all,trace+winmm wine "$work/app/zarvex.exe" &
pid=$!
form=$(timeout 30 xdotool search --sync --onlyvisible --name '^Zarvex' | head -1)
echo "main window shown $((($(date +%s%N) - start) / 1000000)) ms after the start"
check "the main window opens" '[[ -n $form ]]'
sleep 1
shown 提示
told=$?
key Return 0.3
check "the update check tells of the newer version in a message that OK closes" '((told == 0)) && ! shown 提示'
check "the tips window is shown and its counter counted down" 'shown 使用提示 && grep -q "^tips=0" "$work/app/config.ini"'
front
xdotool mousemove 700 500
sleep 0.5
check "the caption shows the pointer" '[[ $(xdotool getwindowname "$form") == "Zarvexv4.0.1 鼠标位置：700，500" ]]'
key ctrl+w
# #336699 is the colour value 0x996633 (red in the low byte).
check "Ctrl+W adds the point with its position and colour" '[[ $(rows) == "1|700|500|A|0|10053171|" ]]'
compact=$(height)
act click 106 # Check1
# 6330 instead of 3900 twips: 162 pixels more at 96 dots per inch.
check "多窗口自动切换 makes the window taller" '(($(height) - compact == 162))'
act click 112 # Command1
# Form1 itself matches, and as the window in front it is listed a second time.
check "the search lists the matching windows, the one in front again" \
  '[[ $(listed | grep -c "|Zarvexv4.0.1 鼠标位置：700，500|$") == 2 &&
     $(listed | cut -d"|" -f1 | tr "\n" " ") == "1 2 " ]]'
act command 201 # 系统配置
wine "$helper" settext ZarvexForm3 302 7x # T_chg
act close ZarvexForm3
check "a bad number keeps 配置 open with its message and writes nothing" \
  'shown 提示 && shown 配置 && grep -q "^chgwnd=70" "$work/app/config.ini"'
key Return 0.3
# The window manager hands the focus to the main window when the message goes;
# the user clicks back into 配置.
xdotool search --onlyvisible --name '^配置$' windowactivate --sync
wine "$helper" settext ZarvexForm3 302 75
wine "$helper" settext ZarvexForm3 304 62 # T_fz
key Escape
check "Esc closes 配置 as its close box does, saving both numbers" \
  '! shown 配置 && grep -q "^chgwnd=75" "$work/app/config.ini" && grep -q "^fz=62" "$work/app/config.ini"'

# A run: 有变化时提醒, 启动, and the colour under the point changes.
wine "$helper" settext ZarvexForm1 111 测试窗口 # serch_proc
wine "$helper" click 104 # opt_whenchange
act click 103 # Command2
check "启动 starts a run" '[[ $(ask text 103) == 停止 ]]'
xsetroot -solid '#996633'
mailed() { grep -qsx $'To: <me@163.com>\r' "$work"/notifyd-outbox/*.eml; }
for _ in $(seq 30); do mailed && break; sleep 0.1; done
check "within 3 s of the change the service has the mail for the address" mailed
sleep 0.5
check "the point reads 已提醒 and the run is over" '[[ $(rows | cut -d"|" -f7) == 已提醒 && $(ask text 103) == 启动 ]]'
check "启动 saved email and game in the ANSI code page" \
  'tr -d "\r" <"$work/app/config.ini" | LC_ALL=C grep -qxF "email=me@163.com" &&
   tr -d "\r" <"$work/app/config.ini" | LC_ALL=C grep -qxF "game=$(printf 测试窗口 | iconv -f UTF-8 -t GBK)"'
sounds() { grep -c "MULTIMEDIA_PlaySound" "$work/wine.log"; }
before=$(sounds)
sleep 6.2
played=$(($(sounds) - before))
check "after the alert the sound plays every 3 s ($played times in 6.2 s)" '((played == 2 || played == 3))'

# Switching: three windows of a test program, listed front to back; with
# chgwnd=2 one comes to the top every 3 s plus the 3 s wait.
wine "$helper" show 3 &
sleep 1
front
act click 112 # Command1
check "the search lists the test windows front to back" \
  '[[ $(listed | cut -d"|" -f3 | tr "\n" ,) == "测试窗口 3,测试窗口 2,测试窗口 1," ]]'
act command 201
wine "$helper" settext ZarvexForm3 302 2
wine "$helper" close ZarvexForm3
wait_topmost() { for _ in $(seq 150); do ask topmost | grep -qx "$1" && return 0; sleep 0.1; done; return 1; }
check "the first row's window comes to the top, alone" \
  'wait_topmost "测试窗口 3" && [[ $(ask topmost | grep -c 测试窗口) == 1 ]]'
# The switch's 3 s wait has begun: a key pressed now waits for its end.
front
key ctrl+w
held=$(rows | wc -l)
sleep 3
check "Ctrl+W pressed during the switching wait adds its row after the wait" '((held == 1)) && [[ $(rows | wc -l) == 2 ]]'
wine "$helper" close ZarvexTestWindow2
check "a window closed before its turn is passed over and the next one comes to the top" \
  'wait_topmost "测试窗口 1" && ! shown "测试窗口 2"'
check "every row's window had its turn" '! listed | cut -d"|" -f4 | grep -qx ""'

front
key alt+F4 1
check "closing asks first" 'shown 提示'
xdotool key Return
timeout 10 tail --pid="$pid" -f /dev/null || kill "$pid"
wait "$pid"
status=$?
check "OK ends the program" '((status == 0))'

# An update service that cannot be reached: no message, and the window is there at once.
LC_ALL=C sed -i "s/^server=.*/server=127.0.0.1:$(free_port)\r/" "$work/app/config.ini"
start=$(date +%s%N)
wine "$work/app/zarvex.exe" &
form=$(timeout 30 xdotool search --sync --onlyvisible --name '^Zarvex' | head -1)
shown=$((($(date +%s%N) - start) / 1000000))
echo "with an unreachable service the main window was shown $shown ms after the start"
sleep 2
check "an unreachable service: no message, the window within 6 s" '[[ -n $form ]] && ((shown < 6000)) && ! shown 提示'
# 配置 saved chgwnd 2 and fz 62 above: switching is refused with its message
# while the interval is not 5 s above the threshold.
compact=$(height)
act click 106 # Check1
check "多窗口自动切换 is refused with its message when the interval is too short" 'shown 提示 && (($(height) == compact))'
((failures == 0))
