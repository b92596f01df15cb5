#include "PluginEditor.h"

PluginEditor::PluginEditor(PluginProcessor& p, juce::AudioProcessorValueTreeState&)
    : juce::AudioProcessorEditor(p), beamDisplay(std::make_unique<BeamDisplay>(p))
{
    beamDisplay->setName("BeamDisplay");
    addAndMakeVisible(*beamDisplay);
    setSize(600, 400);
}
