// The processor's own cost over the decoder's: processBlock (copies, clears, both meters)
// against ox_abdec_process_var alone for A-format to 7.1 at 48 kHz in 480-sample blocks, and
// one meter measurement of 16 channels of 480 samples.
#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "PluginProcessor.h"

#include <random>
#include <vector>

namespace
{
constexpr int blockLength = 480;

juce::AudioBuffer<float> noise(int channels)
{
    juce::AudioBuffer<float> b(channels, blockLength);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    for (int ch = 0; ch < channels; ++ch)
        for (int i = 0; i < blockLength; ++i) b.setSample(ch, i, d(rng));
    return b;
}

void DecoderAlone(benchmark::State& state)
{
    ox_abdec_setup setup;
    ox_abdec_config config;
    ox_abdec_defaultconfig(&setup, &config); // A-format in, 7.1 out, 48 kHz, 480
    setup.mic_spacing = ox_abdec_getmicspacinginfo(0).spacing_mm; // as the plug-in by default
    ox_abdec_handle h = nullptr;
    if (ox_abdec_init(&h, &setup, &config) != 0) state.SkipWithError("decoder build failed");
    const auto source = noise(4);
    juce::AudioBuffer<float> in(4, blockLength), out(setup.num_outputs, blockLength);
    for (auto _ : state)
    {
        in.makeCopyOf(source, true);
        ox_abdec_process_var(h, blockLength, in.getArrayOfReadPointers(),
                             out.getArrayOfWritePointers());
        benchmark::DoNotOptimize(out.getReadPointer(0));
    }
    ox_abdec_done(h);
}
BENCHMARK(DecoderAlone)->Unit(benchmark::kMicrosecond);

void ProcessBlock(benchmark::State& state)
{
    PluginProcessor p; // quadraphonic in, 16 ambisonic channels out, 7.1 decoded
    p.setRateAndBufferSizeDetails(48000.0, blockLength);
    p.prepareToPlay(48000.0, blockLength);
    const auto source = noise(4);
    juce::AudioBuffer<float> buffer(16, blockLength);
    juce::MidiBuffer midi;
    for (auto _ : state)
    {
        for (int ch = 0; ch < 4; ++ch) buffer.copyFrom(ch, 0, source, ch, 0, blockLength);
        p.processBlock(buffer, midi);
        benchmark::DoNotOptimize(buffer.getReadPointer(0));
    }
}
BENCHMARK(ProcessBlock)->Unit(benchmark::kMicrosecond);

void MeasureBlock16x480(benchmark::State& state)
{
    meters::LevelMeterSource source;
    source.resize(16, 10);
    const auto block = noise(16);
    for (auto _ : state) source.measureBlock(block);
}
BENCHMARK(MeasureBlock16x480)->Unit(benchmark::kMicrosecond);
} // namespace
