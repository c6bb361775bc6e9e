#!/usr/bin/env bash
# Push-to-talk dictation into Wine's notepad with the real kesu.exe, end to end:
#   dictation_e2e.sh KESU_EXE WINTEST_EXE SHOTS_DIR [BENCH_ROUNDS]
# Right Alt is pressed and released with xdotool while notepad has the focus; the simulated
# microphone plays espeak-ng speech and the stub engine answers with its fixed sentence. What
# landed is read by kesu_wintest, the core's view from its history and pending files.
# Runs inside scripts/with-wine.sh: this test owns the display's clipboard and keyboard focus.
# With BENCH_ROUNDS > 0 it runs only that many timed dictations and prints the figures.
set -uo pipefail
wintest="$2" shots="$3" bench_rounds="${4:-0}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/sandbox.sh"
kesu_sandbox dictation "$1"
mkdir -p "$data/pending" "$shots"
runs=0 notepad_pid=""
on_exit() { [[ -n "$notepad_pid" ]] && kill "$notepad_pid" 2>/dev/null; }

wt() { wine "$wintest" "$@" 2>/dev/null </dev/null; }
shot() { import -window root "$shots/dictation-$1.png" 2>/dev/null || true; }

# Speech for the simulated microphone: about two seconds, 16 kHz mono 16-bit.
espeak-ng -v cmn -w "$work/raw.wav" "今天天气很好，我们去公园散步吧" || exit 2
sox "$work/raw.wav" -r 16000 -c 1 -b 16 "$work/speech.wav" || exit 2
export KESU_MIC_WAV="$(winepath -w "$work/speech.wav")"

configure() {
  (cd "$work/app" && timeout 60 wine "$exe" --dev --set-config "$1" </dev/null >/dev/null 2>&1)
  grep -qF "SETCONFIG code=0" "$log" || fail "set-config $1"
}

# Starts the normal run; its standard error, stamped with wall-clock times, goes to err.N.
start_kesu() {
  runs=$((runs + 1))
  err="$work/err.$runs"
  local ready_before
  ready_before="$(grep -cF "启动：界面就绪" "$log" 2>/dev/null)"
  (cd "$work/app" && KESU_TRACE=1 exec wine "$exe" --no-onboarding 2>&1 >/dev/null </dev/null |
    python3 -u "$here/stamp_lines.py" >"$err") &
  for _ in $(seq 300); do
    [[ "$(grep -cF "启动：界面就绪" "$log" 2>/dev/null)" -gt "${ready_before:-0}" ]] && break
    sleep 0.1
  done
  sleep 0.5
}

# Notepad in front with an empty page and the X keyboard focus.
focus_notepad() {
  local w
  w="$(xdotool search --name Notepad 2>/dev/null | head -n1)"
  [[ -n "$w" ]] || { fail "no notepad window"; return 1; }
  xdotool windowfocus --sync "$w" >/dev/null 2>&1
  wt notepad-reset
}

