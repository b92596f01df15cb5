#pragma once
// Polar curves of the decoder's speaker beams seen from above, coloured by speaker type,
// scaled by elevation and drawn thicker where a beam points upwards. The processor computes
// the data off the audio thread; the display takes it up on the message thread.
#include <juce_gui_basics/juce_gui_basics.h>

#include "PluginProcessor.h"

class BeamDisplay : public juce::Component, private juce::Timer
{
  public:
    explicit BeamDisplay(PluginProcessor&);
    ~BeamDisplay() override;

    void paint(juce::Graphics&) override;
    void resized() override {}

    // Takes the given beams as they are (the timer does this with the processor's data).
    void setBeamData(const PluginProcessor::BeamData&);

  private:
    void timerCallback() override;
    void paintGuides(juce::Graphics&, float w, float h) const;
    void paintBeam(juce::Graphics&, int k, float w, float h, juce::Colour& colour) const;

    PluginProcessor& processor;
    std::unique_ptr<PluginProcessor::BeamData> data;
    juce::uint32 seenSequence = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(BeamDisplay)
};
