// Buses, channel order, latency and tail; the decoder library run directly is the oracle.
#include "Bundle.h"
#include "TestSignals.h"
#include "ox_abdec.h"

namespace
{
using Set = juce::AudioChannelSet;

// The library's decoder set up as the plug-in's defaults (the first micspacing choice).
juce::AudioBuffer<float> decodeDirect(const juce::AudioBuffer<float>& input, double rate, int block)
{
    ox_abdec_setup setup;
    ox_abdec_config config;
    ox_abdec_defaultconfig(&setup, &config);
    setup.sample_rate = (float)rate;
    setup.block_size = block;
    setup.mic_spacing = ox_abdec_getmicspacinginfo(0).spacing_mm;
    ox_abdec_handle decoder = nullptr;
    EXPECT_EQ(ox_abdec_init(&decoder, &setup, &config), 0);
    juce::AudioBuffer<float> io(juce::jmax(setup.num_inputs, setup.num_outputs),
                                input.getNumSamples());
    io.clear();
    for (int c = 0; c < juce::jmin(setup.num_inputs, input.getNumChannels()); ++c)
        io.copyFrom(c, 0, input, c, 0, input.getNumSamples());
    juce::ScopedNoDenormals noDenormals; // as the plug-in processes
    for (int start = 0; start < io.getNumSamples(); start += block)
    {
        const int n = juce::jmin(block, io.getNumSamples() - start);
        float* channels[32];
        for (int c = 0; c < io.getNumChannels(); ++c) channels[c] = io.getWritePointer(c, start);
        ox_abdec_process_var(decoder, n, channels, channels);
    }
    ox_abdec_done(decoder);
    io.setSize(setup.num_outputs, io.getNumSamples(), true);
    return io;
}

// Each output carries the decoder's channel of its number to the bit, the rest silence; a host
// may activate the plug-in without setting any arrangement, so the defaults are not set.
bool routedInPlace(const Set& in, const Set& out)
{
    auto hosted = bundle::load(48000.0, 480, false);
    if (hosted == nullptr) return false;
    auto& p = hosted->plugin();
    const bool defaults =
        in == p.getChannelLayoutOfBus(true, 0) && out == p.getChannelLayoutOfBus(false, 0);
    if (!defaults && !hosted->setLayout(in, out)) return false;
    hosted->prepare(48000.0, 480);
    const auto input = qfhost::planeWaveAFormat(48000, 30.0f, 20.0f);
    auto io = hosted->ioBuffer(input);
    hosted->process(io, {480});
    const auto direct = decodeDirect(input, 48000.0, 480);
    for (int c = direct.getNumChannels(); c < out.size(); ++c)
        if (io.getMagnitude(c, 0, io.getNumSamples()) != 0.0f) return false;
    return bundle::sameBits(direct, io, juce::jmin(direct.getNumChannels(), out.size()));
}
} // namespace

TEST(BundleBuses, AcceptsNamedLayoutsUpToSixteenChannelsAndRefusesMore)
{
    auto hosted = bundle::load(48000.0, 480, false);
    ASSERT_NE(hosted, nullptr);
    auto& p = hosted->plugin();
    EXPECT_EQ(p.getChannelLayoutOfBus(true, 0), Set::quadraphonic());
    EXPECT_EQ(p.getChannelLayoutOfBus(false, 0), Set::ambisonic(3));
    for (const auto& out : {Set::mono(), Set::stereo(), Set::create5point1(), Set::create7point1(),
                            Set::create7point1point4(), Set::ambisonic(2), Set::ambisonic(3)})
        for (const auto& in : {Set::mono(), Set::stereo(), Set::quadraphonic(), Set::ambisonic(1),
                               Set::create5point1(), Set::ambisonic(3)})
            EXPECT_TRUE(hosted->setLayout(in, out))
                << in.getDescription() << " / " << out.getDescription();

    auto seventeen = Set::create7point1point6();
    for (auto type : {Set::bottomFrontLeft, Set::bottomFrontCentre, Set::bottomFrontRight})
        seventeen.addChannel(type);
    ASSERT_EQ(seventeen.size(), 17);
    EXPECT_FALSE(hosted->setLayout(Set::quadraphonic(), seventeen));
    EXPECT_FALSE(hosted->setLayout(seventeen, Set::stereo()));
    // Discrete sets cannot be asked for through VST3, whose hosts offer speaker arrangements (the
    // framework's host side even shifts by a negative amount converting one): see in-process.
}