outcomes() { grep -c "上屏 status=" "$err" 2>/dev/null; }
# Holds right Alt (keycode 108) while the speech plays, then waits for the insertion's outcome.
dictate() {
  local before
  before="$(outcomes)"
  xdotool keydown 108
  sleep "${1:-2.6}"
  xdotool keyup 108
  for _ in $(seq 200); do
    [[ "$(outcomes)" -gt "$before" ]] && grep -qF "injected-out" <(tail -n 20 "$err") && return 0
    sleep 0.1
  done
  fail "no insertion outcome after a dictation"
  return 1
}
last_outcome() { grep "上屏 status=" "$err" | tail -n1 | sed 's/^[0-9.]* //'; }
newest_history() {
  python3 - "$data/history.json" <<'PY'
import json, sys
try:
    h = json.load(open(sys.argv[1], encoding="utf-8"))
except Exception:
    print("none|"); sys.exit()
entries = h if isinstance(h, list) else next((v for v in h.values() if isinstance(v, list)), [])
if not entries:
    print("none|"); sys.exit()
e = max(entries, key=lambda e: e.get("at", ""))
print(f'{e.get("status")}|{e.get("text")}')
PY
}
history_count() { python3 -c 'import json,sys
try: h=json.load(open(sys.argv[1],encoding="utf-8"))
except Exception: print(0); sys.exit()
print(len(h if isinstance(h,list) else next((v for v in h.values() if isinstance(v,list)),[])))' "$data/history.json"; }

wine notepad </dev/null >/dev/null 2>&1 &
notepad_pid=$!
for _ in $(seq 100); do xdotool search --name Notepad >/dev/null 2>&1 && break; sleep 0.1; done
# Media pause on: Wine has no media transport controls, which must stay silent and harmless.
configure '{"engine":"stub","pause_media":true}'

if ((bench_rounds > 0)); then
  start_kesu
  focus_notepad
  dictate || exit 1
  sentence="$(wt notepad-text)"
  [[ -n "$sentence" ]] || { echo "no text landed"; exit 1; }
  : >"$work/figures"
  for round in $(seq "$bench_rounds"); do
    focus_notepad
    wt notepad-wait "$sentence" 20000 >"$work/seen" &
    waiter=$!
    sleep 0.3
    xdotool keydown 108; sleep 2.6
    released="$(date +%s.%N)"
    xdotool keyup 108
    wait "$waiter"
    seen="$(sed -n 's/^SEEN //p' "$work/seen")"
    for _ in $(seq 100); do
      awk -v t="$released" '$3=="injected-out" && $1>t {found=1} END {exit !found}' "$err" && break
      sleep 0.1
    done
    request="$(awk -v t="$released" '$2=="[kesu][trace]" && $3=="inject-thread-in" && $1>t {print $1; exit}' "$err")"
    verified="$(awk -v t="$released" '$2=="[kesu][trace]" && $3=="injected-in" && $1>t {print $1; exit}' "$err")"
    echo "$released ${request:-nan} ${verified:-nan} ${seen:-nan}" >>"$work/figures"
  done
  python3 - "$work/figures" <<'PY'
import statistics, sys
rows = [list(map(float, l.split())) for l in open(sys.argv[1])]
def show(name, values):
    values = [v * 1000 for v in values if v == v]
    if values:
        print(f"{name:<38} median {statistics.median(values):7.0f} ms   worst {max(values):7.0f} ms   (n={len(values)})")
show("key release -> text visible in notepad", [r[3] - r[0] for r in rows])
show("core: key release -> submit_request", [r[1] - r[0] for r in rows])
show("insertion: request -> verified", [r[2] - r[1] for r in rows])
PY
  grep -h "HOOKTIME" "$log" | tail -n1
  exit 0
fi

# 0. The first dictation of a run with the shell's own window in front: there is no earlier
#    target to go back to, so nothing is sent and the text waits on the clipboard.
start_kesu
wt clipboard-set "早先的剪贴板"
wt shell-window-front || fail "could not bring the shell's window to the front"
own="$(xdotool search --name '^言至$' 2>/dev/null | head -n1)"
[[ -n "$own" ]] && xdotool windowfocus --sync "$own" >/dev/null 2>&1
dictate
[[ "$(last_outcome)" == "[kesu] 上屏 status=undelivered detail=焦点在 Kesu 自己的窗口上，这段话留在剪贴板里了" ]] ||
  fail "own window: $(last_outcome)"
own_text="$(wt clipboard-get)"
[[ "$own_text" == *"你好"* ]] || fail "own window: clipboard holds '$own_text'"
stop_kesu

# 1. A paste dictation lands once, is verified, and the earlier clipboard comes back.
start_kesu
wt clipboard-set "早先的剪贴板"
focus_notepad
dictate
shot paste
sentence="$(wt notepad-text)"
[[ "$sentence" == *"你好"* ]] || fail "paste: notepad holds '$sentence'"
[[ "$(last_outcome)" == "[kesu] 上屏 status=ok detail=" ]] || fail "paste: $(last_outcome)"
[[ "$(newest_history)" == "inserted|$sentence" ]] || fail "paste: history $(newest_history)"
[[ ! -e "$data/pending/last_result.txt" ]] || fail "paste: pending text kept after ok"
[[ "$(wt clipboard-get)" == "早先的剪贴板" ]] || fail "paste: clipboard now '$(wt clipboard-get)'"

# 2. Esc cancels a dictation: nothing lands, nothing is stored.
count="$(history_count)"
focus_notepad
xdotool keydown 108; sleep 1.2; xdotool key Escape; sleep 0.3; xdotool keyup 108
sleep 3
[[ -z "$(wt notepad-text)" ]] || fail "cancel: notepad holds '$(wt notepad-text)'"
[[ "$(history_count)" == "$count" ]] || fail "cancel: a history entry was added"

# 3. A clipboard kept open by another program: undelivered, and the text is kept for later.
focus_notepad
wt clipboard-hold 9000 >"$work/held" &
holder=$!
for _ in $(seq 50); do grep -q HELD "$work/held" && break; sleep 0.1; done
dictate
[[ "$(last_outcome)" == "[kesu] 上屏 status=undelivered detail=写剪贴板失败（可能被别的程序占用）" ]] ||
  fail "busy clipboard: $(last_outcome)"
[[ -z "$(wt notepad-text)" ]] || fail "busy clipboard: notepad holds '$(wt notepad-text)'"
[[ -s "$data/pending/last_result.txt" ]] || fail "busy clipboard: no pending text"
wait "$holder"

# 4. Ten dictations in a row: each lands exactly once.
focus_notepad
for i in $(seq 10); do
  dictate || break
  [[ "$(last_outcome)" == "[kesu] 上屏 status=ok detail=" ]] || fail "round $i: $(last_outcome)"
done
expected="$(for i in $(seq 10); do printf '%s' "$sentence"; done)"
[[ "$(wt notepad-text)" == "$expected" ]] || fail "ten rounds: notepad holds '$(wt notepad-text)'"
shot ten
# After a resume from sleep the capture is armed again and push-to-talk still works.
wt post-resume
sleep 0.5
grep -qF "[kesu] 唤醒：热键钩子已重装" "$err" || fail "resume: no re-arm line"
dictate
[[ "$(wt notepad-text)" == "$expected$sentence" ]] || fail "after resume: notepad holds '$(wt notepad-text)'"
grep -q "MEDIA" "$log" && fail "media control spoke without a player: $(grep MEDIA "$log")"
stop_kesu

# 5. Typing mode for notepad through the per-application setting.
configure '{"insert_per_app":{"notepad.exe":"keystroke"}}'
start_kesu
focus_notepad
dictate
# Typed text can still be arriving on a loaded machine: give it a moment to be whole.
wt notepad-wait "$sentence" 5000 >/dev/null
[[ "$(wt notepad-text)" == "$sentence" ]] || fail "typing: notepad holds '$(wt notepad-text)'"
[[ "$(last_outcome)" == "[kesu] 上屏 status=ok detail=" ]] || fail "typing: $(last_outcome)"
[[ "$(newest_history)" == "inserted|$sentence" ]] || fail "typing: history $(newest_history)"
stop_kesu

# 6. Text left undelivered by an earlier run: kept while the clipboard cannot take it, then
#    offered once through the clipboard and removed.
printf '\xef\xbb\xbf上次没说完的话\n' >"$data/pending/last_result.txt"
wt clipboard-hold 6000 >"$work/held" &
holder=$!
for _ in $(seq 50); do grep -q HELD "$work/held" && break; sleep 0.1; done
start_kesu
grep -qF "[kesu] 恢复上次没上屏的文字 7 字（剪贴板=false）" "$err" || fail "recovery with a busy clipboard: $(grep 恢复 "$err")"
[[ -s "$data/pending/last_result.txt" ]] || fail "recovery deleted the text it could not copy"
stop_kesu
wait "$holder"
start_kesu
grep -qF "[kesu] 恢复上次没上屏的文字 7 字（剪贴板=true）" "$err" || fail "recovery: $(grep 恢复 "$err")"
[[ "$(wt clipboard-get)" == "上次没说完的话" ]] || fail "recovery: clipboard '$(wt clipboard-get)'"
[[ ! -e "$data/pending/last_result.txt" ]] || fail "recovery kept the file after copying it"
stop_kesu

# 7. A right-Ctrl push-to-talk key: the paste's own Ctrl must not start a second dictation.
configure '{"hotkey":"CTRL_R","insert_per_app":{}}'
start_kesu
focus_notepad
before="$(grep -c "talk_down-out" "$err")"
xdotool keydown 105; sleep 2.6; xdotool keyup 105
for _ in $(seq 150); do grep -qF "injected-out" "$err" && break; sleep 0.1; done
sleep 2
[[ "$(wt notepad-text)" == "$sentence" ]] || fail "CTRL_R: notepad holds '$(wt notepad-text)'"
[[ "$(($(grep -c "talk_down-out" "$err") - before))" == 1 ]] || fail "CTRL_R: phantom dictation"
stop_kesu
configure '{"hotkey":"ALT_R"}'

# 8. The insertion test modes, into whatever is in front.
for mode in paste keystroke; do
  focus_notepad
  (cd "$work/app" && timeout 60 wine "$exe" --dev --inject-test "你好，世界。Kesu 😀" --mode "$mode" </dev/null >/dev/null 2>&1)
  [[ "$(wt notepad-text)" == "你好，世界。Kesu 😀" ]] || fail "--inject-test $mode: notepad holds '$(wt notepad-text)'"
done
grep -c "INJECT status=ok detail=" "$log" | grep -qx 2 || fail "--inject-test: $(grep INJECT "$log")"
focus_notepad
(cd "$work/app" && timeout 60 wine "$exe" --inject-type "逐字打" </dev/null >/dev/null 2>&1)
grep -qF "TYPETEST ok " "$log" || fail "--inject-type: $(grep TYPETEST "$log")"
[[ "$(wt notepad-text)" == "逐字打" ]] || fail "--inject-type: notepad holds '$(wt notepad-text)'"

# 9. The mini window's round button: a click starts a dictation, a second click ends it, and
#    the text lands in notepad, which kept the focus.
start_kesu
focus_notepad
read -r _ left top right _ <<<"$(wt window-rect KesuMini)"
if [[ -z "${left:-}" ]]; then
  fail "mini window not shown"
else
  button_x=$(((left + right) / 2)) button_y=$((top + 92))
  before="$(outcomes)"
  xdotool mousemove "$button_x" "$button_y" click 1
  sleep 2.6
  shot mini-listening
  xdotool mousemove "$button_x" "$button_y" click 1
  for _ in $(seq 200); do [[ "$(outcomes)" -gt "$before" ]] && break; sleep 0.1; done
  [[ "$(last_outcome)" == "[kesu] 上屏 status=ok detail=" ]] || fail "mini click: $(last_outcome)"
  [[ "$(wt notepad-text)" == "$sentence" ]] || fail "mini click: notepad holds '$(wt notepad-text)'"
fi
stop_kesu

if ((failures)); then
  for f in "$work"/err.*; do echo "---- $f"; tail -n 40 "$f"; done
  echo "---- main log"; tail -n 80 "$log"
  exit 1
fi
echo "dictation e2e (wine): all checks passed"
