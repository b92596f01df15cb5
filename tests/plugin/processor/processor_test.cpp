#include "processor_fixture.h"

namespace
{
constexpr int stereoOut = 2;
}

TEST(Processor, BusesAndTailBeforePreparation)
{
    PluginProcessor fresh;
    EXPECT_EQ(fresh.getTailLengthSeconds(), 0.0);
    EXPECT_FALSE(fresh.hasDecoder());
    auto layout = fresh.getBusesLayout();
    auto accepts = [&](juce::AudioChannelSet in, juce::AudioChannelSet out) {
        layout.inputBuses.getReference(0) = in;
        layout.outputBuses.getReference(0) = out;
        return fresh.checkBusesLayoutSupported(layout);
    };
    using Set = juce::AudioChannelSet;
    EXPECT_TRUE(accepts(Set::ambisonic(1), Set::create7point1point4()));
    EXPECT_TRUE(accepts(Set::stereo(), Set::ambisonic(3)));
    EXPECT_FALSE(accepts(Set::ambisonic(1), Set::ambisonic(4))); // 25 channels
    EXPECT_FALSE(accepts(Set::discreteChannels(4), Set::stereo()));
}

TEST(Processor, BlockEdgeCases)
{
    ProcessorFixture f;
    juce::AudioBuffer<float> empty(16, 0);
    f.p.outputMeterSource.clearNewDataFlag();
    f.p.processBlock(empty, f.midi);
    EXPECT_TRUE(f.p.outputMeterSource.getNewDataFlag());

    // 7.1 has eight channels: the other eight of the ambisonic bus stay silent.
    auto out = f.run(4800, {480});
    EXPECT_GT(channelPeak(out, 0), 1e-3f);
    for (int ch = 8; ch < 16; ++ch) EXPECT_EQ(channelPeak(out, ch), 0.0f) << ch;

    // Blocks longer than prepared are processed in pieces, exactly as shorter ones.
    ProcessorFixture a, b;
    EXPECT_TRUE(identical(a.run(9600, {480}), b.run(9600, {1440, 7, 2000, 333}), 16));
}

TEST(Processor, MissingInputChannelsReadSilence)
{
    // A host with two inputs: the decoder's other two inputs must read silence, never the
    // previous block's output left in the scratch channels.
    const auto stereo = juce::AudioChannelSet::stereo();
    ProcessorFixture two(stereo, juce::AudioChannelSet::create7point1());
    ProcessorFixture four(juce::AudioChannelSet::quadraphonic(),
                          juce::AudioChannelSet::create7point1());
    for (auto* f : {&two, &four}) f->set("formatin", 3.0f); // AmbiX: W, Y, Z, X
    for (auto* f : {&two, &four}) f->p.waitForPendingWork();
    EXPECT_TRUE(identical(two.run(9600, {480}, 2), four.run(9600, {480}, 2), 8));
}

TEST(Listeners, ValueChangesAndRebuildsReachTheDecoder)
{
    ProcessorFixture f;
    const int builds = f.p.getBuildCount();
    f.set("rotation", 90.0f); // a value change updates the running decoder: no rebuild
    f.p.waitForPendingWork();
    EXPECT_EQ(f.p.getBuildCount(), builds);

    {
        // Several requests while the builder is busy merge into one build; blocks are silent
        // until it is in.
        auto pause = f.p.pauseBuilderForTesting();
        f.set("formatout", (float)stereoOut);
        f.set("micspacing", 3.0f);
        f.set("binaural", 1.0f);
        f.set("binaural", 0.0f);
        EXPECT_TRUE(f.p.isRebuildPending());
        EXPECT_FALSE(f.p.hasDecoder());
        auto out = f.run(480, {480});
        for (int ch = 0; ch < 16; ++ch) EXPECT_EQ(channelPeak(out, ch), 0.0f);
    }
    f.p.waitForPendingWork();
    EXPECT_EQ(f.p.getBuildCount(), builds + 1);
    EXPECT_EQ(f.p.getOutputFormat(), stereoOut - 1);
    EXPECT_EQ(f.p.micSpacing.load(), 3);
    auto out = f.run(4800, {480});
    EXPECT_GT(channelPeak(out, 1, 960), 1e-3f);
    EXPECT_EQ(channelPeak(out, 2), 0.0f); // stereo: two channels only
}

TEST(Listeners, ChangeMessagesForFormatsAndSwitches)
{
    struct Counter : juce::ChangeListener
    {
        int count = 0;
        void changeListenerCallback(juce::ChangeBroadcaster*) override { ++count; }
    } counter;
    ProcessorFixture f;
    f.p.addChangeListener(&counter);
    for (auto [id, value, messages] : {std::tuple{"xover_on", 1.0f, 1},
                                       {"formatin", 2.0f, 2},
                                       {"binaural", 1.0f, 2},
                                       {"rotation", 10.0f, 2}})
    {
        f.set(id, value);
        f.p.waitForPendingWork();
        f.p.dispatchPendingMessages();
        EXPECT_EQ(counter.count, messages) << id;
    }
    f.p.removeChangeListener(&counter);
}

TEST(Listeners, OfflineRenderingRebuildsBeforeTheBlock)
{
    // Offline, a change between two blocks is in effect from the next block on: two renders
    // with the same changes at the same places are bit-identical.
    auto render = [] {
        ProcessorFixture f;
        f.p.setNonRealtime(true);
        f.run(2400, {480});
        f.set("formatout", (float)stereoOut);
        f.set("rotation", 45.0f);
        auto second = f.run(4800, {480});
        EXPECT_FALSE(f.p.isRebuildPending());
        return second;
    };
    EXPECT_TRUE(identical(render(), render(), 16));
}

TEST(Listeners, FailedBuildLeavesNoDecoder)
{
    ProcessorFixture f(juce::AudioChannelSet::quadraphonic(), juce::AudioChannelSet::ambisonic(3),
                       8000.0);
    EXPECT_FALSE(f.p.hasDecoder());
    const int builds = f.p.getBuildCount();
    f.set("formatout", (float)stereoOut); // stored, not built until the next preparation
    f.p.waitForPendingWork();
    EXPECT_EQ(f.p.getBuildCount(), builds);
    EXPECT_EQ(f.p.getOutputFormat(), stereoOut - 1);
    f.p.requestChannelTest(); // dropped
    auto out = f.run(960, {480});
    for (int ch = 0; ch < 16; ++ch) EXPECT_TRUE(std::isfinite(channelPeak(out, ch)));
    f.prepare(48000.0, 480);
    EXPECT_TRUE(f.p.hasDecoder());
}
