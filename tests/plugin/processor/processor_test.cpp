// The processor driven as a host drives it; the bundle's tests check it from the host's side.
#include "PluginProcessor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace
{
using Set = juce::AudioChannelSet;
constexpr int stereoOut = 2;

// Deterministic noise on the host's input channels, silence on the others.
void fill(juce::AudioBuffer<float>& b, int inputs, juce::Random& random)
{
    b.clear();
    for (int ch = 0; ch < inputs; ++ch)
        for (int i = 0; i < b.getNumSamples(); ++i) b.setSample(ch, i, random.nextFloat() - 0.5f);
}

struct ProcessorFixture
{
    PluginProcessor p;
    juce::MidiBuffer midi;

    explicit ProcessorFixture(Set in = Set::quadraphonic(), Set out = Set::ambisonic(3),
                              double rate = 48000.0)
    {
        auto layout = p.getBusesLayout();
        layout.getChannelSet(true, 0) = in;
        layout.getChannelSet(false, 0) = out;
        EXPECT_TRUE(p.setBusesLayout(layout));
        prepare(rate, 480);
    }
    void prepare(double rate, int block)
    {
        p.setRateAndBufferSizeDetails(rate, block);
        p.prepareToPlay(rate, block);
    }
    void set(const char* id, float plainValue)
    {
        auto* param = p.parameters.getParameter(id);
        param->setValueNotifyingHost(param->convertTo0to1(plainValue));
    }
    float value(const char* id) { return p.parameters.getRawParameterValue(id)->load(); }
    void load(const juce::MemoryBlock& b) { p.setStateInformation(b.getData(), (int)b.getSize()); }

    // Runs totalSamples of noise in place through blocks of the given lengths (cycled).
    juce::AudioBuffer<float> run(int totalSamples, std::initializer_list<int> blockLengths = {480},
                                 int inputs = 4)
    {
        juce::AudioBuffer<float> io(
            juce::jmax(p.getTotalNumInputChannels(), p.getTotalNumOutputChannels()), totalSamples);
        juce::Random random(1);
        fill(io, inputs, random);
        auto length = blockLengths.begin();
        for (int start = 0, n = 0; start < totalSamples; start += n)
        {
            n = juce::jmin(*length, totalSamples - start);
            juce::AudioBuffer<float> block(io.getArrayOfWritePointers(), io.getNumChannels(), start,
                                           n);
            p.processBlock(block, midi);
            if (++length == blockLengths.end()) length = blockLengths.begin();
        }
        return io;
    }
};

bool identical(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int channels)
{
    for (int ch = 0; ch < channels; ++ch)
        if (!std::equal(a.getReadPointer(ch), a.getReadPointer(ch) + a.getNumSamples(),
                        b.getReadPointer(ch)))
            return false;
    return true;
}

float channelPeak(const juce::AudioBuffer<float>& b, int ch, int from = 0)
{
    return b.getMagnitude(ch, from, b.getNumSamples() - from);
}

// A state block as the plug-in writes it: tag, length of the XML, the XML, a zero byte.
juce::MemoryBlock blockOf(const juce::String& children, const juce::String& root = "Quillfield",
                          const juce::String& prolog = "<?xml version=\"1.0\"?>")
{
    const auto xml = prolog + "<" + root + ">" + children + "</" + root + ">";
    juce::MemoryBlock block;
    juce::MemoryOutputStream out(block, false);
    out.write("VC2!", 4);
    out.writeInt((int)xml.getNumBytesAsUTF8());
    out << xml;
    out.writeByte(0);
    return block;
}

juce::String param(const char* id, const char* value)
{
    return juce::String("<PARAM id=\"") + id + "\" value=\"" + value + "\"/>";
}
} // namespace

