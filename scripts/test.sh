#!/usr/bin/env bash
# Installs, builds and runs every test. NX_SANITIZE=1 builds a second tree
# with AddressSanitizer and UndefinedBehaviorSanitizer instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${NX_SANITIZE:-0}" == 1 ]]; then
  build=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DNX_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300
