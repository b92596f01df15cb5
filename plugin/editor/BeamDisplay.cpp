#include "BeamDisplay.h"

#include <cmath>

namespace
{
juce::Colour beamColour(int flags, int speaker, float e, juce::Colour current)
{
    const int g80 = (int)(e * 80.0f);
    auto tinted = [g80](int r, int g, int b) {
        return juce::Colour((juce::uint8)r, (juce::uint8)juce::jlimit(0, 255, g + g80),
                            (juce::uint8)b);
    };
    if (flags & 0x2) return tinted(0xed, 0xb1, 0x20);
    if (flags & 0x4) return tinted(0xdc, 0x6e, 0xc8);
    if (flags & 0x20) return tinted(0xfa, 0x5a, 0x5a);
    if (flags & 0x8) return tinted(0x6e, 0xdc, 0x82);
    if (flags & 0x10) return tinted(0x64, 0xa5, 0xdc);
    if (flags & 0x200)
    {
        static const juce::uint32 capsule[] = {0xffff0000, 0xffffff00, 0xff008000, 0xff0000ff};
        return juce::isPositiveAndBelow(speaker, 4) ? juce::Colour(capsule[speaker]) : current;
    }
    if (flags & (0x400 | 0x800 | 0x1000 | 0x2000)) return juce::Colour(0xffb22222);
    if (flags & 0x4000) return juce::Colour(0xff555555);
    return juce::Colours::white;
}
} // namespace

BeamDisplay::BeamDisplay(PluginProcessor& p)
    : processor(p), data(std::make_unique<PluginProcessor::BeamData>())
{
    setSize(600, 400);
    setOpaque(true); // paint fills the whole display black first
    processor.registerBeamDisplay();
    timerCallback();
    startTimerHz(30);
}

BeamDisplay::~BeamDisplay()
{
    stopTimer();
    processor.unregisterBeamDisplay();
}

void BeamDisplay::setBeamData(const PluginProcessor::BeamData& d)
{
    *data = d;
    repaint();
}

void BeamDisplay::timerCallback()
{
    if (processor.getBeamDataSequence() == seenSequence) return;
    seenSequence = processor.copyBeamData(*data);
    repaint();
}

void BeamDisplay::paint(juce::Graphics& g)
{
    const auto w = (float)getWidth(), h = (float)getHeight();
    g.fillAll(juce::Colours::black);
    paintGuides(g, w, h);
    // A capsule beam past the fourth keeps the colour of the beam before it.
    auto colour = juce::Colours::white;
    for (int k = 0; k < juce::jlimit(0, PluginProcessor::BeamData::maxBeams, data->numBeams); ++k)
        paintBeam(g, k, w, h, colour);
}

void BeamDisplay::paintGuides(juce::Graphics& g, float w, float h) const
{
    g.setColour(juce::Colours::white);
    g.setOpacity(0.333f);
    g.drawLine(w / 2, (float)(0.005 * h), w / 2, (float)(0.995 * h), 1.0f);
    g.drawLine((float)(0.005 * w), h / 2, (float)(0.995 * w), h / 2, 1.0f);
    const float d735 = 0.735f;
    const std::pair<float, float> circles[] = {{0.98f, 1.0f},
                                               {d735, 4.0f},
                                               {d735 / std::sqrt(2.0f), 1.0f},
                                               {d735 / 2, 1.0f},
                                               {d735 / 4, 1.0f}};
    for (auto [d, thickness] : circles)
        g.drawEllipse((1 - d) / 2 * w, (1 - d) / 2 * h, d * w, d * h, thickness);
}

void BeamDisplay::paintBeam(juce::Graphics& g, int k, float w, float h, juce::Colour& colour) const
{
    const int b = juce::jlimit(0, PluginProcessor::BeamData::maxBeams - 1, data->beamIndex[k]);
    const float e = (float)data->beamElevation[k] / 90.0f;
    colour = beamColour(data->beamFlags[b], b, e, colour);
    g.setColour(colour);
    const auto s = (float)(((double)e * 0.25 + 1.0) * 0.98);
    auto point = [&](int a) {
        return juce::Point<float>(w / 2 + data->responseY[b][a] * s * w / 2,
                                  h / 2 - data->responseX[b][a] * s * h / 2);
    };
    // Each segment is stroked on its own so thickness and opacity vary along the curve. A
    // butt-ended stroke of one straight segment is the rectangle around it: filling that
    // rectangle directly draws the same shape without the general stroker's work, and one
    // path object serves every segment.
    juce::Path segment;
    for (int a = 0; a < PluginProcessor::BeamData::numAngles - 1; ++a)
    {
        const float z = data->responseZ[b][a + 1] * s;
        if (!std::isfinite(z)) continue;
        segment.clear();
        segment.addLineSegment({point(a + 1), point(a)}, (float)(((double)z + 1.0) * 3.0 + 1.0));
        g.setOpacity(juce::jlimit(0.0f, 1.0f, (z + 1) * 0.25f + 0.5f));
        g.fillPath(segment);
    }
}
