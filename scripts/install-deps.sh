#!/usr/bin/env bash
# Installs everything the build and the tests need. Safe to run again: finished steps are skipped.
#   Debian packages through apt-get; prebuilt binaries through `npm pack` into .deps/, checked
#   against scripts/deps.lock.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deps="$root/.deps"

apt_packages=(
  build-essential cmake ninja-build ccache pkg-config
  googletest libgtest-dev nlohmann-json3-dev libtomlplusplus-dev
  libcurl4-openssl-dev portaudio19-dev
  g++-mingw-w64-x86-64-posix wine wine64 xvfb xdotool x11-utils imagemagick
  python3-onnx python3-numpy
  pulseaudio pulseaudio-utils libasound2-plugins espeak-ng sox chromium fonts-wqy-microhei fonts-dejavu-core
  zlib1g-dev libz-mingw-w64-dev binutils file ca-certificates curl
)

missing=()
for p in "${apt_packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "[deps] apt-get install ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

command -v npm >/dev/null || { echo "[deps] npm is missing (it comes with the machine's Node.js)" >&2; exit 1; }
mkdir -p "$deps/cache"
while read -r spec sum folder; do
  [[ -z "$spec" || "$spec" == \#* ]] && continue
  stamp="$deps/$folder/.sha256"
  if [[ -f "$stamp" && "$(cat "$stamp")" == "$sum" ]]; then continue; fi
  echo "[deps] npm pack $spec"
  tgz="$(cd "$deps/cache" && npm pack --silent "$spec" | tail -n 1)"
  got="$(sha256sum "$deps/cache/$tgz" | cut -d' ' -f1)"
  if [[ "$got" != "$sum" ]]; then
    echo "[deps] checksum mismatch for $spec: expected $sum, got $got" >&2
    rm -f "$deps/cache/$tgz"
    exit 1
  fi
  rm -rf "$deps/$folder" && mkdir -p "$deps/$folder"
  tar -xzf "$deps/cache/$tgz" -C "$deps/$folder" --strip-components=1
  echo "$sum" >"$stamp"
done <"$root/scripts/deps.lock"

# The page test's browser driver, pinned by its lock file (no browser download: it drives the
# system's Chromium).
page_test="$root/kesu_core/tests/browser"
if [[ ! -d "$page_test/node_modules/playwright-core" ]]; then
  echo "[deps] npm ci in $page_test"
  (cd "$page_test" && npm ci --silent --no-audit --no-fund)
fi

echo "[deps] ready in $deps"
