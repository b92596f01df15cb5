#!/usr/bin/env bash
# Installs every Debian 12 package the build, tests and benchmarks need.
# Run as root; safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
# juce-modules-source brings the framework's modules, its CMake support and, as its own
# dependencies, the X11, FreeType and ALSA development files. xvfb and xauth give the
# editor tests a display; fonts-dejavu-core holds the typeface the editor is drawn with. patch
# applies the project's fix to the framework's VST3 wrapper at configure time.
$SUDO apt-get install -y -qq --no-install-recommends \
    build-essential patch cmake ninja-build pkg-config \
    libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev \
    juce-modules-source xvfb xauth fonts-dejavu-core >/dev/null
