#!/usr/bin/env bash
# Start at logon with the real kesu.exe under Wine: autostart_e2e.sh KESU_EXE
# The test switches write and remove the Run value; `wine reg` checks it from outside and the
# configuration file shows the saved launch_at_login. A normal start with launch_at_login on
# rewrites a value that points elsewhere.
# Runs inside scripts/with-wine.sh: the Run key is the prefix's own.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/sandbox.sh"
kesu_sandbox autostart "$1"
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
kesu() { (cd "$work/app" && timeout 60 wine "$exe" "$@" </dev/null >/dev/null 2>&1); }
expect_log() { grep -qxF -- "$1" "$log" || fail "main log lacks: $1 (has: $(grep "^${1%% *} " "$log" | tail -n1))"; }
# The Run value as `reg` shows it, empty when there is none.
run_value() {
  wine reg query "$run_key" /v Kesu 2>/dev/null </dev/null | tr -d '\r' |
    sed -n 's/^ *Kesu *REG_SZ *//p'
}
launch_at_login() { sed -n 's/^launch_at_login = //p' "$data/config.toml" 2>/dev/null; }

# The program as Windows names it, quoted, and that text in the log's debug notation.
win_exe="$(winepath -w "$exe")"
quoted="\"$win_exe\""
debug_some="Some(\"\\\"${win_exe//\\/\\\\}\\\"\")"

# 1. Turning off with nothing registered succeeds and saves false.
kesu --autostart-off
expect_log "AUTOSTART OFF result=Ok(()) config=0/ current=None"
[[ "$(launch_at_login)" == false ]] || fail "config after --autostart-off: $(launch_at_login)"

# 2. The round trip leaves no value behind.
kesu --autostart-test
expect_log "AUTOSTARTTEST before=None on=Ok(()) after_on=$debug_some off=Ok(()) after_off=None"
[[ -z "$(run_value)" ]] || fail "value left by --autostart-test: $(run_value)"

# 3. On: the quoted path in the Run key, launch_at_login true in the file.
kesu --autostart-on
expect_log "AUTOSTART ON result=Ok(()) config=0/ current=$debug_some"
[[ "$(run_value)" == "$quoted" ]] || fail "Run value after --autostart-on: '$(run_value)' want '$quoted'"
[[ "$(launch_at_login)" == true ]] || fail "config after --autostart-on: $(launch_at_login)"

# 4. Start-up with launch_at_login on and a value for another path: rewritten and logged.
wine reg add "$run_key" /v Kesu /t REG_SZ /d '"C:\old\kesu.exe"' /f >/dev/null 2>&1 </dev/null
[[ "$(run_value)" == '"C:\old\kesu.exe"' ]] || fail "could not plant the old value: $(run_value)"
(cd "$work/app" && KESU_RAW_DEBUG=1 exec timeout 60 wine "$exe" --no-onboarding </dev/null \
  >/dev/null 2>"$work/err") &
for _ in $(seq 300); do grep -qF "AUTOSTART 路径变了" "$log" 2>/dev/null && break; sleep 0.1; done
expect_log "AUTOSTART 路径变了，已重写 Run 键"
grep -qF "[kesu] autostart reconcile want=true have=Some(\"\\\"C:\\\\old\\\\kesu.exe\\\"\")" "$work/err" ||
  fail "raw debug line: $(grep 'autostart reconcile' "$work/err")"
grep -qF "AUTOSTART 对齐失败" "$log" && fail "reconcile reported a failure"
stop_kesu
[[ "$(run_value)" == "$quoted" ]] || fail "Run value after start-up: '$(run_value)' want '$quoted'"

# 5. Off with a value present: removed.
kesu --autostart-off
[[ "$(grep -c "^AUTOSTART OFF result=Ok(()) config=0/ current=None$" "$log")" == 2 ]] ||
  fail "second --autostart-off: $(grep '^AUTOSTART OFF' "$log" | tail -n1)"
wine reg query "$run_key" /v Kesu >/dev/null 2>&1 </dev/null && fail "value still there after --autostart-off"
[[ "$(launch_at_login)" == false ]] || fail "config after the last --autostart-off: $(launch_at_login)"

if ((failures)); then
  echo "---- main log"; tail -n 40 "$log"
  exit 1
fi
echo "autostart e2e (wine): all checks passed"
