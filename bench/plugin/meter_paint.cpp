// Painting the editor's compact meter (16 channels, as the output meter) into an image: the
// meters repaint at 30 Hz, so a paint must cost well under a millisecond.
#include <benchmark/benchmark.h>

#include <cmath>

#include <juce_gui_basics/juce_gui_basics.h>

#include "LevelMeter.h"
#include "TARVEKMeterLookAndFeel.h"

namespace
{
void paintCompactMeter(benchmark::State& state)
{
    const int width = (int)state.range(0), height = (int)state.range(1);
    TARVEKMeterLookAndFeel laf;
    meters::LevelMeterSource source;
    source.resize(16, 10);
    juce::AudioBuffer<float> block(16, 480);
    for (int c = 0; c < 16; ++c)
        for (int i = 0; i < block.getNumSamples(); ++i)
            block.setSample(c, i, 0.06f * (float)(c + 1) * std::sin(0.05f * (float)i));

    meters::LevelMeter meter(meters::LevelMeter::Horizontal | meters::LevelMeter::Compact);
    meter.setLookAndFeel(&laf);
    meter.setSize(width, height);
    meter.setMeterSource(&source);
    juce::Image image(juce::Image::ARGB, width, height, true);
    for (auto _ : state)
    {
        source.measureBlock(block);
        juce::Graphics g(image);
        meter.paint(g);
        benchmark::DoNotOptimize(image.getPixelAt(width / 2, height / 2));
    }
    meter.setLookAndFeel(nullptr);
}
BENCHMARK(paintCompactMeter)->Args({420, 100})->Args({100, 420})->Unit(benchmark::kMicrosecond);
} // namespace
