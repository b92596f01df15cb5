// The meter look-and-feels drawn into images and probed: peak-line colours at the thresholds,
// maximum numbers around 0 dB, and input no meter should choke on.
#include "meter_test_util.h"

using meters::LevelMeter;
using namespace meter_test;

namespace
{
const juce::Colour lightGrey(0xffd3d3d3), orange(0xffffa500), darkRed(0xff8b0000);

// A 200-pixel bar box on a -100 dB scale: the peak line sits 2 pixels per dB from the top
// (vertical) or from the right end (horizontal) of the pixels inside the outline.
TEST(MeterLookAndFeel, PeakLineColourAndPlaceAtTheThresholds)
{
    const juce::Colour none;
    const std::tuple<bool, bool, float, juce::Colour> cases[] = {
        {false, true, -49.05f, none},      {false, true, -48.9f, lightGrey},
        {false, true, -5.05f, lightGrey},  {false, true, -4.95f, orange},
        {false, false, -5.05f, lightGrey}, {false, false, -0.35f, orange},
        {false, false, -0.25f, darkRed},   {true, true, -6.05f, lightGrey},
        {true, true, -5.5f, orange},       {true, true, -0.25f, darkRed},
        {true, false, -5.5f, lightGrey},   {true, false, -4.95f, orange},
        {true, false, -49.05f, none}};
    meters::LevelMeterLookAndFeel base;
    TARVEKMeterLookAndFeel tarvek;
    for (const auto& [isTarvek, horizontal, db, expected] : cases)
    {
        SCOPED_TRACE(juce::String(db) + (isTarvek ? " tarvek" : " base") +
                     (horizontal ? " horizontal" : " vertical"));
        auto& laf = isTarvek ? static_cast<meters::LevelMeterLookAndFeel&>(tarvek) : base;
        const int w = horizontal ? 202 : 12, h = horizontal ? 12 : 202;
        const auto image =
            render(w, h, [&, hz = horizontal, p = fromDecibels(db)](juce::Graphics& g) {
                laf.drawMeterBar(g, hz ? LevelMeter::Horizontal : LevelMeter::Default,
                                 {0.0f, 0.0f, (float)w, (float)h}, 0.0f, p);
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
        if (lit == 1)
        {
            EXPECT_NEAR((float)at, horizontal ? 201.0f + 2.0f * db : 1.0f - 2.0f * db, 1.0f);
        }
    }
}

TEST(MeterLookAndFeel, MaxNumberTurnsToTheOverColourOnlyAboveFullScale)
{
    meters::LevelMeterLookAndFeel laf;
    const juce::Colour white(0xffffffff);
    const juce::Rectangle<int> inside(3, 3, 114, 34);
    for (const auto& [gain, text, notText] :
         {std::tuple(1.0f, lightGrey, white), std::tuple(1.0001f, white, lightGrey)})
    {
        const auto image = render(120, 40, [&, g2 = gain](juce::Graphics& g) {
            laf.drawMaxNumber(g, LevelMeter::Default, {0, 0, 120, 40}, g2);
        });
        EXPECT_GT(countPixels(image, inside, text), 10) << gain;
        EXPECT_EQ(countPixels(image, inside, notText), 0) << gain;
    }
}

// The meters' texts keep their typeface when the process's default sans-serif changes (as
// it does when another font package is installed).
TEST(MeterLookAndFeel, TextsKeepTheirTypefaceWhateverTheDefaultSans)
{
    TARVEKMeterLookAndFeel laf;
    const auto texts = [&] {
        return render(120, 40, [&](juce::Graphics& g) {
            laf.drawMaxNumber(g, LevelMeter::Default, {0, 0, 120, 20}, 0.5f);
            g.setFont(juce::Font(14.0f)); // the default sans, for contrast
            g.drawText("-6.0 dB", 0, 20, 120, 20, juce::Justification::centred);
        });
    };
    const auto before = texts();
    auto& defaultLookAndFeel = juce::LookAndFeel::getDefaultLookAndFeel();
    defaultLookAndFeel.setDefaultSansSerifTypefaceName("DejaVu Serif");
    const auto after = texts();
    defaultLookAndFeel.setDefaultSansSerifTypefaceName({});
    EXPECT_TRUE(sameRegion(before, {0, 0, 120, 20}, after, {}));
    EXPECT_FALSE(sameRegion(before, {0, 20, 120, 20}, after, {0, 20}));
}

// Levels that are not numbers draw as silence, infinite ones as full scale; an empty or
// negative box, no channels and no source draw nothing at all.
TEST(MeterLookAndFeel, NonFiniteLevelsAndDegenerateGeometryDrawNothingWrong)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TARVEKMeterLookAndFeel tarvek;
    meters::LevelMeterLookAndFeel base;
    const std::vector<meters::LevelMeterLookAndFeel*> lafs{&base, &tarvek};
    for (auto* laf : lafs)
        for (const int flags : {0, 1, 0x10, 0x11})
        {
            const auto f = static_cast<LevelMeter::MeterFlags>(flags);
            const auto bar = [&](float rms, float peak) {
                return render(60, 60, [&](juce::Graphics& g) {
                    laf->drawMeterBar(g, f, {0, 0, 60, 60}, rms, peak);
                });
            };
            EXPECT_TRUE(sameImage(bar(nan, nan), bar(0.0f, 0.0f))) << flags;
            EXPECT_TRUE(sameImage(bar(inf, inf), bar(1.0f, 1.0f))) << flags;
        }
    const auto number = [&](float gain) {
        return render(120, 40, [&](juce::Graphics& g) {
            base.drawMaxNumber(g, LevelMeter::Default, {0, 0, 120, 40}, gain);
        });
    };
    EXPECT_TRUE(sameImage(number(inf), number(1.0e5f)));
    EXPECT_TRUE(sameImage(number(nan), number(0.0f)));

    meters::LevelMeterSource empty;
    const auto nothing = render(50, 50, [](juce::Graphics&) {});
    const juce::Rectangle<float> r(10, 10, -8, -30);
    for (auto* laf : lafs)
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
            EXPECT_TRUE(sameImage(image, nothing)) << flags;
            EXPECT_EQ(laf->hitTestClipIndicator({5, 5}, f, r, &empty), -1);
            EXPECT_TRUE(laf->getMeterBounds({0, 0, 50, 50}, f, 0, 0).isEmpty() || (flags & 4));
        }
}
} // namespace