TEST(Processor, BusesAndTailBeforePreparationAndNoDecoderAfterAFailedBuild)
{
    PluginProcessor fresh;
    EXPECT_EQ(fresh.getTailLengthSeconds(), 0.0);
    EXPECT_FALSE(fresh.hasDecoder());
    auto layout = fresh.getBusesLayout();
    // Named layouts are swept through the bundle; a host there cannot offer discrete ones.
    layout.inputBuses.getReference(0) = Set::discreteChannels(4);
    EXPECT_FALSE(fresh.checkBusesLayoutSupported(layout));
    EXPECT_FLOAT_EQ(fresh.parameters.getParameter("front_gain")->getValueForText("nan"),
                    2.0f / 3.0f); // 0 dB
    // A rate the decoder refuses leaves none; formats are stored until the next preparation.
    ProcessorFixture f(Set::quadraphonic(), Set::ambisonic(3), 8000.0);
    EXPECT_FALSE(f.p.hasDecoder());
    const int builds = f.p.getBuildCount();
    f.set("formatout", (float)stereoOut);
    f.p.waitForPendingWork();
    EXPECT_EQ(f.p.getBuildCount(), builds);
    EXPECT_EQ(f.p.getOutputFormat(), stereoOut - 1);
    f.p.requestChannelTest(); // dropped
    auto out = f.run(960);
    for (int ch = 0; ch < 16; ++ch) EXPECT_TRUE(std::isfinite(channelPeak(out, ch)));
    f.prepare(48000.0, 480);
    EXPECT_TRUE(f.p.hasDecoder());
}

// The input meter reads the host's inputs, with or without a running decoder. A pending rebuild is
// silent; a failed build passes the first min(inputs, outputs) channels of the set-up it
// failed with through unchanged (none on a first preparation that failed) and clears the rest.
TEST(Processor, TheInputMeterReadsTheInputAndAFailedBuildPassesItThrough)
{
    // Noise on the four inputs, and on every other channel what a host may leave there.
    auto check = [](ProcessorFixture& f, int passed, const char* what) {
        SCOPED_TRACE(what);
        juce::Random random(7);
        juce::AudioBuffer<float> block(16, 480);
        for (int b = 0; b < 3; ++b)
        {
            fill(block, 16, random);
            const juce::AudioBuffer<float> in(block);
            f.p.inputMeterSource.resetMaxLevelsAndClipFlags();
            f.p.processBlock(block, f.midi);
            for (int ch = 0; ch < 4; ++ch)
                EXPECT_EQ(f.p.inputMeterSource.getMaxLevel(ch), channelPeak(in, ch)) << ch;
            for (int ch = 0; ch < 16; ++ch)
                if (ch < passed)
                    EXPECT_TRUE(std::equal(in.getReadPointer(ch), in.getReadPointer(ch) + 480,
                                           block.getReadPointer(ch)))
                        << ch;
                else
                    EXPECT_EQ(channelPeak(block, ch), 0.0f) << ch;
        }
    };
    ProcessorFixture decoding;
    {
        auto pause = decoding.p.pauseBuilderForTesting();
        decoding.set("formatout", 1.0f);
        check(decoding, 0, "rebuild pending");
    }
    decoding.p.waitForPendingWork(); // mono: four inputs, one output
    decoding.prepare(8000.0, 480);   // a rate the decoder refuses
    ASSERT_FALSE(decoding.p.hasDecoder());
    check(decoding, 1, "failed after a mono build");
    decoding.set("formatout", 5.0f); // stored, not built: still the failed set-up's channels
    decoding.p.waitForPendingWork();
    check(decoding, 1, "format changed after the failure");
    decoding.prepare(48000.0, 480);
    const int latency = decoding.p.getLatencySamples();
    EXPECT_GT(latency, 0);
    decoding.prepare(8000.0, 480);
    check(decoding, 4, "failed after a 7.1 build");
    // What passes through is not delayed: the host compensates no latency for it.
    EXPECT_EQ(decoding.p.getLatencySamples(), 0);
    EXPECT_EQ(decoding.p.getTailLengthSeconds(), 0.0);
    decoding.prepare(48000.0, 480);
    EXPECT_EQ(decoding.p.getLatencySamples(), latency);
    ProcessorFixture neverBuilt(Set::quadraphonic(), Set::ambisonic(3), 8000.0);
    check(neverBuilt, 0, "failed first preparation");

    // Decoding FuMa on a host of two inputs, the meter's Y and Z read nothing, not what the
    // host left in those (output) channels.
    ProcessorFixture two(Set::stereo(), Set::create7point1());
    two.set("formatin", 2.0f);
    two.p.waitForPendingWork();
    juce::AudioBuffer<float> block(8, 480);
    juce::Random random(9);
    fill(block, 8, random);
    two.p.inputMeterSource.resetMaxLevelsAndClipFlags();
    two.p.processBlock(block, two.midi);
    EXPECT_GT(two.p.inputMeterSource.getMaxLevel(1), 0.4f);
    EXPECT_EQ(two.p.inputMeterSource.getMaxLevel(2), 0.0f);
    EXPECT_EQ(two.p.inputMeterSource.getMaxLevel(3), 0.0f);
}

