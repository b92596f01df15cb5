#include "PluginProcessor.h"

PluginProcessor::PluginProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::quadraphonic(), true)
                          .withOutput ("Output", juce::AudioChannelSet::ambisonic (3), true))
{
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new PluginProcessor();
}
