#!/usr/bin/env bash
# The main job: installs the dependencies, builds the native configuration and starts the
# headless shell with the LAN dictation server switched on for this machine only
# (http://127.0.0.1:PORT/). Ends with Ctrl+C.
#   bash scripts/run.sh [data-dir] [port]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh >&2
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null
export KESU_CONFIG_DIR="${1:-${KESU_CONFIG_DIR:-$root/build/run-data}}"
port="${2:-8765}"
mkdir -p "$KESU_CONFIG_DIR"
# Settings change only through the core; the answer (also "尚未实现") is in the main log.
build/linux/bin/kesu --dev --set-config \
  "{\"lan_enabled\":true,\"lan_allow_lan\":false,\"lan_port\":$port}" >/dev/null || true
tail -n 1 "$KESU_CONFIG_DIR/kesu-cli.log" >&2 || true
echo "[run] data folder: $KESU_CONFIG_DIR" >&2
echo "[run] LAN dictation page: http://127.0.0.1:$port/ (open it in a browser on this machine)" >&2
exec build/linux/bin/kesu