TEST(Processor, BlockEdgeCasesAndMissingInputChannels)
{
    ProcessorFixture f;
    juce::AudioBuffer<float> empty(16, 0);
    f.p.outputMeterSource.clearNewDataFlag();
    f.p.processBlock(empty, f.midi);
    EXPECT_TRUE(f.p.outputMeterSource.getNewDataFlag());
    // 7.1 has eight channels: the other eight of the ambisonic bus stay silent.
    auto out = f.run(4800);
    EXPECT_GT(channelPeak(out, 0), 1e-3f);
    for (int ch = 8; ch < 16; ++ch) EXPECT_EQ(channelPeak(out, ch), 0.0f) << ch;
    // Whatever the host's block lengths, the output is the same to the bit: blocks longer than
    // prepared are processed in pieces, shorter ones as they come.
    ProcessorFixture a, b;
    EXPECT_TRUE(identical(a.run(9600), b.run(9600, {1440, 7, 2000, 1, 17, 333}), 16));
    // A host with two inputs: FuMa's Y and Z must read silence, not the last block's C and LFE
    // left in the scratch channels (AmbiX's Z and X would hide them: no height, a silent LFE).
    ProcessorFixture two(Set::stereo(), Set::create7point1());
    ProcessorFixture four(Set::quadraphonic(), Set::create7point1());
    for (auto* host : {&two, &four})
        host->set("formatin", 2.0f), host->p.waitForPendingWork(); // FuMa
    EXPECT_TRUE(identical(two.run(9600, {480}, 2), four.run(9600, {480}, 2), 8));
}

// Formats and switches post a change message for the editor; a plain value neither does nor
// rebuilds.
TEST(Listeners, ValueChangesAndRebuildsReachTheDecoderAndTheEditor)
{
    struct Counter : juce::ChangeListener
    {
        int count = 0;
        void changeListenerCallback(juce::ChangeBroadcaster*) override { ++count; }
    } counter;
    ProcessorFixture f;
    f.p.addChangeListener(&counter);
    int builds = f.p.getBuildCount();
    f.set("rotation", 90.0f); // a value change updates the running decoder: no rebuild
    f.p.waitForPendingWork();
    EXPECT_EQ(f.p.getBuildCount(), builds);
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
    builds = f.p.getBuildCount();
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
        auto out = f.run(480);
        for (int ch = 0; ch < 16; ++ch) EXPECT_EQ(channelPeak(out, ch), 0.0f);
    }
    f.p.waitForPendingWork();
    EXPECT_EQ(f.p.getBuildCount(), builds + 1);
    EXPECT_EQ(f.p.getOutputFormat(), stereoOut - 1);
    EXPECT_EQ(f.p.micSpacing.load(), 3);
    auto out = f.run(4800);
    EXPECT_GT(channelPeak(out, 1, 960), 1e-3f);
    EXPECT_EQ(channelPeak(out, 2), 0.0f); // stereo: two channels only
}

