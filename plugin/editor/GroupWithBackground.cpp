#include "GroupWithBackground.h"

GroupWithBackground::GroupWithBackground(const juce::String& componentName,
                                         const juce::String& groupText)
    : juce::GroupComponent(componentName, groupText)
{
}

GroupWithBackground::~GroupWithBackground() = default;

void GroupWithBackground::setBoundsAndPaintBackground(int x, int y, int width, int height,
                                                      juce::Graphics& g)
{
    setBounds(x, y, width, height);

    // The panel starts below the title line and inside the frame's stroke.
    g.setColour(juce::Colour(0xff222222));
    g.fillRoundedRectangle((float)(x + 5), (float)(y + 9), (float)(width - 8), (float)(height - 12),
                           4.0f);
}
