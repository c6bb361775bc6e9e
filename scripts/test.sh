#!/usr/bin/env bash
# The whole test suite on a fresh machine: installs the dependencies, builds every configuration
# (native, AddressSanitizer+UBSan, ThreadSanitizer, Windows) and runs their tests, the Windows
# ones under Wine. Ends with one summary line; exits non-zero on any failure.
#   KESU_PRESETS="linux windows" bash scripts/test.sh   runs a subset
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

presets=(${KESU_PRESETS:-linux linux-asan linux-tsan windows})
export CCACHE_SLOPPINESS="pch_defines,time_macros,include_file_mtime,include_file_ctime"
# CI builds in a fresh clone each time: hash paths relative to the checkout so the cache hits.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"

start=$(date +%s)
bash scripts/install-deps.sh || { echo "kesu: 0 passed, 1 failed"; exit 1; }

passed=0 failed=0
report=()
for preset in "${presets[@]}"; do
  echo "==== $preset: configure and build"
  if ! { cmake --preset "$preset" >"build-$preset.log" 2>&1 && cmake --build --preset "$preset" >>"build-$preset.log" 2>&1; }; then
    tail -n 60 "build-$preset.log"
    report+=("$preset: build failed")
    failed=$((failed + 1))
    continue
  fi
  rm -f "build-$preset.log"
  echo "==== $preset: test"
  runner=() extra=()
  case "$preset" in
    windows) runner=(bash scripts/with-wine.sh) ;;
    linux)
      # Real capture through PulseAudio's virtual microphones; a daemon that cannot start fails
      # those tests instead of skipping them.
      export KESU_REQUIRE_PULSE=1
      (source scripts/pulse-vmic.sh start >/dev/null && env | grep -E '^(HOME|XDG_RUNTIME_DIR|KESU_PULSE_READY)=' >"$root/build/pulse.env") || true
      runner=(env $(cat "$root/build/pulse.env" 2>/dev/null))
      ;;
    *) extra=(-LE audio) ;;
  esac
  out="$(mktemp)"
  "${runner[@]}" ctest --preset "$preset" "${extra[@]}" 2>&1 | tee "$out" | grep -vE '^ +Start |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed'
  [[ "$preset" == linux ]] && bash scripts/pulse-vmic.sh stop
  summary="$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$out" | tail -n1)"
  if [[ -z "$summary" ]]; then
    report+=("$preset: ctest did not finish")
    failed=$((failed + 1))
  else
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
    report+=("$preset: $((total - bad)) of $total passed")
  fi
  rm -f "$out"
done

echo "==== summary ($(($(date +%s) - start)) s)"
printf '  %s\n' "${report[@]}"
echo "kesu: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
