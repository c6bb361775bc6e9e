#!/usr/bin/env bash
# End-to-end checks of the real shell with its embedded core: e2e.sh native|wine PATH_TO_KESU
# The program is copied alone into an empty folder, so it must bring everything it needs.
# Under Wine it expects the prefix and display of scripts/with-wine.sh.
set -uo pipefail
mode="$1" exe_src="$2" models="${3:-}"
work="$(mktemp -d /tmp/kesu-e2e.XXXXXX)"
first_pid=""
cleanup() {
  [[ -n "$first_pid" ]] && kill "$first_pid" 2>/dev/null && wait "$first_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/app" "$work/data"
cp "$exe_src" "$work/app/"
exe="$work/app/$(basename "$exe_src")"
log="$work/data/kesu-cli.log"
if [[ "$mode" == wine ]]; then
  [[ -n "${WINEPREFIX:-}" && -n "${DISPLAY:-}" ]] || { echo "run through scripts/with-wine.sh"; exit 2; }
  runner=(wine)
  export KESU_CONFIG_DIR="$(winepath -w "$work/data")"
else
  runner=()
  export KESU_CONFIG_DIR="$work/data"
fi
unset KESU_DEV KESU_TRACE

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# run NAME ARGS...: sets OUT, ERR, RC. Every run is bounded.
run() {
  OUT="$(cd "$work/app" && timeout --kill-after=5 60 "${runner[@]}" "$exe" "$@" 2>"$work/err" </dev/null)"
  RC=$?
  ERR="$(cat "$work/err")"
}
expect_log() { grep -qF -- "$1" "$log" || fail "main log lacks: $1"; }

# First start in an empty folder writes the payloads out; the second writes nothing.
run --version
[[ $RC -eq 0 && "$OUT" == *"言至（yzhi） 0.8.1"* ]] || fail "--version: rc=$RC out=$OUT err=$ERR"
expect_log "CORE 内置 dll 已解出"
expect_log "内置模型已解出"
ls "$work/data/bin" | grep -q kesu_core || fail "no core library in bin"
[[ -s "$work/data/models/silero_vad.onnx" ]] || fail "no built-in VAD model"
before="$(find "$work/data/bin" "$work/data/models" -type f -newer "$log" | wc -l) $(wc -l <"$log")"
sleep 1
touch -d '-1 second' "$work/stamp-ref" 2>/dev/null || touch "$work/stamp-ref"
run --version
written="$(find "$work/data/bin" "$work/data/models" -type f -newer "$work/stamp-ref" | wc -l)"
[[ $RC -eq 0 && $written -eq 0 && "$(wc -l <"$log")" == "${before#* }" ]] ||
  fail "second start wrote payloads again (files=$written)"

# Developer gate.
run --history-delete 1
[[ $RC -eq 2 && "$ERR" == *"--history-delete 只在开发版可用（启动时加 --dev）"* ]] ||
  fail "gate: rc=$RC err=$ERR"
KESU_DEV=true run --dump-config
[[ $RC -eq 2 ]] || fail "KESU_DEV=true opened the gate"
KESU_DEV=1 run --history-delete 1
[[ $RC -eq 0 ]] || fail "KESU_DEV=1 --history-delete: rc=$RC"
expect_log "HISTDEL id=1 rc="
run --dev --dump-config
[[ $RC -eq 0 ]] || fail "--dump-config: rc=$RC err=$ERR"

# A switch whose mode is not built yet says so instead of starting a normal run.
run --net-check
[[ $RC -eq 3 && "$ERR" == *"--net-check 尚未实现"* ]] || fail "unbuilt switch: rc=$RC err=$ERR"
expect_log "--net-check 尚未实现"

run --self-test
[[ $RC -eq 0 ]] || fail "--self-test: rc=$RC err=$ERR"
expect_log "SELFTEST OK 结果=言至自测"

# Arguments arrive as UTF-8 (Chinese included).
run --hotkey-check "ctrl + alt + space"
expect_log "HOTKEYCHECK spec=ctrl + alt + space ok=true"
run --hotkey-check "右Alt"
expect_log "HOTKEYCHECK spec=右Alt ok=false"
run --hotkey-report
expect_log "HOTKEY raw=ALT_R mods=[] main=0xa5 single_mod=true"

# A second of 16 kHz mono 16-bit tone.
python3 - "$work/tone.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(16000)
    w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(i / 16000 * 2 * math.pi * 440))) for i in range(16000)))
