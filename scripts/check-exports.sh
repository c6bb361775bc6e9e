#!/usr/bin/env bash
# Usage: check-exports.sh LIBRARY HEADER
# Compares the functions a built core library exports with the kesu_* functions its public
# header declares and with the header's KESU_CORE_EXPORTS list, which hosts bind from. Works for
# the Linux .so and the Windows .dll.
set -euo pipefail
lib="$1" header="$2"

declared="$(grep -oE 'KESU_CALL \*?kesu_[a-z0-9_]+\(' "$header" | grep -oE 'kesu_[a-z0-9_]+' | sort)"
listed="$(grep -oE '^ *X\(kesu_[a-z0-9_]+\)' "$header" | grep -oE 'kesu_[a-z0-9_]+' | sort)"
if [[ "$declared" != "$listed" ]]; then
  echo "KESU_CORE_EXPORTS in $header differs from its declarations:"
  diff <(echo "$declared") <(echo "$listed") || true
  exit 1
fi
case "$lib" in
  *.dll)
    exported="$(x86_64-w64-mingw32-objdump -p "$lib" |
      awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^\t\[ *[0-9]+\]/ {print $NF; next} t && !/^\t/ {t=0}' |
      sort)"
    ;;
  *)
    exported="$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVviu]$/ {print $3}' | sort)"
    ;;
esac

if [[ "$declared" != "$exported" ]]; then
  echo "exports of $lib differ from $header:"
  diff <(echo "$declared") <(echo "$exported") || true
  exit 1
fi
echo "$(echo "$exported" | wc -l) exports match the header"
