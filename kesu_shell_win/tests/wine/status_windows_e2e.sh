#!/usr/bin/env bash
# The status windows of the real kesu.exe under Wine:
#   status_windows_e2e.sh KESU_EXE WINTEST_EXE SHOTS_DIR
# The overlay is shown listening, recognising and with an error tip at scale 1 and 1.5 and
# checked on screenshots (size and a few pixel colours); the tray menu is dumped; the icon is
# dropped and brought back, by the drop test and by Explorer's "TaskbarCreated" broadcast.
# Runs inside scripts/with-wine.sh: the screenshots need a display of their own.
set -uo pipefail
wintest="$2" shots="$3"
source "$(dirname "${BASH_SOURCE[0]}")/sandbox.sh"
kesu_sandbox status "$1"
mkdir -p "$shots"
wt() { wine "$wintest" "$@" 2>/dev/null </dev/null; }
kesu() { (cd "$work/app" && timeout 60 wine "$exe" "$@" </dev/null >/dev/null 2>&1); }

# Whether a pixel is within 3 of an expected colour.
near() {
  local got=($1) want=($2) i
  for i in 0 1 2; do
    local d=$((got[i] - want[i]))
    ((d < -3 || d > 3)) && return 1
  done
  return 0
}

# 1. The overlay: three phases at two scales. The panel colour is RGB(56, 56, 61) premultiplied
#    with 240 (246 for an error tip); the bars are amber while listening and dim otherwise.
check_overlay() {
  local scale="$1" phase="$2" text="$3" bar="$4" panel="$5"
  local name="overlay-$phase-$scale"
  (cd "$work/app" && timeout 60 wine "$exe" --overlay-demo --overlay-scale "$scale" --overlay-phase "$phase" \
    --overlay-text "$text" --overlay-demo-secs 4 </dev/null >/dev/null 2>&1) &
  local demo=$! line=""
  for _ in $(seq 100); do
    line="$(grep "OVERLAY demo phase=$phase scale=$scale " "$log" 2>/dev/null | tail -n1)"
    [[ -n "$line" ]] && break
    sleep 0.1
  done
  [[ -n "$line" ]] || { fail "$name: no demo line"; wait "$demo"; return; }
  sleep 1.2
  import -window root "$shots/$name.png" 2>/dev/null
  wait "$demo"
  local x y w h
  x="$(sed -n 's/.* x=\([0-9-]*\) .*/\1/p' <<<"$line")"
  y="$(sed -n 's/.* y=\([0-9-]*\) .*/\1/p' <<<"$line")"
  w="$(sed -n 's/.* w=\([0-9]*\) .*/\1/p' <<<"$line")"
  h="$(sed -n 's/.* h=\([0-9]*\)$/\1/p' <<<"$line")"
  local R=36 P=10 expect_h=56
  [[ "$scale" == 1.5 ]] && R=54 P=15 expect_h=84
  [[ "$h" == "$expect_h" ]] || fail "$name: height $h"
  local shot="$shots/$name.png" got
  got="$(pixel "$shot" $((x + w / 2)) $((y + 2)))"
  near "$got" "$panel" || fail "$name: panel top ($got)"
  got="$(pixel "$shot" $((x + w - 3)) $((y + R / 2)))"
  near "$got" "$panel" || fail "$name: panel right end ($got)"
  got="$(pixel "$shot" $((x + w + 2)) $((y + R / 2)))"
  near "$got" "$panel" && fail "$name: panel wider than $w"
  got="$(pixel "$shot" $((x + P + 1)) $((y + R / 2)))"
  near "$got" "$bar" || fail "$name: bar ($got)"
  echo "$name: ${w}x$h at $x,$y"
}
for scale in 1 1.5; do
  check_overlay "$scale" listening "今天天气很好，我们去公园散步吧" "196 164 107" "52 52 57"
  check_overlay "$scale" processing "今天天气很好" "80 67 44" "52 52 57"
  check_overlay "$scale" error "麦克风打不开：在设置里改回系统默认设备" "83 69 45" "54 54 58"
