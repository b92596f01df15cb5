#include "BeamDisplay.h"
#include "image_test_util.h"

namespace
{
constexpr int width = 600, height = 400;

// Distance in pixels, along the radius, from (x, y) to the centred ellipse of diameter d.
float offEllipse(float x, float y, float d)
{
    const float dx = x - width / 2.0f, dy = y - height / 2.0f;
    const float r = std::hypot(dx / (d * width / 2), dy / (d * height / 2));
    return std::abs(r - 1.0f) * std::hypot(dx, dy) / juce::jmax(r, 1e-6f);
}

bool nearAGuide(float x, float y)
{
    const float slack = 3.5f; // half the thickest guide, antialiasing, radial overestimate
    if (std::abs(x - width / 2.0f) < slack || std::abs(y - height / 2.0f) < slack) return true;
    for (float d : {0.98f, 0.735f, 0.735f / std::sqrt(2.0f), 0.3675f, 0.18375f})
        if (offEllipse(x, y, d) < slack) return true;
    return false;
}
} // namespace

// With no beams only the guides are lit; a unit circle at elevation 0 is the outer guide.
TEST(BeamDisplay, GuidesAloneThenAUnitCircleOnTheOuterGuide)
{
    PluginProcessor processor;
    {
        BeamDisplay display(processor);
        display.setSize(width, height);
        EXPECT_TRUE(processor.isBeamDisplayActive());
        // Paints and counts the pixels `lit` picks, each of which must be where `allowed` says.
        juce::Image image;
        const auto countLit = [&](auto lit, auto allowed) {
            image = imagetest::render(width, height, [&](auto& g) { display.paint(g); });
            int count = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    if (lit(image.getPixelAt(x, y)))
                    {
                        EXPECT_TRUE(allowed((float)x + 0.5f, (float)y + 0.5f)) << x << "," << y;
                        ++count;
                    }
            return count;
        };
        EXPECT_GT(countLit([](juce::Colour c) { return c.getBrightness() > 0.05f; }, nearAGuide),
                  2000);
        EXPECT_GT(image.getPixelAt((int)(width * 0.99f) - 1, height / 2 - 10).getBrightness(), 0);

        auto data = std::make_unique<PluginProcessor::BeamData>();
        data->numBeams = 1;
        data->beamFlags[0] = 0x2; // centre speaker: (0xed, 0xb1, 0x20)
        for (int a = 0; a < PluginProcessor::BeamData::numAngles; ++a)
        {
            data->responseX[0][a] = std::cos(juce::degreesToRadians((float)a));
            data->responseY[0][a] = std::sin(juce::degreesToRadians((float)a));
        }
        display.setBeamData(*data);
        // Guides are grey, the beam orange: a ring of thickness 4 all the way round.
        const auto orange = [](juce::Colour c) { return c.getRed() - c.getBlue() >= 60; };
        const auto onRing = [](float x, float y) { return offEllipse(x, y, 0.98f) < 3.0f; };
        EXPECT_GT(countLit(orange, onRing), 2000);
    }
    EXPECT_FALSE(processor.isBeamDisplayActive());
}
