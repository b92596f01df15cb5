// The meters painted and probed, and the meter source on a clock stepped by hand.
#include "LevelMeter.h"
#include "LevelMeterLookAndFeel.h"
#include "TARVEKMeterLookAndFeel.h"
#include "image_test_util.h"

using meters::LevelMeter;
using namespace imagetest;

namespace
{
constexpr int editorFlags = LevelMeter::Horizontal | LevelMeter::Compact;
const juce::Colour lightGrey(0xffd3d3d3), orange(0xffffa500), darkRed(0xff8b0000);
const juce::Colour box(0xff555555), background(0xff222222), red(0xffff0000);

// Gives every channel one block of constant samples at these linear levels.
void feed(meters::LevelMeterSource& source, const std::vector<float>& levels)
{
    if (source.getNumChannels() != (int)levels.size()) source.resize((int)levels.size(), 1);
    juce::AudioBuffer<float> block((int)levels.size(), 64);
    for (int c = 0; c < block.getNumChannels(); ++c)
        juce::FloatVectorOperations::fill(block.getWritePointer(c), levels[(size_t)c], 64);
    source.measureBlock(block);
}

// A meter on a source whose clock stands still, so nothing decays before it is painted.
struct MeterRig
{
    MeterRig(int flags, int w, int h, juce::LookAndFeel* laf = nullptr) : meter(flags)
    {
        meter.setLookAndFeel(laf);
        meter.setSize(w, h);
        meter.setMeterSource(&source);
    }
    ~MeterRig() { meter.setLookAndFeel(nullptr); }
    juce::Image paint()
    {
        return render(meter.getWidth(), meter.getHeight(), [&](auto& g) { meter.paint(g); });
    }
    meters::LevelMeterSource source{[] { return juce::int64(0); }};
    LevelMeter meter;
};

void click(juce::Component& target, juce::Point<int> at,
           int buttonFlag = juce::ModifierKeys::leftButtonModifier)
{
    const auto p = at.toFloat();
    const auto now = juce::Time::getCurrentTime();
    target.mouseDown(juce::MouseEvent(juce::Desktop::getInstance().getMainMouseSource(), p,
                                      juce::ModifierKeys(buttonFlag), 1.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                      &target, &target, now, p, now, 1, false));
}

struct Recorder : LevelMeter::ClickListener
{
    Recorder(std::vector<int>& log, int id) : log(log), id(id) {}
    void clipIndicatorClicked(LevelMeter&, int, juce::ModifierKeys) override { log.push_back(id); }
    std::vector<int>& log;
    int id;
};
} // namespace

// Bars of 200 pixels inside the outline on a -100 dB scale: 2 pixels per dB from the top/right.
TEST(MeterLookAndFeel, PeakLineColourAndPlaceAtTheThresholds)
{
    const juce::Colour none;
    // clang-format off
    const std::tuple<bool, bool, float, juce::Colour> cases[] = { // TARVEK, horizontal, dB
        {false, true, -49.05f, none}, {false, true, -48.9f, lightGrey},
        {false, true, -5.05f, lightGrey}, {false, true, -4.95f, orange},
        {false, false, -5.05f, lightGrey}, {false, false, -0.35f, orange},
        {false, false, -0.25f, darkRed}, {true, true, -6.05f, lightGrey},
        {true, true, -5.5f, orange}, {true, true, -0.25f, darkRed},
        {true, false, -5.5f, lightGrey}, {true, false, -4.95f, orange}, {true, false, -49.05f, none}};
    // clang-format on
    meters::LevelMeterLookAndFeel base;
    TARVEKMeterLookAndFeel tarvek;
    for (const auto& [isTarvek, horizontal, db, expected] : cases)
    {
        SCOPED_TRACE(juce::String(db) + (isTarvek ? " tarvek" : " base") +
                     (horizontal ? " horizontal" : " vertical"));
        auto& laf = isTarvek ? static_cast<meters::LevelMeterLookAndFeel&>(tarvek) : base;
        const int w = horizontal ? 202 : 12, h = horizontal ? 12 : 202;
        const auto image = render(w, h, [&, hz = horizontal, d = db](juce::Graphics& g) {
            laf.drawMeterBar(g, hz ? LevelMeter::Horizontal : LevelMeter::Default,
                             {0.0f, 0.0f, (float)w, (float)h}, 0.0f,
                             juce::Decibels::decibelsToGain(d, -200.0f));
        });
        int lit = 0, at = -1;
        for (int k = 0; k < 202; ++k)
            if (const auto pixel = horizontal ? image.getPixelAt(k, 6) : image.getPixelAt(6, k);
                pixel.getAlpha() != 0)
            {
                EXPECT_EQ(pixel, expected) << "at " << k;
                ++lit, at = k;
            }
        EXPECT_EQ(lit, expected.isTransparent() ? 0 : 1);
        const float place = horizontal ? 201.0f + 2.0f * db : 1.0f - 2.0f * db;
        EXPECT_NEAR(lit == 1 ? (float)at : place, place, 1.0f);
    }
}

