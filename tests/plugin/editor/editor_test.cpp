// The editor and its small components, in process: the slider's end-point words, the panel
// fill behind a group.
#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "GroupWithBackground.h"
#include "SliderWithEndPoints.h"

namespace
{
TEST(SliderWithEndPoints, EndWordsShowAtTheRangeEndsAndAreTypedInAnyCase)
{
    SliderWithEndPoints slider;
    slider.setRange(-20.0, 10.0, 0.5);
    slider.setTextValueSuffix(" dB");
    slider.setMinimumText("mute");

    EXPECT_EQ(slider.getTextFromValue(-20.0), "mute");
    EXPECT_EQ(slider.getTextFromValue(-25.0), "mute");
    EXPECT_EQ(slider.getTextFromValue(-19.5), "-19.5 dB");
    EXPECT_EQ(slider.getTextFromValue(10.0), "10.0 dB"); // no word for the maximum
    EXPECT_EQ(slider.getValueFromText("MUTE"), -20.0);
    EXPECT_EQ(slider.getValueFromText(" mute"), 0.0); // not the word: the number parser's 0
    EXPECT_EQ(slider.getValueFromText("-3 dB"), -3.0);

    slider.setMaximumText("off");
    EXPECT_EQ(slider.getTextFromValue(10.0), "off");
    EXPECT_EQ(slider.getValueFromText("Off"), 10.0);

    // Without words it is a plain slider.
    SliderWithEndPoints plainSlider;
    juce::Slider reference;
    for (auto* s : {static_cast<juce::Slider*>(&plainSlider), &reference})
    {
        s->setRange(0.0, 4.0, 1.0);
        s->setTextValueSuffix(" ms");
    }
    for (double v : {0.0, 2.0, 4.0})
        EXPECT_EQ(plainSlider.getTextFromValue(v), reference.getTextFromValue(v));
    EXPECT_EQ(plainSlider.getValueFromText("3 ms"), reference.getValueFromText("3 ms"));
}

// A parent that lays out one panel from its paint, as the editor does.
struct PanelHost : juce::Component
{
    GroupWithBackground group{"new group", "Title"};
    PanelHost()
    {
        addAndMakeVisible(group);
        setSize(200, 120);
    }
    void paint(juce::Graphics& g) override
    {
        g.fillAll(juce::Colours::black);
        group.setBoundsAndPaintBackground(20, 10, 150, 100, g);
    }
};

TEST(GroupWithBackground, PanelFillsInsideTheFrameAndTakesItsBoundsFromPaint)
{
    PanelHost host;
    EXPECT_TRUE(host.group.getBounds().isEmpty()); // no bounds before the first paint

    const auto image = host.createComponentSnapshot(host.getLocalBounds(), true, 1.0f);
    EXPECT_EQ(host.group.getBounds(), juce::Rectangle<int>(20, 10, 150, 100));
    EXPECT_EQ(host.group.getText(), "Title");
    // Panel (25, 19) .. (167, 107) with corners of 4: its middle and its inner edges are filled,
    // the rounded corner's tip and the outside are not.
    const juce::Colour panel(0xff222222), black(0xff000000);
    EXPECT_EQ(image.getPixelAt(100, 60), panel);
    EXPECT_EQ(image.getPixelAt(27, 60), panel);
    EXPECT_EQ(image.getPixelAt(100, 105), panel);
    EXPECT_NE(image.getPixelAt(25, 19), panel);
    EXPECT_EQ(image.getPixelAt(10, 60), black);
    EXPECT_EQ(image.getPixelAt(180, 60), black);
}
} // namespace
