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
  # The station's own ports (502 needs root, as the set-up command runs).
  "$bin/nxsim" --address 127.0.0.1 --modbus-port 502 --text-port 10000 "$@" &
  sim_pid=$!
  trap '[[ -n $sim_pid ]] && kill $sim_pid 2>/dev/null || true' EXIT
  echo "Station stand-in on 127.0.0.1 (Modbus 502, text 10000)."
  echo "In NX-4410: type 127.0.0.1 in the IP box, then press Connect."
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
  # The loopback fence: NX-4410 and the firmware programs it starts reach
  # 127.0.0.1 only; a Connect to any other address fails as for an absent
  # station, and the fence names the address on standard error.
  LD_PRELOAD="$PWD/build/lib/libnxfence.so${LD_PRELOAD:+:$LD_PRELOAD}" "$bin/NX-4410"
else
  echo "Built: $(ls $bin | tr '\n' ' ')"
  [[ -n $sim_pid ]] && wait $sim_pid
fi
