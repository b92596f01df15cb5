#include "TARVEKMeterLookAndFeel.h"

using meters::LevelMeter;

namespace
{
bool has(LevelMeter::MeterFlags flags, int bit)
{
    return (static_cast<int>(flags) & bit) != 0;
}

int labelOffset(LevelMeter::MeterFlags flags)
{
    if (has(flags, LevelMeter::LabelOffset4)) return 4;
    if (has(flags, LevelMeter::LabelOffset8)) return 8;
    if (has(flags, LevelMeter::LabelOffset12)) return 12;
    return 0;
}

bool isCompactHorizontal(LevelMeter::MeterFlags flags)
{
    return has(flags, LevelMeter::Compact) && has(flags, LevelMeter::Horizontal);
}
} // namespace

TARVEKMeterLookAndFeel::TARVEKMeterLookAndFeel()
{
    TARVEKMeterLookAndFeel::setupDefaultMeterColours();
}

TARVEKMeterLookAndFeel::~TARVEKMeterLookAndFeel() = default;

void TARVEKMeterLookAndFeel::setupDefaultMeterColours()
{
    LevelMeterLookAndFeel::setupDefaultMeterColours();
    setColour(LevelMeter::maxNumberTextColourId, juce::Colour(0xffffffff));
    setColour(LevelMeter::backgroundColourId, juce::Colour(0xff222222));
    setColour(LevelMeter::outlineColourId, juce::Colour(0xff444444));
    setColour(LevelMeter::barLowColourId, juce::Colour(0xff63a8ff));
    setColour(LevelMeter::barMidColourId, juce::Colour(0xffffff00));
}

TARVEKMeterLookAndFeel::Rect TARVEKMeterLookAndFeel::getMeterBarBounds(Rect b,
                                                                       MeterFlags flags) const
{
    if (!has(flags, LevelMeter::Compact)) return LevelMeterLookAndFeel::getMeterBarBounds(b, flags);
    if (has(flags, LevelMeter::Horizontal))
    {
        // The bar moves 10 pixels right for the channel number; its width stays the base's.
        const float m = 0.05f * b.getHeight();
        return {b.getX() + m + 10.0f, b.getY() + m,
                juce::jmax(0.0f, b.getWidth() - b.getHeight() - 3.0f * m),
                juce::jmax(0.0f, b.getHeight() - 2.0f * m)};
    }
    if (has(flags, LevelMeter::CompactMaxNumber))
        return LevelMeterLookAndFeel::getMeterBarBounds(b, flags);
    // 15 pixels below the bar hold the channel number.
    const float w = b.getWidth(), m = 0.05f * w;
    return {b.getX() + m, b.getY() + 2.0f * m + 0.5f * w, juce::jmax(0.0f, w - 2.0f * m),
            juce::jmax(0.0f, b.getHeight() - 3.0f * m - 0.5f * w - 15.0f)};
}

TARVEKMeterLookAndFeel::Rect TARVEKMeterLookAndFeel::getMeterTickmarksBounds(Rect, MeterFlags) const
{
    return {};
}

TARVEKMeterLookAndFeel::Rect
TARVEKMeterLookAndFeel::getMeterClipIndicatorBounds(Rect b, MeterFlags flags) const
{
    if (!isCompactHorizontal(flags))
        return LevelMeterLookAndFeel::getMeterClipIndicatorBounds(b, flags);
    const float m = 0.05f * b.getHeight(), side = juce::jmax(0.0f, b.getHeight() - 2.0f * m);
    return {b.getRight() - m - 0.6f * side, b.getY() + m, 0.6f * side, side};
}

void TARVEKMeterLookAndFeel::drawMeterBarsBackground(juce::Graphics& g, MeterFlags flags, Rect b,
                                                     int numChannels, int channelSlots)
{
    if (!has(flags, LevelMeter::Compact))
    {
        LevelMeterLookAndFeel::drawMeterBarsBackground(g, flags, b, numChannels, channelSlots);
        return;
    }
    // Two stripes per channel: the gap after the last channel stays empty.
    drawCompactBackground(g, flags, getMeterInnerBounds(b, flags), numChannels, 2 * numChannels);
}

void TARVEKMeterLookAndFeel::drawMeterBars(juce::Graphics& g, MeterFlags flags, Rect b,
                                           const meters::LevelMeterSource* source, int channelSlots,
                                           int selectedChannel)
{
    if (source == nullptr) return;
    if (!has(flags, LevelMeter::Compact))
    {
        LevelMeterLookAndFeel::drawMeterBars(g, flags, b, source, channelSlots, selectedChannel);
        return;
    }
    const float height = g.getCurrentFont().getHeight();
    g.setFont(meters::pinnedFont(meters::pinnedFont(height).getHeightInPoints() - 3.0f));
    drawCompactChannels(g, flags, getMeterInnerBounds(b, flags), *source,
                        2 * source->getNumChannels(), 1 + labelOffset(flags));
}

void TARVEKMeterLookAndFeel::drawMeterBar(juce::Graphics& g, MeterFlags flags, Rect b, float rms,
                                          float peak)
{
    drawBarWith(g, flags, b, rms, peak, horizontalBarGradient, verticalBarGradient, -6.0f);
}
