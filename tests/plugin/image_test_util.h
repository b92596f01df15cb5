#pragma once
// Drawing tests paint offscreen and probe pixels in flat areas.
#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

namespace imagetest
{
// A transparent image of this size with whatever draw() paints into it.
inline juce::Image render(int w, int h, const std::function<void(juce::Graphics&)>& draw)
{
    juce::Image image(juce::Image::ARGB, juce::jmax(1, w), juce::jmax(1, h), true);
    juce::Graphics g(image);
    draw(g);
    return image;
}

// Snapshots at 4x put one-pixel rings over whole image pixels; probes take logical coordinates.
struct Shot
{
    static constexpr float zoom = 4.0f;
    explicit Shot(juce::Component& c)
        : image(c.createComponentSnapshot(c.getLocalBounds(), true, zoom))
    {
    }
    juce::Colour at(float x, float y) const
    {
        return image.getPixelAt((int)std::floor(x * zoom), (int)std::floor(y * zoom));
    }
    juce::Image image;
};

// Colours match within the rounding of premultiplied pixels.
inline testing::AssertionResult looksLike(juce::Colour got, juce::Colour want)
{
    const auto near = [](int a, int b) { return std::abs(a - b) <= 3; };
    if (near(got.getAlpha(), want.getAlpha()) &&
        (want.getAlpha() == 0 ||
         (near(got.getRed(), want.getRed()) && near(got.getGreen(), want.getGreen()) &&
          near(got.getBlue(), want.getBlue()))))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << got.toDisplayString(true) << " is not " << want.toDisplayString(true);
}

// Counts the pixels of the area that satisfy the predicate.
inline int countPixels(const juce::Image& image, juce::Rectangle<int> area,
                       const std::function<bool(juce::Colour)>& match)
{
    int count = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x) count += match(image.getPixelAt(x, y));
    return count;
}

inline int countPixels(const juce::Image& image, juce::Rectangle<int> area, juce::Colour colour)
{
    return countPixels(image, area, [colour](juce::Colour c) { return c == colour; });
}

// The same size and the same pixels (for areas: compare getClippedImage()s).
inline bool sameImage(const juce::Image& a, const juce::Image& b)
{
    if (a.getBounds() != b.getBounds()) return false;
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (a.getPixelAt(x, y) != b.getPixelAt(x, y)) return false;
    return true;
}
} // namespace imagetest
