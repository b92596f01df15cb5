#pragma once
// Placeholder editor: the beam display alone, until the full editor replaces it.
#include <juce_audio_processors/juce_audio_processors.h>

#include "BeamDisplay.h"
#include "PluginProcessor.h"

class PluginEditor : public juce::AudioProcessorEditor
{
  public:
    PluginEditor(PluginProcessor&, juce::AudioProcessorValueTreeState&);
    ~PluginEditor() override = default;

    void paint(juce::Graphics& g) override { g.fillAll(juce::Colours::black); }
    void resized() override { beamDisplay->setBounds(getLocalBounds()); }

  private:
    std::unique_ptr<BeamDisplay> beamDisplay;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(PluginEditor)
};
