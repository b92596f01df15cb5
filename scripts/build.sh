#!/usr/bin/env bash
# Release build of the library, the VST3 bundle, the console test host, the tests and the
# benchmarks into build/ (the same build directory and generator as scripts/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
echo "Built: build/liboxdsp.a, build/plugin/Quillfield_artefacts/Release/VST3/Quillfield.vst3, build/tools/qfhost"
