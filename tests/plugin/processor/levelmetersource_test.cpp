// The meter source on a clock the tests step by hand: peak and RMS of a sine, clip above full
// scale, the peak hold and its drop, the idle decay, and readers while the host prepares.
#include "LevelMeterSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

namespace
{
juce::int64 fakeNow = 1000000;

struct MeterSourceTest : ::testing::Test
{
    meters::LevelMeterSource source{[] { return fakeNow; }};
    juce::AudioBuffer<float> block{2, 480};

    MeterSourceTest() { source.resize(2, 10); }

    // One block of a sine on channel 0, silence on channel 1.
    void measure(float amplitude, juce::int64 advanceMs = 10)
    {
        fakeNow += advanceMs;
        for (int i = 0; i < block.getNumSamples(); ++i)
            block.setSample(0, i, amplitude * (float)std::sin(2.0 * M_PI * i / 48.0));
        block.clear(1, 0, block.getNumSamples());
        source.measureBlock(block);
    }
};
} // namespace

TEST_F(MeterSourceTest, SinePeakAndRmsAndChannelsOutsideTheSource)
{
    for (int i = 0; i < 10; ++i) measure(0.5f);
    EXPECT_NEAR(source.getPeakLevel(0), 0.5f, 1e-6f);
    EXPECT_NEAR(source.getAverageRms(0), 0.5f / std::sqrt(2.0f), 1e-4f);
    EXPECT_EQ(source.getAverageRms(1), 0.0f);
    source.resize(2, 0); // no ring (blocks longer than 100 ms): the last block alone
    measure(0.25f);
    EXPECT_NEAR(source.getAverageRms(0), 0.25f / std::sqrt(2.0f), 1e-4f);
    // Only the source's own channels are measured; others read neutral.
    juce::AudioBuffer<float> wide(16, 480);
    wide.clear();
    wide.setSample(15, 0, 2.0f);
    source.measureBlock(wide);
    for (int ch : {-1, 2, 15})
        EXPECT_TRUE(source.getPeakLevel(ch) == 0.0f && source.getAverageRms(ch) == 0.0f &&
                    !source.getClipFlag(ch) && source.getReductionLevel(ch) == 1.0f);
    EXPECT_THROW(source.resize(-1, 10), std::length_error);
    EXPECT_EQ(source.getNumChannels(), 2);
}

TEST_F(MeterSourceTest, ClipHoldAndClickReset)
{
    measure(1.0f);
    EXPECT_FALSE(source.getClipFlag(0));
    measure(1.0001f);
    EXPECT_TRUE(source.getClipFlag(0));
    EXPECT_FLOAT_EQ(source.getPeakLevel(0), 1.0f); // the held peak never exceeds full scale
    EXPECT_FLOAT_EQ(source.getMaxLevel(0), 1.0001f);
    measure(0.2f, 400); // within the 500 ms hold
    EXPECT_FLOAT_EQ(source.getPeakLevel(0), 1.0f);
    measure(0.2f, 101); // hold over: straight to the new block's peak
    EXPECT_NEAR(source.getPeakLevel(0), 0.2f, 1e-6f);
    source.resetMaxLevelsAndClipFlags();
    EXPECT_FALSE(source.getClipFlag(0));
    EXPECT_EQ(source.getMaxLevel(0), -100.0f);
    block.setSample(0, 7, std::numeric_limits<float>::quiet_NaN());
    source.measureBlock(block); // a NaN reads as an overload
    EXPECT_TRUE(source.getClipFlag(0) && std::isfinite(source.getAverageRms(0)));
}

TEST_F(MeterSourceTest, IdleDecayStepsAtMostEvery100ms)
{
    for (int i = 0; i < 10; ++i) measure(0.5f);
    source.resetMaxLevelsAndClipFlags();
    source.clearNewDataFlag();
    fakeNow += 99;
    source.decayIfIdle(); // audio still counts as running
    EXPECT_FALSE(source.getNewDataFlag());
    for (int step = 1; step <= 10; ++step)
    {
        fakeNow += 100;
        source.decayIfIdle();
        source.decayIfIdle(); // a second call in the same instant changes nothing
        EXPECT_EQ(source.getAverageRms(0) == 0.0f, step == 10) << step;
    }
    EXPECT_TRUE(source.getNewDataFlag());
    EXPECT_TRUE(source.getPeakLevel(0) == 0.0f && source.getMaxLevel(0) == 0.0f);
}

TEST_F(MeterSourceTest, MetersMayReadWhileTheHostPreparesAgain)
{
    std::atomic<bool> stop{false};
    std::thread display([&] {
        while (!stop) source.getAverageRms(0);
    });
    for (int i = 0; i < 2000; ++i) source.resize(2, (i * 37) % 3000);
    stop = true;
    display.join();
    EXPECT_EQ(source.getAverageRms(0), 0.0f);
}
