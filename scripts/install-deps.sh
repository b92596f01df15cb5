#!/usr/bin/env bash
# Installs every Debian 12 package the build, tests and benchmarks need.
# Run as root; safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
    build-essential cmake pkg-config \
    libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev >/dev/null