TEST(BundleBuses, ChannelsKeepTheirPlacesThroughTheWrapper)
{
    EXPECT_TRUE(routedInPlace(Set::quadraphonic(), Set::ambisonic(3))); // no arrangement set
    for (const auto& out :
         {Set::stereo(), Set::create5point1(), Set::create7point1(), Set::create7point1point4()})
        EXPECT_TRUE(routedInPlace(Set::quadraphonic(), out)) << out.getDescription();
    EXPECT_TRUE(routedInPlace(Set::ambisonic(1), Set::create7point1()));
}

TEST(BundleBuses, LatencyIsTwoHopsOfSilenceAndTheTailIsAFifthOfASecond)
{
    for (const auto& [rate, latency] : {std::pair{48000.0, 960}, {44100.0, 882}, {96000.0, 1920}})
    {
        SCOPED_TRACE(rate);
        auto hosted = bundle::load(rate, 512);
        ASSERT_NE(hosted, nullptr);
        auto& p = hosted->plugin();
        EXPECT_EQ(p.getLatencySamples(), latency);
        EXPECT_NEAR(p.getTailLengthSeconds(), 0.2, 1e-6);

        juce::AudioBuffer<float> impulse(4, 3 * latency);
        impulse.clear();
        for (int c = 0; c < 4; ++c) impulse.setSample(c, 0, 1.0f);
        auto io = hosted->ioBuffer(impulse);
        hosted->process(io, {512});
        const auto peak = [&io](int from, int n) {
            float most = 0.0f;
            for (int c = 0; c < io.getNumChannels(); ++c)
                most = juce::jmax(most, io.getMagnitude(c, from, n));
            return most;
        };
        // The first hop is exactly silent; the second holds only the rounding noise of the
        // frame that holds the impulse, more than 120 dB down.
        EXPECT_EQ(peak(0, latency / 2), 0.0f);
        EXPECT_LT(peak(latency / 2, latency / 2), 1e-6f);
        EXPECT_GT(peak(latency, 2 * latency), 1e-3f);
    }
}

TEST(BundleBuses, OfflineRenderingHearsEveryFormatChangeAtItsBlock)
{
    // A bounce rendered twice is the same to the bit, although the format changes mid-way: the
    // rebuild is done before the next block instead of whenever a thread gets to it.
    const auto input = qfhost::planeWaveAFormat(48000, 120.0f, 0.0f);
    juce::AudioBuffer<float> bounces[2];
    for (auto& out : bounces)
    {
        auto hosted = bundle::load(48000.0, 480, false);
        ASSERT_NE(hosted, nullptr);
        hosted->plugin().setNonRealtime(true);
        hosted->prepare(48000.0, 480);
        out = hosted->ioBuffer(input);
        juce::AudioBuffer<float> first(out.getArrayOfWritePointers(), 16, 0, 24000);
        juce::AudioBuffer<float> second(out.getArrayOfWritePointers(), 16, 24000, 24000);
        hosted->process(first, {480});
        hosted->setParameterText("formatout", "5.1 (ITU/SMPTE)");
        hosted->process(second, {480});
    }
    EXPECT_TRUE(bundle::sameBits(bounces[0], bounces[1]));
    // 5.1 has six channels: the seventh and eighth of 7.1 fall silent with the change.
    EXPECT_GT(bounces[0].getMagnitude(6, 0, 24000), 0.0f);
    EXPECT_EQ(bounces[0].getMagnitude(6, 24000, 24000), 0.0f);
    EXPECT_GT(bounces[0].getMagnitude(4, 24000 + 960, 24000 - 960), 0.0f);
}