done
# A live text wider than the panel: the widest panel, at 1.5 it is 630 pixels.
grep -q "OVERLAY demo phase=listening scale=1.5 .* w=6[0-9][0-9] h=84" "$log" ||
  grep -q "OVERLAY demo phase=listening scale=1.5 .* h=84" "$log" || fail "listening at 1.5: $(grep 'phase=listening scale=1.5' "$log")"

# The caret probe and the DPI report answer in their documented shapes.
kesu --caret-probe
grep -qx "DPI scale=1" "$log" || fail "caret probe: $(grep 'DPI scale' "$log")"
grep -qE "^PROBE fg_thread=[0-9]+ gti_ok=(true|false) err=[0-9]+ caret_hwnd=.* rc=\(.*\) screen=\(.*\) conv=(true|false) win=\(.*\)$" "$log" ||
  fail "probe line: $(grep '^PROBE' "$log")"
grep -qE "^CARET (none|x=-?[0-9]+ y=-?[0-9]+ flip=(true|false))$" "$log" || fail "caret: $(grep '^CARET' "$log")"
kesu --dpi-report
grep -qE "^DPI awareness=-?[0-9]+ system=96$" "$log" || fail "dpi report: $(grep 'DPI awareness' "$log")"

# 2. The tray menu as the running application builds it.
kesu --tray-menu-dump
for item in "TRAYMENU id=0 grey=1 text=言至 · 就绪" "TRAYMENU id=1007 grey=1 text=取消当前录音（Esc）" \
            "TRAYMENU id=1001 grey=0 text=复制上次结果" "TRAYMENU id=1009 grey=0 text=显示主窗" \
            "TRAYMENU id=1003 grey=0 text=退出"; do
  grep -qF "$item" "$log" || fail "menu dump lacks '$item'"
done
grep -q "TRAYMENU id=1014" "$log" && fail "the self-test item shows without developer mode"

# 3. The icon dropped and re-added at once, then lost as in an Explorer restart and brought
#    back by the broadcast; the application keeps running.
(cd "$work/app" && KESU_TRACE=1 exec timeout 60 wine "$exe" --tray-drop-test </dev/null >/dev/null 2>&1) &
for _ in $(seq 150); do grep -qF "启动：界面就绪" "$log" 2>/dev/null && break; sleep 0.1; done
grep -qF "TRAYDROP dropped=true back=true" "$log" || fail "drop test: $(grep TRAYDROP "$log")"
[[ "$(wt tray-present)" == "PRESENT" ]] || fail "icon missing after the drop test"
wt tray-delete || fail "could not remove the icon"
[[ "$(wt tray-present)" == "ABSENT" ]] || fail "icon still there after NIM_DELETE"
wt taskbar-created || fail "broadcast failed"
for _ in $(seq 50); do grep -qF "taskbar-created：重加托盘图标" "$log" && break; sleep 0.1; done
grep -qF "taskbar-created：重加托盘图标" "$log" || fail "no TaskbarCreated handling"
sleep 0.3
[[ "$(wt tray-present)" == "PRESENT" ]] || fail "icon not back after TaskbarCreated"
grep -qF "tray-ensure re-added icon" "$log" || fail "no re-add trace"

# 4. The menu opened as a right click on the icon opens it, then 退出 chosen with the keyboard
#    (the last item): the icon goes at once and the process ends.
stop_kesu
(cd "$work/app" && exec timeout 60 wine "$exe" --no-onboarding --tray-menu-demo </dev/null >/dev/null 2>&1) &
running=$!
for _ in $(seq 150); do [[ "$(wt tray-present)" == "PRESENT" ]] && break; sleep 0.1; done
sleep 1
import -window root "$shots/tray-menu.png" 2>/dev/null
xdotool key Up
sleep 0.2
xdotool key Return
ended=0
for _ in $(seq 100); do kill -0 "$running" 2>/dev/null || { ended=1; break; }; sleep 0.1; done
((ended)) || fail "退出 from the menu did not end the application"
[[ "$(wt tray-present)" == "" ]] || fail "the message window or icon outlived 退出"

if ((failures)); then
  echo "---- main log"; tail -n 80 "$log"
  exit 1
fi
echo "status windows e2e (wine): all checks passed"