// NaN draws as silence, infinity as full scale; degenerate boxes and no source draw nothing.
TEST(MeterLookAndFeel, MaxNumberNonFiniteLevelsAndDegenerateGeometry)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TARVEKMeterLookAndFeel tarvek;
    meters::LevelMeterLookAndFeel base;
    const auto number = [&](float gain) {
        return render(120, 40, [&](juce::Graphics& g) {
            base.drawMaxNumber(g, LevelMeter::Default, {0, 0, 120, 40}, gain);
        });
    };
    for (const auto& [gain, text, notText] : {std::tuple(1.0f, lightGrey, juce::Colours::white),
                                              {1.0001f, juce::Colours::white, lightGrey}})
    {
        EXPECT_GT(countPixels(number(gain), {3, 3, 114, 34}, text), 10) << gain;
        EXPECT_EQ(countPixels(number(gain), {3, 3, 114, 34}, notText), 0) << gain;
    }
    EXPECT_TRUE(sameImage(number(inf), number(1.0e5f)));
    EXPECT_TRUE(sameImage(number(nan), number(0.0f)));
    meters::LevelMeterSource empty;
    const juce::Rectangle<float> r(10, 10, -8, -30);
    for (auto* laf : std::initializer_list<meters::LevelMeterLookAndFeel*>{&base, &tarvek})
    {
        for (const int flags : {0, 1, 0x10, 0x11})
        {
            const auto bar = [&](float rms, float peak) {
                return render(60, 60, [&](juce::Graphics& g) {
                    laf->drawMeterBar(g, LevelMeter::MeterFlags(flags), {0, 0, 60, 60}, rms, peak);
                });
            };
            EXPECT_TRUE(sameImage(bar(nan, nan), bar(0.0f, 0.0f))) << flags;
            EXPECT_TRUE(sameImage(bar(inf, inf), bar(1.0f, 1.0f))) << flags;
        }
        for (const int flags : {0x00, 0x01, 0x08, 0x21, 0x20, 0x61, 0x1f})
        {
            const auto f = static_cast<LevelMeter::MeterFlags>(flags);
            const auto image = render(50, 50, [&](juce::Graphics& g) {
                laf->drawBackground(g, f, r);
                laf->drawMeterBarsBackground(g, f, r, 3, -1);
                laf->drawMeterBars(g, f, r, &empty, -1, 0);
                if (!(flags & LevelMeter::SingleChannel)) // no channels, no slots
                    laf->drawMeterBarsBackground(g, f, {0, 0, 50, 50}, 0, 0);
                laf->drawMeterBars(g, f, {0, 0, 50, 50}, nullptr, 0, 2);
                laf->drawMeterBar(g, f, r, 1.0f, 1.0f);
                laf->drawMeterReduction(g, f, r, 0.1f);
                laf->drawMaxNumber(g, f, r, 2.0f);
                laf->drawTickMarks(g, f, r);
            });
            EXPECT_EQ(countPixels(image, image.getBounds(), juce::Colour()), 50 * 50) << flags;
            EXPECT_EQ(laf->hitTestClipIndicator({5, 5}, f, r, &empty), -1);
            EXPECT_TRUE(laf->getMeterBounds({0, 0, 50, 50}, f, 0, 0).isEmpty() || (flags & 4));
        }
    }
}

