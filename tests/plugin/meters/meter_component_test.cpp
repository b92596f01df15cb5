// The meter component on live sources: the editor's compact layout, clip lights, channel
// numbers, clicks, sources that go away, and the look-and-feel shared between editors.
#include "meter_test_util.h"

using meters::LevelMeter;
using namespace meter_test;

namespace
{
constexpr int editorFlags = LevelMeter::Horizontal | LevelMeter::Compact;
const juce::Colour box(0xff555555), background(0xff222222), red(0xffff0000);

// The editor's layout: two channels in four 10-pixel stripes (channel 1's is y 20..30),
// clip lights at the right end; one channel takes the top stripe of two.
TEST(LevelMeter, CompactLayoutAndClipLightsAboveFullScaleOnly)
{
    TARVEKMeterLookAndFeel tarvek;
    MeterRig editorStyle(editorFlags, 200, 40, &tarvek);
    feed(editorStyle.source, {1.0f, 1.001f});
    auto image = paint(editorStyle.meter);
    EXPECT_EQ(image.getPixelAt(196, 5), box);
    EXPECT_EQ(image.getPixelAt(196, 25), red);
    EXPECT_EQ(image.getPixelAt(100, 15), background); // the gap stripe between them
    feed(editorStyle.source, {0.0f});
    image = paint(editorStyle.meter);
    EXPECT_EQ(image.getPixelAt(100, 10), box);
    EXPECT_EQ(countPixels(image, {0, 21, 200, 19}, background), 200 * 19);

    // The default style gives one channel the whole height and draws tick marks only
    // between channels.
    const juce::Colour tick(0xffffa500);
    MeterRig fallback(editorFlags, 200, 80);
    feed(fallback.source, {0.0f});
    image = paint(fallback.meter);
    EXPECT_EQ(image.getPixelAt(60, 70), box);
    EXPECT_EQ(countPixels(image, image.getBounds(), tick), 0);
    feed(fallback.source, {0.0f, 0.0f});
    EXPECT_GT(countPixels(paint(fallback.meter), image.getBounds(), tick), 20);
}

// 16 channels in 20-pixel stripes: with an offset of k, channel 0 must show what channel k
// shows without one (the number k + 1), 2·k stripes further down.
TEST(LevelMeter, ChannelNumbersFollowTheLabelOffsets)
{
    TARVEKMeterLookAndFeel laf;
    const std::vector<float> silence(16, 0.0f);
    const auto meterImage = [&](int labelFlags) {
        MeterRig rig(editorFlags | labelFlags, 200, 640, &laf);
        feed(rig.source, silence);
        return paint(rig.meter);
    };
    const auto plain = meterImage(0);
    const juce::Rectangle<int> label(0, 0, 12, 20);
    EXPECT_FALSE(sameRegion(plain, label, plain, {0, 40})); // "1" is not "2"
    for (const auto& [flag, offset] :
         {std::pair(0x100, 4), std::pair(0x200, 8), std::pair(0x400, 12), std::pair(0x300, 4)})
        EXPECT_TRUE(sameRegion(meterImage(flag), label, plain, {0, 40 * offset})) << flag;
}

struct Recorder : LevelMeter::ClickListener
{
    Recorder(std::vector<int>& log, int id) : log(log), id(id) {}
    void clipIndicatorClicked(LevelMeter&, int, juce::ModifierKeys) override { log.push_back(id); }
    std::vector<int>& log;
    int id;
};

TEST(LevelMeter, ClicksOnClipLightsResetTheWholeMeter)
{
    TARVEKMeterLookAndFeel laf;
    MeterRig rig(editorFlags, 200, 80, &laf);
    const auto left = juce::ModifierKeys(juce::ModifierKeys::leftButtonModifier);
    const auto right = juce::ModifierKeys(juce::ModifierKeys::rightButtonModifier);
    feed(rig.source, {2.0f, 0.5f, 1.5f, 0.1f});
    std::vector<int> log;
    Recorder first(log, 1), second(log, 2);
    rig.meter.addClickListener(&first);
    rig.meter.addClickListener(&second);

    rig.meter.mouseDown(click(rig.meter, {196, 50}, right)); // channel 2's light (per-channel
    EXPECT_TRUE(rig.source.getClipFlag(0));                  // strips of 20 pixels)
    EXPECT_TRUE(log.empty());

    rig.meter.mouseDown(click(rig.meter, {196, 50}, left));
    EXPECT_EQ(log, (std::vector<int>{2, 1}));
    for (int c = 0; c < 4; ++c)
    {
        EXPECT_FALSE(rig.source.getClipFlag(c));
        EXPECT_EQ(rig.source.getMaxLevel(c), -100.0f);
    }
    log.clear();
    rig.meter.mouseDown(click(rig.meter, {100, 50}, left)); // on a bar: nothing
    EXPECT_TRUE(log.empty());

    // A meter whose source has gone ignores clicks and paints as a meter without one.
    MeterRig orphan(editorFlags, 200, 80, &laf), unconnected(editorFlags, 200, 80, &laf);
    unconnected.meter.setMeterSource(nullptr);
    auto gone = std::make_unique<meters::LevelMeterSource>();
    feed(*gone, {2.0f});
    orphan.meter.setMeterSource(gone.get());
    gone.reset();
    int handled = 0;
    orphan.meter.clipLightClickHandler = [&](LevelMeter&, int, juce::ModifierKeys) { ++handled; };
    orphan.meter.mouseDown(click(orphan.meter, {196, 10}, left));
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(sameImage(paint(orphan.meter), paint(unconnected.meter)));
}

// A channel the source does not have, no slots and a meter of no size draw like silence or
// not at all.
TEST(LevelMeter, ChannelsBeyondTheSourceAndEmptyMetersDrawNothingWrong)
{
    const int flags = LevelMeter::SingleChannel | LevelMeter::Bordered;
    MeterRig beyond(flags, 60, 200), silent(flags, 60, 200);
    feed(beyond.source, {2.0f, 2.0f});
    feed(silent.source, {0.0f});
    beyond.meter.setSelectedChannel(5);
    silent.meter.setSelectedChannel(0);
    EXPECT_TRUE(sameImage(paint(beyond.meter), paint(silent.meter)));

    MeterRig noSlots(LevelMeter::Default, 60, 200);
    feed(noSlots.source, {0.5f, 0.5f});
    noSlots.meter.setChannelSlots(0);
    noSlots.meter.setBackgroundCaching(true);
    const auto image = paint(noSlots.meter);
    EXPECT_EQ(image.getPixelAt(30, 100), juce::Colour(0xff050a29));
    noSlots.meter.setSize(0, 0);
    paint(noSlots.meter);
}

// Editors share one look-and-feel per process and drop it from their meters before they
// go; the last editor to go frees it (under AddressSanitizer: no leak, no use after free).
TEST(TARVEKMeterLookAndFeel, OneInstanceSharedByEditorsAndReleasedByTheLast)
{
    struct Editor : juce::Component
    {
        Editor()
        {
            meter.setLookAndFeel(&laf.get());
            addAndMakeVisible(meter);
            setSize(100, 100);
            meter.setBounds(0, 0, 100, 100);
        }
        ~Editor() override { meter.setLookAndFeel(nullptr); }
        juce::SharedResourcePointer<TARVEKMeterLookAndFeel> laf;
        LevelMeter meter{editorFlags};
    };
    auto first = std::make_unique<Editor>();
    auto second = std::make_unique<Editor>();
    EXPECT_EQ(&first->laf.get(), &second->laf.get());
    EXPECT_EQ(first->laf.getReferenceCount(), 2);
    first.reset();
    EXPECT_EQ(second->laf.getReferenceCount(), 1);
    EXPECT_NE(juce::Image(second->createComponentSnapshot({0, 0, 100, 100})).getPixelAt(50, 50),
              juce::Colours::transparentBlack);
    second.reset();
    EXPECT_EQ(juce::SharedResourcePointer<TARVEKMeterLookAndFeel>().getReferenceCount(), 1);
}
} // namespace
