#pragma once
#include <juce_gui_basics/juce_gui_basics.h>

// A group frame that also fills a dark rounded panel behind itself. The owner positions it
// from its own paint(), so the panel and the frame always come from the same rectangle.
class GroupWithBackground : public juce::GroupComponent
{
  public:
    GroupWithBackground(const juce::String& componentName, const juce::String& groupText);
    ~GroupWithBackground() override;

    // Moves the group to the rectangle and fills its panel into g (the owner's context, so
    // the panel lies under every sibling). The frame and title are drawn later by the group.
    void setBoundsAndPaintBackground(int x, int y, int width, int height, juce::Graphics& g);

  private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(GroupWithBackground)
};