// Editor layout: channel c in y 20c..20c+10 (alone: the top of two), clip lights at the right.
TEST(LevelMeter, LayoutsClipLightsAboveFullScaleOnlyAndEmptyMeters)
{
    TARVEKMeterLookAndFeel tarvek;
    MeterRig editorStyle(editorFlags, 200, 40, &tarvek);
    feed(editorStyle.source, {1.0f, 1.001f});
    auto image = editorStyle.paint();
    EXPECT_EQ(image.getPixelAt(196, 5), box);
    EXPECT_EQ(image.getPixelAt(196, 25), red);
    EXPECT_EQ(image.getPixelAt(100, 15), background); // the gap stripe between them
    feed(editorStyle.source, {0.0f});
    image = editorStyle.paint();
    EXPECT_EQ(image.getPixelAt(100, 10), box);
    EXPECT_EQ(countPixels(image, {0, 21, 200, 19}, background), 200 * 19);
    // The default style: one channel takes the whole height; tick marks only between channels.
    MeterRig fallback(editorFlags, 200, 80);
    feed(fallback.source, {0.0f});
    image = fallback.paint();
    EXPECT_EQ(image.getPixelAt(60, 70), box);
    EXPECT_EQ(countPixels(image, image.getBounds(), orange), 0);
    feed(fallback.source, {0.0f, 0.0f});
    EXPECT_GT(countPixels(fallback.paint(), image.getBounds(), orange), 20);
    // No slots draw the background alone; a meter of no size draws nothing.
    MeterRig noSlots(LevelMeter::Default, 60, 200);
    feed(noSlots.source, {0.5f, 0.5f});
    noSlots.meter.setChannelSlots(0);
    noSlots.meter.setBackgroundCaching(true);
    EXPECT_EQ(noSlots.paint().getPixelAt(30, 100), juce::Colour(0xff050a29));
    noSlots.meter.setSize(0, 0);
    noSlots.paint();
}

TEST(LevelMeter, ClicksOnClipLightsResetTheWholeMeter)
{
    TARVEKMeterLookAndFeel laf;
    MeterRig rig(editorFlags, 200, 80, &laf);
    feed(rig.source, {2.0f, 0.5f, 1.5f, 0.1f});
    std::vector<int> log;
    Recorder first(log, 1), second(log, 2);
    rig.meter.addClickListener(&first);
    rig.meter.addClickListener(&second);
    // Channel 2's light (per-channel strips of 20 pixels): the right button does nothing.
    click(rig.meter, {196, 50}, juce::ModifierKeys::rightButtonModifier);
    EXPECT_TRUE(rig.source.getClipFlag(0) && log.empty());
    click(rig.meter, {196, 50});
    EXPECT_EQ(log, (std::vector<int>{2, 1}));
    for (int c = 0; c < 4; ++c)
        EXPECT_TRUE(!rig.source.getClipFlag(c) && rig.source.getMaxLevel(c) == -100.0f) << c;
    click(rig.meter, {100, 50}); // on a bar: nothing
    EXPECT_EQ(log.size(), 2u);

    // A meter whose source has gone ignores clicks and paints as a meter without one.
    MeterRig orphan(editorFlags, 200, 80, &laf), unconnected(editorFlags, 200, 80, &laf);
    unconnected.meter.setMeterSource(nullptr);
    auto gone = std::make_unique<meters::LevelMeterSource>();
    feed(*gone, {2.0f});
    orphan.meter.setMeterSource(gone.get());
    gone.reset();
    int handled = 0;
    orphan.meter.clipLightClickHandler = [&](LevelMeter&, int, juce::ModifierKeys) { ++handled; };
    click(orphan.meter, {196, 10});
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(sameImage(orphan.paint(), unconnected.paint()));
}

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

TEST_F(MeterSourceTest, SineLevelsIdleDecayAndChannelsOutsideTheSource)
{
    for (int i = 0; i < 10; ++i) measure(0.5f);
    EXPECT_NEAR(source.getPeakLevel(0), 0.5f, 1e-6f);
    EXPECT_NEAR(source.getAverageRms(0), 0.5f / std::sqrt(2.0f), 1e-4f);
    EXPECT_EQ(source.getAverageRms(1), 0.0f);
    // Without audio the levels decay one step per 100 ms at most: ten steps empty the ring.
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
