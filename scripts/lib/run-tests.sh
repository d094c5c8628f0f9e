#!/usr/bin/env bash
# Runs inside the test network namespace (see scripts/test): one Wine session for the whole run,
# made from the template prefix, with one persistent Wine server and one Xvfb display.
set -uo pipefail
source "$(dirname "$0")/wine.sh"
cd "$lumacut_root"

ip link set lo up 2>/dev/null || true

session="$lumacut_root/build/wine/run"
rm -rf "$session"
mkdir -p "$session"
wine_new_prefix "$session/prefix" || exit 1
display=$(wine_start_display) || exit 1
export WINEPREFIX="$session/prefix" DISPLAY="${display% *}" LUMACUT_WINE_SESSION="$session"
xvfb_pid=${display#* }

cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

wineserver -p >/dev/null 2>&1
wineboot >/dev/null 2>&1 || true

passed=0
failed=0
count() {  # reads ctest's summary line from a log
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -1)
  [ -n "$line" ] || { failed=$((failed + 1)); return; }
  local bad total
  bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

echo "== host tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ctest --test-dir build/host --output-on-failure -j 2 2>&1 | tee "$session/host.log"
count "$session/host.log"

echo "== fuzz targets (${FUZZ_SECONDS:-5} s each)"
for target in build/fuzz/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$session/corpus/$name"
  mkdir -p "$corpus"
  if "$target" -max_total_time="${FUZZ_SECONDS:-5}" -print_final_stats=0 "$corpus" \
       >"$session/$name.log" 2>&1; then
    echo "$name: ok ($(grep -oE '#[0-9]+' "$session/$name.log" | tail -1 | tr -d '#') runs in ${FUZZ_SECONDS:-5} s)"
    passed=$((passed + 1))
  else
    echo "$name: FAILED"
    tail -40 "$session/$name.log"
    failed=$((failed + 1))
  fi
done

echo "== win64 tests under Wine"
ctest --test-dir build/win64 --output-on-failure -j 2 2>&1 | tee "$session/win64.log"
count "$session/win64.log"

echo
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
