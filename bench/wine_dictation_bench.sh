#!/usr/bin/env bash
# Push-to-talk into Wine's notepad, timed: key release -> text visible in notepad (median and
# worst of N dictations, default 20), split into the core's part (release -> the insertion
# request) and the insertion (request -> verified), plus the keyboard hook's own time per key.
#   bash bench/wine_dictation_bench.sh [ROUNDS]      (after: cmake --build --preset windows)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$root/build/windows/bin"
[[ -f "$bin/kesu.exe" && -f "$bin/kesu_wintest.exe" ]] || { echo "build the windows preset first"; exit 2; }
exec bash "$root/scripts/with-wine.sh" bash "$root/kesu_shell_win/tests/wine/dictation_e2e.sh" \
  "$bin/kesu.exe" "$bin/kesu_wintest.exe" "$root/build/windows/screenshots" "${1:-20}"
