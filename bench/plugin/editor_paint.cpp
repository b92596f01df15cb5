// Cost of drawing the editor in the framework's software renderer: a full repaint of the
// 1175 x 655 window with the beam display showing 20 beams (3rd-order ambisonic output) and both
// meters, and what an idle window costs per second: the meters' areas redrawn 30 times, the
// undo timer twice.
#include <benchmark/benchmark.h>
#include <chrono>
#include <juce_gui_basics/juce_gui_basics.h>

#include "PluginEditor.h"
#include "PluginProcessor.h"

namespace
{
constexpr int thirdOrderAmbisonicOutput = 24; // formatout value of the 20-speaker layout

// Made on first use and released with the framework, before it shuts down.
struct EditorOnDecoder : juce::DeletedAtShutdown
{
    PluginProcessor processor;
    std::unique_ptr<PluginEditor> editor;
    int numBeams = 0;
    juce::Image image{juce::Image::ARGB, PluginEditor::editorWidth, PluginEditor::editorHeight,
                      true, juce::SoftwareImageType()};

    EditorOnDecoder()
    {
        auto* format = processor.parameters.getParameter("formatout");
        format->setValueNotifyingHost(format->convertTo0to1((float)thirdOrderAmbisonicOutput));
        processor.prepareToPlay(48000.0, 480);
        processor.waitForPendingWork();
        editor = std::make_unique<PluginEditor>(processor, processor.parameters);
        // The display takes new beams on its own timer; hand them over at once instead.
        processor.updateBeamDisplay();
        auto beams = std::make_unique<PluginProcessor::BeamData>();
        processor.copyBeamData(*beams);
        for (auto* child : editor->getChildren())
            if (auto* display = dynamic_cast<BeamDisplay*>(child)) display->setBeamData(*beams);
        numBeams = beams->numBeams;
        feedMeters();
    }

    ~EditorOnDecoder() { processor.releaseResources(); }

    // Some signal on every input and output channel, so the meters have bars to draw.
    void feedMeters()
    {
        juce::AudioBuffer<float> block(16, 480);
        for (int ch = 0; ch < block.getNumChannels(); ++ch)
            for (int i = 0; i < block.getNumSamples(); ++i)
                block.setSample(ch, i, 0.5f * std::sin(0.05f * (float)(i * (ch + 1))));
        processor.outputMeterSource.measureBlock(block);
        block.setSize(processor.inputMeterSource.getNumChannels(), 480, true);
        processor.inputMeterSource.measureBlock(block);
    }

    juce::Rectangle<int> meterArea(int index) const
    {
        for (auto* child : editor->getChildren())
            if (dynamic_cast<meters::LevelMeter*>(child) != nullptr && index-- == 0)
                return child->getBounds();
        return {};
    }
};

EditorOnDecoder& fixture()
{
    static EditorOnDecoder* shared = new EditorOnDecoder();
    return *shared;
}

void BM_FullRepaint(benchmark::State& state)
{
    auto& f = fixture();
    for (auto _ : state)
    {
        juce::Graphics g(f.image);
        f.editor->paintEntireComponent(g, true);
        benchmark::DoNotOptimize(f.image.getPixelAt(500, 400));
    }
    state.counters["beams"] = f.numBeams;
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond);

// One meter frame: what the window redraws when both meters repaint (the background below
// them included), with new levels each time.
void BM_MeterFrame(benchmark::State& state)
{
    auto& f = fixture();
    const auto input = f.meterArea(0), output = f.meterArea(1);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
    {
        f.feedMeters();
        for (auto area : {input, output})
        {
            juce::Graphics g(f.image);
            g.reduceClipRegion(area);
            f.editor->paintEntireComponent(g, true);
        }
        benchmark::DoNotOptimize(f.image.getPixelAt(1120, 300));
    }
    // Idle cost in per cent of one core: 30 meter frames a second.
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.counters["idle_percent_of_core"] =
        100.0 * 30.0 * elapsed.count() / (double)state.iterations();
}
BENCHMARK(BM_MeterFrame)->Unit(benchmark::kMicrosecond);

void BM_UndoTimerTick(benchmark::State& state)
{
    auto& f = fixture();
    for (auto _ : state) f.editor->timerCallback();
}
BENCHMARK(BM_UndoTimerTick)->Unit(benchmark::kMicrosecond);
} // namespace
