# Sourced by the Wine checks. `kesu_sandbox NAME KESU_EXE` gives the check a private copy of
# kesu.exe with its own data folder, so checks running at the same time never touch each
# other's program or files. It sets work, exe, mine (a pattern matching only this copy), data
# and log, exports KESU_CONFIG_DIR, and at exit stops the copy, runs `on_exit` if the check
# defines one, and removes the folder.

[[ -n "${WINEPREFIX:-}" && -n "${DISPLAY:-}" ]] || { echo "run through scripts/with-wine.sh"; exit 2; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

kesu_sandbox() {
  work="$(mktemp -d "/tmp/kesu-$1.XXXXXX")"
  mkdir -p "$work/app" "$work/data"
  cp "$2" "$work/app/kesu.exe"
  exe="$work/app/kesu.exe"
  mine="$work/app/kesu\\.exe"
  data="$work/data"
  log="$data/kesu-cli.log"
  export KESU_CONFIG_DIR="$(winepath -w "$data")"
  unset KESU_DEV KESU_TRACE KESU_RAW_DEBUG KESU_SETTINGS_DPI
  trap sandbox_cleanup EXIT
}

# Stops this check's copy of kesu.exe and waits until it is gone.
stop_kesu() {
  pkill -f "$mine" >/dev/null 2>&1
  for _ in $(seq 50); do pgrep -f "$mine" >/dev/null || break; sleep 0.1; done
}

sandbox_cleanup() {
  stop_kesu
  declare -F on_exit >/dev/null && on_exit
  rm -rf "$work"
}

# "r g b" of one pixel of a screenshot.
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info: 2>/dev/null
}
