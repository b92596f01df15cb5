#pragma once
#include <juce_gui_basics/juce_gui_basics.h>

#include <optional>

// A slider that names the ends of its range with a word ("mute", "off") instead of the number,
// and accepts that word typed in any letter case.
class SliderWithEndPoints : public juce::Slider
{
  public:
    SliderWithEndPoints();
    ~SliderWithEndPoints() override;

    void setMinimumText(const juce::String& text);
    void setMaximumText(const juce::String& text);

    double getValueFromText(const juce::String& text) override;
    juce::String getTextFromValue(double value) override;

  private:
    std::optional<juce::String> minimumText, maximumText;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(SliderWithEndPoints)
};
