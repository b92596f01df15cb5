#pragma once
// A processor driven the way a host drives it: layout, preparation, parameter changes by
// plain value, blocks of a fixed test signal.
#include "PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>

struct ProcessorFixture
{
    PluginProcessor p;
    juce::MidiBuffer midi;

    explicit ProcessorFixture(juce::AudioChannelSet in = juce::AudioChannelSet::quadraphonic(),
                              juce::AudioChannelSet out = juce::AudioChannelSet::ambisonic(3),
                              double rate = 48000.0, int block = 480)
    {
        auto layout = p.getBusesLayout();
        layout.getChannelSet(true, 0) = in;
        layout.getChannelSet(false, 0) = out;
        EXPECT_TRUE(p.setBusesLayout(layout));
        prepare(rate, block);
    }

    void prepare(double rate, int block)
    {
        p.setRateAndBufferSizeDetails(rate, block);
        p.prepareToPlay(rate, block);
    }

    void set(const char* id, float plainValue)
    {
        auto* param = p.parameters.getParameter(id);
        param->setValueNotifyingHost(param->convertTo0to1(plainValue));
    }

    // Deterministic noise on the host's input channels, silence on the others.
    static void fill(juce::AudioBuffer<float>& b, int inputs, juce::uint32& seed)
    {
        b.clear();
        for (int ch = 0; ch < inputs; ++ch)
            for (int i = 0; i < b.getNumSamples(); ++i)
            {
                seed = seed * 1664525u + 1013904223u;
                b.setSample(ch, i, ((float)(seed >> 8) / 16777216.0f - 0.5f) * 0.5f);
            }
    }

    // Runs totalSamples of noise in place through blocks of the given lengths (cycled).
    juce::AudioBuffer<float> run(int totalSamples, std::initializer_list<int> blockLengths,
                                 int inputs = 4)
    {
        juce::AudioBuffer<float> io(
            juce::jmax(p.getTotalNumInputChannels(), p.getTotalNumOutputChannels()), totalSamples);
        juce::uint32 seed = 1;
        fill(io, inputs, seed);
        auto length = blockLengths.begin();
        for (int start = 0, n = 0; start < totalSamples; start += n)
        {
            n = juce::jmin(*length, totalSamples - start);
            juce::AudioBuffer<float> block(io.getArrayOfWritePointers(), io.getNumChannels(), start,
                                           n);
            p.processBlock(block, midi);
            if (++length == blockLengths.end()) length = blockLengths.begin();
        }
        return io;
    }
};

inline bool identical(const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b,
                      int channels)
{
    for (int ch = 0; ch < channels; ++ch)
        for (int i = 0; i < a.getNumSamples(); ++i)
            if (a.getSample(ch, i) != b.getSample(ch, i)) return false;
    return true;
}

inline float channelPeak(const juce::AudioBuffer<float>& b, int ch, int from = 0)
{
    return b.getMagnitude(ch, from, b.getNumSamples() - from);
}
