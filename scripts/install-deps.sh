#!/usr/bin/env bash
# Installs what building, testing and running the programs need on a fresh
# Debian 12 machine (run as root). Skips apt when everything is present.
set -euo pipefail
pkgs=(cmake make g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev googletest
      libbenchmark-dev xvfb xauth
      libmodbus-dev)  # libmodbus: only the round-trip benchmark's comparison uses it
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