TEST(State, MicSpacingAgreesWithTheDecoderFromTheStart)
{
    // Untouched (choice 1), set through its listener, and loaded from a state: the same
    // spacing gives the same audio, another spacing different audio.
    ProcessorFixture untouched, viaListener, loaded, other;
    viaListener.set("micspacing", 4.0f);
    viaListener.set("micspacing", 1.0f);
    other.set("micspacing", 6.0f);
    loaded.load(blockOf(param("micspacing", "1")));
    for (auto* f : {&viaListener, &loaded, &other}) f->p.waitForPendingWork();
    const auto reference = untouched.run(4800);
    EXPECT_TRUE(identical(reference, viaListener.run(4800), 8));
    EXPECT_TRUE(identical(reference, loaded.run(4800), 8));
    EXPECT_FALSE(identical(reference, other.run(4800), 8));
}

TEST(State, MalformedBlocksAreRefusedAndBadValuesFallBackToDefaults)
{
    const auto rotation = param("rotation", "10");
    const juce::MemoryBlock refused[] = {
        blockOf(rotation, "PARAM"),
        blockOf(param("rotation", "&x;"), "Quillfield",
                "<?xml version=\"1.0\"?><!DOCTYPE q [<!ENTITY x \"10\">]>"),
        blockOf(rotation + juce::String::repeatedString("<a>", 16) + // one level too deep
                juce::String::repeatedString("</a>", 16)),
        blockOf(rotation + juce::String::repeatedString(" ", PluginProcessor::maxStateBytes)),
        blockOf(rotation, "Quillfield", "<"), // unparsable
        juce::MemoryBlock("VC2!\0\0\0\0\0", 9),
    };
    ProcessorFixture f;
    f.set("rotation", 90.0f);
    for (const auto& block : refused)
    {
        f.load(block);
        EXPECT_EQ(f.value("rotation"), 90.0f) << block.toString().substring(0, 80);
    }
    f.p.setStateInformation(nullptr, 100);
    EXPECT_EQ(f.value("rotation"), 90.0f);

    // clang-format off
    const std::tuple<const char*, const char*, float> loaded[] = { // id, saved text, value
        {"front_angle", "60", 60.0f}, {"rotation", "nan", 0.0f}, {"elevation", "1e30", 0.0f},
        {"diffgain", "loud", -4.0f}, {"lfe_gain", "-inf", 0.0f}, {"formatout", "31", 5.0f}};
    // clang-format on
    auto children = param("nonsense", "5");
    for (auto& [id, saved, value] : loaded) children << param(id, saved);
    f.load(blockOf(children, "quillfield")); // a lower-case root is accepted
    for (auto& [id, saved, value] : loaded) EXPECT_EQ(f.value(id), value) << id;
    EXPECT_FALSE(f.p.parameters.state.getChildWithProperty("id", "nonsense").isValid());
}

namespace
{
thread_local bool countAllocations = false;
std::atomic<int> audioThreadAllocations{0};
} // namespace

// The replacement pair allocates with malloc and frees with free, which g++ cannot see.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    if (countAllocations) ++audioThreadAllocations;
    if (auto* p = std::malloc(size > 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

// Automation arrives on the audio thread; the decoder is rebuilt on the processor's thread.
TEST(Realtime, NoAllocationOnTheAudioThreadWhileAutomatingFormats)
{
    ProcessorFixture f;
    juce::AudioBuffer<float> block(16, 480);
    bool finite = true;
    std::thread audio([&] {
        juce::Random random(3);
        countAllocations = true;
        for (int i = 0; i < 400; ++i)
        {
            for (const char* id : {"formatin", "formatout", "binaural", "micspacing", "rotation"})
                if (i % 7 == 0) f.p.parameters.getParameter(id)->setValue(random.nextFloat());
            fill(block, 4, random);
            f.p.processBlock(block, f.midi);
            for (int ch = 0; ch < 16; ++ch)
                finite = finite && std::isfinite(block.getMagnitude(ch, 0, 480));
        }
        countAllocations = false;
    });
    audio.join();
    EXPECT_EQ(audioThreadAllocations.load(), 0);
    EXPECT_TRUE(finite);
}
