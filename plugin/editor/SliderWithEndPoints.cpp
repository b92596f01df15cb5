#include "SliderWithEndPoints.h"

SliderWithEndPoints::SliderWithEndPoints() = default;

SliderWithEndPoints::~SliderWithEndPoints() = default;

void SliderWithEndPoints::setMinimumText(const juce::String& text)
{
    minimumText = text;
    updateText();
}

void SliderWithEndPoints::setMaximumText(const juce::String& text)
{
    maximumText = text;
    updateText();
}

double SliderWithEndPoints::getValueFromText(const juce::String& text)
{
    // Whole-text match only: a word with blanks around it goes to the number parser.
    if (minimumText && text.equalsIgnoreCase(*minimumText)) return getMinimum();
    if (maximumText && text.equalsIgnoreCase(*maximumText)) return getMaximum();
    return juce::Slider::getValueFromText(text);
}

juce::String SliderWithEndPoints::getTextFromValue(double value)
{
    if (minimumText && value <= getMinimum()) return *minimumText;
    if (maximumText && value >= getMaximum()) return *maximumText;
    return juce::Slider::getTextFromValue(value);
}
