#!/usr/bin/env bash
# Installs, builds, starts the station stand-in on loopback and NX-4410.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
bin=build/bin
sim_pid=""
if [[ -x $bin/nxsim ]]; then
  # Ports above 1024 so that no root rights are needed; NX-4410 is told the
  # same ports through NX4410_PORT_MODBUS / NX4410_PORT_TEXT.
  "$bin/nxsim" --address 127.0.0.1 --modbus-port 1502 --text-port 10000 &
  sim_pid=$!
  trap '[[ -n $sim_pid ]] && kill $sim_pid 2>/dev/null || true' EXIT
  export NX4410_PORT_MODBUS=1502 NX4410_PORT_TEXT=10000
fi
if [[ -x $bin/NX-4410 ]]; then
  if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display: starting NX-4410 under Xvfb (:99)."
    Xvfb :99 -screen 0 1280x1024x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    trap '[[ -n $sim_pid ]] && kill $sim_pid 2>/dev/null; kill $xvfb_pid 2>/dev/null || true' EXIT
    export DISPLAY=:99
    sleep 1
  fi
  "$bin/NX-4410"
else
  echo "Built: $(ls $bin | tr '\n' ' ')"
  [[ -n $sim_pid ]] && wait $sim_pid
fi
