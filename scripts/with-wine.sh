#!/usr/bin/env bash
# Usage: with-wine.sh COMMAND [ARGS...]
# Runs COMMAND with a fresh 64-bit Wine prefix and a private headless X display, then removes
# both. Without the crash-dialog setting a crashing program would hang behind an invisible
# window, so the prefix gets scripts/wine-ci.reg first.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

export WINEARCH=win64 WINEDEBUG=-all LANG=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINEPREFIX="$(mktemp -d /tmp/kesu-wine.XXXXXX)"
export WINEPREFIX
xvfb_pid=""

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [[ -n "$xvfb_pid" ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

env -u DISPLAY wineboot -i >/dev/null 2>&1 </dev/null || true
wineserver -w

exec 3>"$WINEPREFIX/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [[ -s "$WINEPREFIX/display" ]] && break
  sleep 0.1
done
[[ -s "$WINEPREFIX/display" ]] || { echo "[wine] Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$WINEPREFIX/display")"

wine reg import "$(winepath -w "$root/scripts/wine-ci.reg")" >/dev/null 2>&1 </dev/null
wineserver -p >/dev/null 2>&1 </dev/null || true  # keep the server up between test programs
wine cmd /c exit >/dev/null 2>&1 </dev/null || true

"$@"
