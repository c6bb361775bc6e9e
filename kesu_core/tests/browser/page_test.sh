#!/usr/bin/env bash
# Starts the headless shell with its LAN server on a free port and drives the dictation page in
# Chromium.   page_test.sh PATH_TO_KESU OUT_DIR
set -uo pipefail
kesu="$1" out="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d /tmp/kesu-page.XXXXXX)"
pid=""
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
[[ -d "$here/node_modules/playwright-core" ]] || { echo "playwright-core missing: run scripts/install-deps.sh"; exit 1; }
mkdir -p "$out"
export KESU_CONFIG_DIR="$work/data"
port=$((20000 + RANDOM % 30000))
"$kesu" --dev --set-config "{\"lan_enabled\":true,\"lan_allow_lan\":false,\"lan_port\":$port}" >/dev/null
"$kesu" </dev/null >"$work/out" 2>&1 &
pid=$!
for _ in $(seq 100); do curl -s -m 1 "http://127.0.0.1:$port/health" >/dev/null && break; sleep 0.1; done
# Real speech (espeak-ng writes 22.05 kHz): the page resamples it, the server's VAD finds it.
espeak-ng -v zh -w "$work/speech.wav" "今天下午三点开会，请大家准时参加。" || { echo "espeak-ng failed"; exit 1; }
node "$here/page_test.mjs" "http://127.0.0.1:$port/" "$work/speech.wav" "$out"
