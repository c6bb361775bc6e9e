#!/usr/bin/env bash
# The main job: installs the dependencies, builds the native configuration and runs the example
# host, which drives one stub dictation through the core and prints every event.
#   bash scripts/run.sh [config-dir] [text]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh >&2
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null
dir="${1:-$(mktemp -d)}"
exec build/linux/bin/stub_dictation_host "$dir" "${2:-你好，言至。}"
