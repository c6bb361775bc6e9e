#!/usr/bin/env bash
# The shell's CPU while idle under Wine: the overlay hidden, no dictation, the mini window and
# tray present. Samples the kesu.exe process (core threads included) over 10 s.
#   bash scripts/with-wine.sh bash bench/wine_idle_cpu.sh build/windows/bin/kesu.exe
set -uo pipefail
exe_src="$1" secs="${2:-10}"
[[ -n "${WINEPREFIX:-}" && -n "${DISPLAY:-}" ]] || { echo "run through scripts/with-wine.sh"; exit 2; }
work="$(mktemp -d /tmp/kesu-idle.XXXXXX)"
trap 'pkill -f "kesu\.exe --no-onboarding" >/dev/null 2>&1; rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/data"
cp "$exe_src" "$work/app/kesu.exe"
export KESU_CONFIG_DIR="$(winepath -w "$work/data")"
(cd "$work/app" && KESU_TRACE=1 exec wine kesu.exe --no-onboarding </dev/null >/dev/null 2>&1) &
for _ in $(seq 300); do grep -qF "启动：界面就绪" "$work/data/kesu-cli.log" 2>/dev/null && break; sleep 0.1; done
sleep 5  # start-up work (model check, first-use download attempt) settles
pid="$(pgrep -f 'kesu\.exe --no-onboarding' | head -n1)"
[[ -n "$pid" ]] || { echo "kesu.exe is not running"; pgrep -af kesu; tail -5 "$work/data/kesu-cli.log"; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz="$(getconf CLK_TCK)"
before="$(ticks)"
sleep "$secs"
after="$(ticks)"
awk -v d="$((after - before))" -v hz="$hz" -v s="$secs" \
  'BEGIN { printf "idle shell CPU over %d s: %.2f s of CPU (%.2f%% of one core)\n", s, d / hz, 100 * d / hz / s }'
