#!/usr/bin/env bash
# Builds the VST3 bundle, installs it into ~/.vst3 and decodes a test signal through it with the
# project's console host: noise circling a tetrahedral microphone (A-format, LF RF LB RB) decoded
# to the default output layout, 7.1 (ITU/SMPTE). The per-channel levels show the sound move round
# the speakers; the WAV files stay in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"${JOBS:-$(nproc)}" --target Quillfield_VST3 qfhost_cli >/dev/null

mkdir -p ~/.vst3 build/demo
rm -rf ~/.vst3/Quillfield.vst3
cp -r build/plugin/Quillfield_artefacts/Release/VST3/Quillfield.vst3 ~/.vst3/
echo "Installed ~/.vst3/Quillfield.vst3"

host=build/tools/qfhost
"$host" circle build/demo/circling-aformat.wav 8 4
"$host" decode ~/.vst3/Quillfield.vst3 build/demo/circling-aformat.wav build/demo/circling-7.1.wav
echo "The source starts in front and turns towards the left, once every 4 seconds:"
"$host" levels build/demo/circling-7.1.wav 0.5 "L R C LFE Lss Rss Lsr Rsr"
echo "Wrote build/demo/circling-aformat.wav (input) and build/demo/circling-7.1.wav (decoded)"
