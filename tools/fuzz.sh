#!/usr/bin/env bash
# Runs the libFuzzer targets of the native configuration (fuzz/), each from the seeds our own
# generators write and from the corpus it gathered in earlier runs (kept in the build folder), with
# tests/corpus/ as further seeds.
#   tools/fuzz.sh [--built] [seconds] [target ...]
#     --built  the native tree is built already (tools/test.sh builds it once per run)
#     seconds  per target; default 60, as tools/test.sh runs it. A long run: tools/fuzz.sh 3600
#     target   wave_scan, picture, path, pak (default: every target that is built)
# Any finding (crash, hang, leak, sanitizer report) fails the run; the input is kept in
# build-native/fuzz/findings/. Two targets run at once, one per core of a CI machine.
#   SONOLOOK_NATIVE_BUILD=dir   the native build folder (default: as tools/build-folders.sh names it)
#   SONOLOOK_FUZZ_RUNS=n        stop each target after n executions instead of after the time
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/build-folders.sh"

built=false
if [ "${1:-}" = --built ]; then
  built=true
  shift
fi
seconds=${1:-60}
[ $# -gt 0 ] && shift
if [ "$seconds" = 0 ]; then
  exit 0
fi

build=${SONOLOOK_NATIVE_BUILD:-$(build_folder native)}
build=${build%/}
if [ "$built" = false ]; then
  configure_build native "$build"
  cmake --build "$build" -j"$(nproc)" >/dev/null
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for program in "$build"/bin/fuzz_*; do
    name=${program##*/fuzz_}
    [ "$name" = seeds ] || targets+=("$name")
  done
fi

work=$build/fuzz
mkdir -p "$work/findings" "$work/logs"
"$build/bin/fuzz_seeds" "$work/seeds"

run_one() {
  local target=$1
  local corpus=$work/corpus/$target
  mkdir -p "$corpus"
  local seeds=("$work/seeds/$target")
  [ -d "$root/tests/corpus/$target" ] && seeds+=("$root/tests/corpus/$target")
  local limit=(-max_total_time="$seconds")
  [ -n "${SONOLOOK_FUZZ_RUNS:-}" ] && limit=(-runs="$SONOLOOK_FUZZ_RUNS")
  # -timeout: one input taking 10 s is a hang. -rss_limit_mb: a request for gigabytes is a finding.
  "$build/bin/fuzz_$target" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/findings/$target-" "$corpus" "${seeds[@]}" >"$work/logs/$target.log" 2>&1
}

summary() {
  local log=$work/logs/$1.log
  local last runs rate
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 | sed -E 's/^#([0-9]+)[[:space:]]+[A-Z]+[[:space:]]+//')
  runs=$(sed -nE 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -nE 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "fuzz $1: ${runs:-?} executions, ${rate:-?} execs/s; ${last:-no coverage line}"
}

status=0
index=0
while [ $index -lt ${#targets[@]} ]; do
  pids=()
  batch=("${targets[@]:index:2}")
  for target in "${batch[@]}"; do
    run_one "$target" &
    pids+=($!)
  done
  for i in "${!batch[@]}"; do
    if wait "${pids[$i]}"; then
      summary "${batch[$i]}"
    else
      status=1
      echo "fuzz ${batch[$i]}: FINDING (input in $work/findings/)" >&2
      grep -E -A40 '^==[0-9]+==ERROR|runtime error|ALARM|out-of-memory|deadly signal' "$work/logs/${batch[$i]}.log" | head -60 >&2
    fi
  done
  index=$((index + 2))
done
exit $status
