#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs one program under Wine. The prefix and display
# come from scripts/with-wine.sh.
if [[ -z "${WINEPREFIX:-}" || -z "${DISPLAY:-}" ]]; then
  echo "wine-exec: run the Windows tests through scripts/with-wine.sh" >&2
  exit 2
fi
exec timeout --kill-after=10 "${KESU_WINE_TIMEOUT:-300}" wine "$@" </dev/null
