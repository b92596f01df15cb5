#pragma once
// Helpers for the meter tests: sources at chosen levels, meters painted into images, probes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "LevelMeter.h"
#include "LevelMeterLookAndFeel.h"
#include "TARVEKMeterLookAndFeel.h"

namespace meter_test
{
inline float fromDecibels(float db)
{
    return std::pow(10.0f, db / 20.0f);
}

// A clock that stands still: a source on it never decays between feeding and painting.
const auto stillClock = [] { return juce::int64(0); };

/** Gives every channel one block of constant samples at these linear levels. */
inline void feed(meters::LevelMeterSource& source, const std::vector<float>& levels)
{
    if (source.getNumChannels() != (int)levels.size()) source.resize((int)levels.size(), 1);
    juce::AudioBuffer<float> block((int)levels.size(), 64);
    for (int c = 0; c < block.getNumChannels(); ++c)
        juce::FloatVectorOperations::fill(block.getWritePointer(c), levels[(size_t)c], 64);
    source.measureBlock(block);
}

/** A transparent image of this size with whatever draw() paints into it. */
inline juce::Image render(int w, int h, const std::function<void(juce::Graphics&)>& draw)
{
    juce::Image image(juce::Image::ARGB, juce::jmax(1, w), juce::jmax(1, h), true);
    juce::Graphics g(image);
    draw(g);
    return image;
}

inline juce::Image paint(meters::LevelMeter& meter)
{
    return render(meter.getWidth(), meter.getHeight(), [&](juce::Graphics& g) { meter.paint(g); });
}

inline bool sameRegion(const juce::Image& a, juce::Rectangle<int> ra, const juce::Image& b,
                       juce::Point<int> bOrigin)
{
    for (int y = ra.getY(); y < ra.getBottom(); ++y)
        for (int x = ra.getX(); x < ra.getRight(); ++x)
            if (a.getPixelAt(x, y) !=
                b.getPixelAt(x - ra.getX() + bOrigin.x, y - ra.getY() + bOrigin.y))
                return false;
    return true;
}

inline bool sameImage(const juce::Image& a, const juce::Image& b)
{
    return a.getBounds() == b.getBounds() && sameRegion(a, a.getBounds(), b, {});
}

inline int countPixels(const juce::Image& image, juce::Rectangle<int> area, juce::Colour colour)
{
    int count = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            count += image.getPixelAt(x, y) == colour ? 1 : 0;
    return count;
}

/** A meter on a source, with an optional look-and-feel that it drops before it goes. */
struct MeterRig
{
    MeterRig(int flags, int w, int h, juce::LookAndFeel* laf = nullptr) : meter(flags)
    {
        meter.setLookAndFeel(laf);
        meter.setSize(w, h);
        meter.setMeterSource(&source);
    }
    ~MeterRig() { meter.setLookAndFeel(nullptr); }

    meters::LevelMeterSource source{stillClock};
    meters::LevelMeter meter;
};

inline juce::MouseEvent click(juce::Component& target, juce::Point<int> at, juce::ModifierKeys mods)
{
    const auto p = at.toFloat();
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent(juce::Desktop::getInstance().getMainMouseSource(), p, mods, 1.0f, 0.0f,
                            0.0f, 0.0f, 0.0f, &target, &target, now, p, now, 1, false);
}
} // namespace meter_test
