#!/usr/bin/env bash
# Builds and runs every benchmark. The ratio benchmarks run each pinned to one processor core
# (taskset) and unpinned, the window ones offscreen and, where xvfb-run is
# present, under Xvfb; prints one table (median and interquartile range of
# each side, and the median of the per-repetition ratios).
#   BENCH_BUILD   build folder (default build-bench)
#   BENCH_CPU     core to pin to (default the last one)
#   BENCH_REPS    repetitions of the window clicks (default 40)
#   BENCH_STARTS  starts of each program in the start-up benchmark (default 20)
#   BENCH_TRIPS   round trips per client and run (default 4000)
#   BENCH_SKIP_INSTALL=1  skips scripts/install-deps.sh
# Then the benchmarks without a floor of their own (configuration file load,
# live monitor, station stand-in load, table refill, modflash upgrade) print
# their figures below the table.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ "${BENCH_SKIP_INSTALL:-0}" == 1 ]] || bash scripts/install-deps.sh
build=${BENCH_BUILD:-build-bench}
cpu=${BENCH_CPU:-$(($(nproc) - 1))}
reps=${BENCH_REPS:-40}
starts=${BENCH_STARTS:-20}
trips=${BENCH_TRIPS:-4000}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target link_roundtrip_bench nx4410_window_transfer_bench \
  nx4410_startup_bench config_load_bench nx4410_monitor_bench sim_load nx4410_tables_bench \
  modflash_upgrade_timing >/dev/null
bin=$build/bin
rows=$(mktemp)
trap 'rm -f "$rows"' EXIT

# run <label> <command...>: keeps the ROW lines, tagged with the label.
run() {
  local label=$1
  shift
  echo "running: $label: $*" >&2
  "$@" | tee /dev/stderr | grep '^ROW|' | sed "s/^ROW|/ROW|$label|/" >>"$rows"
}

for pin in pinned unpinned; do
  pre=()
  [[ $pin == pinned ]] && pre=(taskset -c "$cpu")
  run "$pin" "${pre[@]}" "$bin/link_roundtrip_bench" "$trips"
  run "$pin" env QT_QPA_PLATFORM=offscreen "${pre[@]}" "$bin/nx4410_window_transfer_bench" "$reps"
  run "$pin" env QT_QPA_PLATFORM=offscreen "${pre[@]}" "$bin/nx4410_startup_bench" "$starts"
  if command -v xvfb-run >/dev/null; then
    # Pinned, the X server shares the core with the program.
    run "$pin" "${pre[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb \
      "$bin/nx4410_window_transfer_bench" "$reps"
    run "$pin" "${pre[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb \
      "$bin/nx4410_startup_bench" "$starts"
  else
    echo "xvfb-run not found: the Xvfb rows are skipped" >&2
  fi
done

echo
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) threads;" \
  "pinned runs on core $cpu"
echo
echo "| benchmark | core | contender | median [p25-p75] | floor | median [p25-p75] | ratio median [p25-p75] | unit | note |"
echo "|---|---|---|---|---|---|---|---|---|"
awk -F'|' '{
  printf "| %s | %s | %s | %s [%s-%s] | %s | %s [%s-%s] | %s [%s-%s] | %s | %s |\n",
    $3, $2, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $4, $16 }' "$rows"

echo
echo "## Benchmarks without a floor"
others=(
  "$bin/config_load_bench"
  "xvfb-run -a -s '-screen 0 1280x1024x24' env QT_QPA_PLATFORM=xcb $bin/nx4410_monitor_bench 20"
  "$bin/sim_load"
  "env QT_QPA_PLATFORM=offscreen $bin/nx4410_tables_bench"
  "env QT_QPA_PLATFORM=offscreen $build/bench/modflash_upgrade_timing"
)
for cmd in "${others[@]}"; do
  command -v xvfb-run >/dev/null || [[ $cmd != xvfb-run* ]] || continue
  echo
  echo "### $cmd"
  bash -c "$cmd" 2>&1
done
