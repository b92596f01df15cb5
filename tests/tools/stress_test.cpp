// Audio, automation of every parameter, state and the editor on four threads: the sanitizers
// look for races, use after free and leaks; the test checks the audio that comes out.
#include "Bundle.h"
#include "Display.h"
#include "TestSignals.h"
#include "ox_abdec.h"

namespace
{
constexpr int maxBlock = 1024;
// The automation keeps to the output formats Mono to 7.1: channels 8 and up must stay silent.
constexpr int widestNarrowLayout = 8;

struct Findings
{
    std::atomic<int> blocks{0}, nonFinite{0}, soundAboveLayout{0};
};

void audioLoop(qfhost::HostedPlugin& hosted, const std::atomic<bool>& stop, Findings& found)
{
    juce::Random random(11);
    const auto noise = qfhost::planeWaveAFormat(maxBlock, 45.0f, 0.0f);
    juce::AudioBuffer<float> io(16, maxBlock);
    while (!stop.load())
    {
        const int n = 1 + random.nextInt(maxBlock);
        juce::AudioBuffer<float> block(io.getArrayOfWritePointers(), 16, 0, n);
        block.clear();
        for (int c = 0; c < 4; ++c) block.copyFrom(c, 0, noise, c, 0, n);
        hosted.process(block, {n});
        if (!bundle::allFinite(block)) ++found.nonFinite;
        for (int c = widestNarrowLayout; c < 16; ++c)
            if (block.getMagnitude(c, 0, n) != 0.0f) ++found.soundAboveLayout;
        ++found.blocks;
    }
}

void automationLoop(qfhost::HostedPlugin& hosted, const std::atomic<bool>& stop)
{
    juce::Random random(12);
    auto& params = hosted.plugin().getParameters();
    auto* formatout = hosted.parameter("formatout");
    while (!stop.load())
    {
        const int i = random.nextInt(juce::jmax(4, random.nextInt(35)));
        if (params[i] == formatout)
            formatout->setValueNotifyingHost((float)random.nextInt(5) / 29.0f);
        else
            params[i]->setValueNotifyingHost(random.nextFloat());
        if (random.nextInt(8) == 0)
            hosted.parameter("binaural")->setValueNotifyingHost(random.nextBool() ? 1.0f : 0.0f);
        juce::Thread::sleep(random.nextInt(3));
    }
}

void stateLoop(qfhost::HostedPlugin& hosted, const std::atomic<bool>& stop, std::atomic<int>& loads)
{
    juce::Random random(13);
    std::vector<juce::MemoryBlock> saved;
    while (!stop.load())
    {
        saved.push_back(hosted.saveState());
        hosted.loadState(saved[(size_t)random.nextInt((int)saved.size())]);
        ++loads;
        juce::Thread::sleep(5 + random.nextInt(20));
    }
}
} // namespace

TEST(BundleStress, ConcurrentAudioAutomationStateAndEditorKeepTheOutputClean)
{
    auto hosted = bundle::load(48000.0, maxBlock);
    ASSERT_NE(hosted, nullptr);
    const bool withEditor = qfhost::displayAvailable();
    if (!withEditor) std::cout << "[ NOTE     ] no display: the editor is not opened\n";

    std::atomic<bool> stop{false};
    std::atomic<int> loads{0};
    Findings found;
    std::thread audio([&] { audioLoop(*hosted, stop, found); });
    std::thread automation([&] { automationLoop(*hosted, stop); });
    std::atomic<bool> stateDone{false};
    std::thread state([&] {
        stateLoop(*hosted, stop, loads);
        stateDone = true;
    });

    int editorCycles = 0;
    auto* mm = juce::MessageManager::getInstance();
    const auto seconds = juce::SystemStats::getEnvironmentVariable("QF_STRESS_SECONDS", "3");
    for (const auto end = juce::Time::getMillisecondCounterHiRes() +
                          1000.0 * juce::jlimit(0.5, 600.0, seconds.getDoubleValue());
         juce::Time::getMillisecondCounterHiRes() < end;)
    {
        if (withEditor && hosted->openEditor()) ++editorCycles;
        mm->runDispatchLoopUntil(40);
        hosted->closeEditor();
        mm->runDispatchLoopUntil(10);
    }
    stop = true;
    audio.join();
    automation.join();
    // Saving and loading take the host's message-thread lock: keep the loop running until the
    // state thread is out.
    while (!stateDone.load()) mm->runDispatchLoopUntil(5);
    state.join();
    std::cout << "[ NOTE     ] " << found.blocks.load() << " blocks, " << loads.load()
              << " state loads, " << editorCycles << " editor cycles\n";
    EXPECT_GT(found.blocks.load(), 100);
    EXPECT_EQ(found.nonFinite.load(), 0);
    EXPECT_EQ(found.soundAboveLayout.load(), 0);

    // Once the last rebuild is in, channels from the decoder's output count of the formats in
    // effect (read from the plug-in's own state) up are silent.
    mm->runDispatchLoopUntil(300);
    auto xml = juce::parseXML(bundle::stateXml(*hosted));
    ASSERT_NE(xml, nullptr);
    const auto value = [&](const char* id) {
        return xml->getChildByAttribute("id", id)->getIntAttribute("value");
    };
    ox_abdec_formatinfo layout;
    ox_abdec_getformatinfo(&layout, value("formatout") - 1, 1);
    const int decoded = value("binaural") != 0 ? 2 : layout.num_channels;
    auto io = hosted->ioBuffer(qfhost::planeWaveAFormat(48000, 45.0f, 0.0f));
    hosted->process(io, {maxBlock});
    EXPECT_TRUE(bundle::allFinite(io));
    for (int c = decoded; c < 16; ++c)
        EXPECT_EQ(io.getMagnitude(c, 0, io.getNumSamples()), 0.0f) << c << " of " << decoded;
}