PY
wav="$work/tone.wav"
[[ "$mode" == wine ]] && wav="$(winepath -w "$wav")"
run --dev --decode-wav "$wav"
[[ $RC -eq 0 ]] || fail "--decode-wav: rc=$RC err=$ERR"
expect_log "DECODE rc="

# A WAV file through the generated SenseVoice-compatible model: the real engine, checked first
# by the model checker the program wrote out beside its core.
if [[ -n "$models" && -f "$models/sense/model.int8.onnx" ]]; then
  sense="$models/sense" vad="$models/silero_vad.onnx" speech="$models/speech-two.wav"
  if [[ "$mode" == wine ]]; then
    sense="$(winepath -w "$sense")" vad="$(winepath -w "$vad")" speech="$(winepath -w "$speech")"
  fi
  config="$(python3 -c 'import json,sys; print(json.dumps({"model_dir": sys.argv[1], "vad_model": sys.argv[2]}))' "$sense" "$vad")"
  run --dev --set-config "$config"
  # The mode waits 4 s for the text; the first run also has the checker validate the model,
  # which a slow machine (or Wine) may not finish in that time. The second finds it validated.
  for _ in 1 2; do
    run --dev --decode-wav "$speech" --as-app notepad.exe
    grep -qE "WAVLAST .+" "$log" && break
  done
  expect_log "WAVCODE 0"
  grep -qE "WAVLAST .+" "$log" || fail "no text from the test model"
fi

# The LAN dictation server of the normal run below, on a port of its own.
lan_port=$((20000 + RANDOM % 30000))
run --dev --set-config "{\"lan_enabled\":true,\"lan_allow_lan\":false,\"lan_port\":$lan_port}"
[[ $RC -eq 0 ]] || fail "--set-config: rc=$RC err=$ERR"

# The normal run: starts, keeps the core alive, and (on Windows) takes over from a second copy.
# Its lifetime is the script's: it is stopped below once the checks are done. The long limit
# only keeps a hung run from outliving the test.
(cd "$work/app" && KESU_TRACE=1 exec timeout --kill-after=60 900 "${runner[@]}" "$exe" \
  </dev/null >"$work/first.out" 2>"$work/first.err") &
first_pid=$!
for _ in $(seq 200); do grep -qF "启动：界面就绪" "$log" 2>/dev/null && break; sleep 0.1; done
expect_log "启动：界面就绪"
# Reached from this (Linux) side with curl, also when the server is the Windows build.
for _ in $(seq 100); do
  curl -s -m 2 "http://127.0.0.1:$lan_port/health" >"$work/health" 2>/dev/null && break
  sleep 0.1
done
grep -qF '"ok":true,"engine":"' "$work/health" || fail "LAN /health: $(cat "$work/health")"
curl -s -m 300 --data-binary @"$work/tone.wav" "http://127.0.0.1:$lan_port/transcribe" >"$work/text" 2>&1
grep -qF '"ok":true' "$work/text" || fail "LAN /transcribe: $(cat "$work/text")"
if [[ "$mode" == wine ]]; then
  run
  [[ $RC -eq 0 ]] || fail "second instance: rc=$RC err=$ERR"
  for _ in $(seq 50); do grep -qF "tooltip Kesu 已经在运行了" "$log" && break; sleep 0.1; done
  expect_log "tooltip Kesu 已经在运行了：这是同一个实例，托盘图标也在右下角"
  kill "$first_pid" 2>/dev/null
  wait "$first_pid" 2>/dev/null
else
  kill -TERM "$first_pid"
  wait "$first_pid"
  rc=$?
  [[ $rc -eq 0 ]] || fail "headless run ended with $rc on SIGTERM"
  expect_log "言至 已退出"
fi
first_pid=""

if ((failures)); then
  echo "---- main log"; cat "$log"
  exit 1
fi
echo "e2e ($mode): all checks passed"
