#!/usr/bin/env bash
# Installs the Debian packages Pelto builds and tests with (only what is missing).
set -euo pipefail
packages=(build-essential cmake g++ libgtest-dev libgmock-dev googletest libbenchmark-dev
          libsdl2-dev pkg-config clang-format python3
          tnftp python3-pyftpdlib  # FTP client for uploads; FTP server for its tests
          libcpp-httplib-dev libsqlite3-dev libjs-chart.js  # pelto-server
          chromium chromium-driver python3-selenium  # its pages, tested in a browser
          libhwy-dev  # portable vectors with runtime dispatch for the tracker
          python3-matplotlib  # scripts/pelto-plot
          python3-cmaes python3-optuna)  # reference optimisers for scripts/optimise-benchmark.sh
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
fi
