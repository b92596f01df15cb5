#pragma once
// The editor's meter style: dark colours, numbered channels in the compact layout, no tick
// marks, narrow clip lights, and bar gradients fixed by the first bars drawn.
#include <juce_gui_basics/juce_gui_basics.h>

#include "LevelMeterLookAndFeel.h"

class TARVEKMeterLookAndFeel : public meters::LevelMeterLookAndFeel
{
  public:
    TARVEKMeterLookAndFeel();
    ~TARVEKMeterLookAndFeel() override;

    void setupDefaultMeterColours() override;
    Rect getMeterBarBounds(Rect bounds, MeterFlags flags) const override;
    Rect getMeterTickmarksBounds(Rect bounds, MeterFlags flags) const override;
    Rect getMeterClipIndicatorBounds(Rect bounds, MeterFlags flags) const override;
    void drawMeterBars(juce::Graphics&, MeterFlags flags, Rect bounds,
                       const meters::LevelMeterSource* source, int channelSlots,
                       int selectedChannel) override;
    void drawMeterBarsBackground(juce::Graphics&, MeterFlags flags, Rect bounds, int numChannels,
                                 int channelSlots) override;
    void drawMeterBar(juce::Graphics&, MeterFlags flags, Rect bounds, float rms,
                      float peak) override;

  private:
    // Never emptied (updateMeterGradients empties only the base's): every meter sharing this
    // look-and-feel keeps the gradient of the first bar drawn in each direction.
    juce::ColourGradient horizontalBarGradient;
    juce::ColourGradient verticalBarGradient;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(TARVEKMeterLookAndFeel)
};
