#include "LevelMeterLookAndFeel.h"

#include <cmath>

namespace meters
{
namespace
{
using Rect = juce::Rectangle<float>;
using Flags = LevelMeter::MeterFlags;

bool has(Flags flags, int bit)
{
    return (static_cast<int>(flags) & bit) != 0;
}

// A rectangle whose sizes a subtraction made negative is clamped to no area.
Rect box(float x, float y, float w, float h)
{
    return {x, y, juce::jmax(0.0f, w), juce::jmax(0.0f, h)};
}

float nearest(float v)
{
    return std::round(v);
}

// Level in dB between the scale's floor and 0 dB. Silence, a negative level and a level that
// is not a number sit at the floor; an infinite level at full scale, so a bar never leaves
// its box.
float barDecibels(float level, float floorDb)
{
    if (!(level > 0.0f)) return floorDb;
    return juce::jlimit(floorDb, 0.0f, 20.0f * std::log10(level));
}

// The whole pixels inside a bar's box, leaving its 1-pixel outline alone.
struct PixelBox
{
    float x0, y0, w, h;
    explicit PixelBox(Rect b)
        : x0(std::ceil(b.getX()) + 1.0f), y0(std::ceil(b.getY()) + 1.0f),
          w(std::floor(b.getRight()) - std::ceil(b.getX() + 2.0f)),
          h(std::floor(b.getBottom()) - (std::ceil(b.getY()) + 2.0f))
    {
    }
    bool isEmpty() const { return !(w > 0.0f && h > 0.0f); }
};

// The reduction bar covers the right half of a vertical bar, the top half of a horizontal one.
Rect reductionArea(Rect bar, Flags flags)
{
    return has(flags, LevelMeter::Horizontal) ? bar.withHeight(bar.getHeight() * 0.5f)
                                              : bar.withTrimmedLeft(bar.getWidth() * 0.5f);
}

bool contains(Rect r, juce::Point<int> p)
{
    const auto px = (float)p.x, py = (float)p.y;
    return r.getX() <= px && px < r.getRight() && r.getY() <= py && py < r.getBottom();
}
} // namespace

LevelMeterLookAndFeel::LevelMeterLookAndFeel()
{
    setDefaultSansSerifTypefaceName(pinnedTypefaceName);
    LevelMeterLookAndFeel::setupDefaultMeterColours();
    setupDefaultStereoFieldColours();
}

LevelMeterLookAndFeel::~LevelMeterLookAndFeel() = default;

void LevelMeterLookAndFeel::setupDefaultMeterColours()
{
    setColour(LevelMeter::maxNumberTextColourId, juce::Colour(0xffd3d3d3));
    setColour(LevelMeter::dimTextColourId, juce::Colour(0xff555555));
    setColour(LevelMeter::maxNumberOverColourId, juce::Colour(0xffffffff));
    setColour(LevelMeter::tickMarkColourId, juce::Colour(0xffffa500));
    setColour(LevelMeter::borderColourId, juce::Colour(0xffffa500));
    setColour(LevelMeter::backgroundColourId, juce::Colour(0xff050a29));
    setColour(LevelMeter::clipLightOnColourId, juce::Colour(0xffff0000));
    setColour(LevelMeter::spareLightColourId, juce::Colour(0xff008000));
    setColour(LevelMeter::outlineColourId, juce::Colour(0xffd3d3d3));
    setColour(LevelMeter::boxBackgroundColourId, juce::Colour(0xff555555));
    setColour(LevelMeter::peakLowColourId, juce::Colour(0xffd3d3d3));
    setColour(LevelMeter::peakMidColourId, juce::Colour(0xffffa500));
    setColour(LevelMeter::peakHighColourId, juce::Colour(0xff8b0000));
    setColour(LevelMeter::barLowColourId, juce::Colour(0xff008000));
    setColour(LevelMeter::barMidColourId, juce::Colour(0xfffafad2));
    setColour(LevelMeter::barHighColourId, juce::Colour(0xffff0000));
    setColour(LevelMeter::reductionColourId, juce::Colour(0xffffa500));
}

void LevelMeterLookAndFeel::setupDefaultStereoFieldColours()
{
    setColour(StereoFieldComponent::stereoBackgroundColourId, juce::Colour(0xff050a29));
    setColour(StereoFieldComponent::stereoFrameColourId, juce::Colour(0xffc0c0c0));
    setColour(StereoFieldComponent::stereoGridColourId, juce::Colour(0xffc0c0c0));
    setColour(StereoFieldComponent::goniometerColourId, juce::Colour(0xffc0c0c0));
    setColour(StereoFieldComponent::stereoSpareColourId, juce::Colour(0xffc0c0c0));
    setColour(StereoFieldComponent::stereoSpareColourId2, juce::Colour(0xff555555));
}

void LevelMeterLookAndFeel::updateMeterGradients()
{
    horizontalGradient.clearColours();
    verticalGradient.clearColours();
}

LevelMeterLookAndFeel::ChannelReading
LevelMeterLookAndFeel::readChannel(const LevelMeterSource* source, int channel)
{
    ChannelReading r;
    if (source != nullptr && channel >= 0 && channel < source->getNumChannels())
    {
        r.rms = source->getAverageRms(channel);
        r.peak = source->getPeakLevel(channel);
        r.maxLevel = source->getMaxLevel(channel);
        r.reduction = source->getReductionLevel(channel);
        r.clipped = source->getClipFlag(channel);
    }
    return r;
}

// ---- geometry --------------------------------------------------------------------------

Rect LevelMeterLookAndFeel::getMeterInnerBounds(Rect b, Flags flags) const
{
    if (!has(flags, LevelMeter::Bordered)) return b;
    const float e = juce::jmin(b.getWidth(), b.getHeight()) * 0.01f + 3.0f;
    return box(b.getX() + e, b.getY() + e, b.getWidth() - 2.0f * e, b.getHeight() - 2.0f * e);
}

Rect LevelMeterLookAndFeel::getMeterBounds(Rect b, Flags flags, int numChannels, int channel) const
{
    if (has(flags, LevelMeter::SingleChannel)) return b;
    if (numChannels < 1) return {};
    const auto n = (float)numChannels, i = (float)channel;
    if (has(flags, LevelMeter::Horizontal))
        return box(b.getX(), b.getY() + i * b.getHeight() / n, b.getWidth(), b.getHeight() / n);
    return box(b.getX() + i * b.getWidth() / n, b.getY(), b.getWidth() / n, b.getHeight());
}

Rect LevelMeterLookAndFeel::getMeterBarBounds(Rect b, Flags flags) const
{
    const float x = b.getX(), y = b.getY(), w = b.getWidth(), h = b.getHeight();
    const bool horizontal = has(flags, LevelMeter::Horizontal);
    if (has(flags, LevelMeter::Compact))
    {
        if (horizontal)
        {
            const float m = 0.05f * h;
            return box(x + m, y + m, w - h - 3.0f * m, h - 2.0f * m);
        }
        const float m = 0.05f * w;
        const float barHeight = has(flags, LevelMeter::CompactMaxNumber) ? h - 1.5f * w - 3.0f * m
                                                                         : h - 3.0f * m - 0.5f * w;
        return box(x + m, y + 2.0f * m + 0.5f * w, w - 2.0f * m, barHeight);
    }
    if (has(flags, LevelMeter::AltStyle)) return b;
    if (!horizontal) return box(x + 0.05f * w, y + 0.325f * w, 0.45f * w, h - 0.425f * w - 25.0f);
    const float m = 0.05f * h, hp = 0.5f * h - 2.0f * m;
    // The width term includes the channel's x, as the meter has always laid it out.
    return box(x + 3.0f * m + 60.0f, y + m, x + w - 0.5f * hp - 7.0f * m - 60.0f, hp);
}

Rect LevelMeterLookAndFeel::getMeterTickmarksBounds(Rect b, Flags flags) const
{
    const float x = b.getX(), y = b.getY(), w = b.getWidth(), h = b.getHeight();
    const bool horizontal = has(flags, LevelMeter::Horizontal);
    if (has(flags, LevelMeter::Compact))
    {
        const auto bar = getMeterBarBounds(b, flags);
        return horizontal
                   ? box(bar.getX(), bar.getY() + 2.0f, bar.getWidth(), bar.getHeight() - 4.0f)
                   : box(bar.getX() + 2.0f, bar.getY(), bar.getWidth() - 4.0f, bar.getHeight());
    }
    if (has(flags, LevelMeter::AltStyle)) return b;
    if (!horizontal)
        return box(x + 0.5f * w, y + 0.325f * w + 2.0f, 0.45f * w, h - 0.425f * w - 29.0f);
    const float m = 0.05f * h, hp = 0.5f * h - 2.0f * m;
    return box(x + 3.0f * m + 60.0f, y + 0.5f * h + m, x + w - 0.5f * hp - 7.0f * m - 60.0f, hp);
}

Rect LevelMeterLookAndFeel::getMeterClipIndicatorBounds(Rect b, Flags flags) const
{
    const float x = b.getX(), y = b.getY(), w = b.getWidth(), h = b.getHeight();
    const bool horizontal = has(flags, LevelMeter::Horizontal);
    if (has(flags, LevelMeter::Compact))
    {
        if (horizontal)
        {
            const float m = 0.05f * h, side = h - 2.0f * m;
            return box(x + w - m - side, y + m, side, side);
        }
        const float m = 0.05f * w, side = w - 2.0f * m;
        return box(x + m, y + m, side, 0.5f * side);
    }
    if (has(flags, LevelMeter::AltStyle)) return b;
    if (!horizontal) return box(x + 0.05f * w, y + 0.05f * w, 0.45f * w, 0.225f * w);
    const float m = 0.05f * h, hp = 0.5f * h - 2.0f * m;
    return box(x + w - m - 0.5f * hp, y + m, 0.5f * hp, hp);
}

Rect LevelMeterLookAndFeel::getMeterMaxNumberBounds(Rect b, Flags flags) const
{
    const float x = b.getX(), y = b.getY(), w = b.getWidth(), h = b.getHeight();
    const bool horizontal = has(flags, LevelMeter::Horizontal);
    if (has(flags, LevelMeter::Compact))
    {
        if (!has(flags, LevelMeter::CompactMaxNumber)) return {};
        if (horizontal)
        {
            const float m = 0.05f * h, side = h - 2.0f * m;
            return box(x + w - m - side, y + m, side, side);
        }
        const float m = 0.05f * w, side = w - 2.0f * m;
        return box(x + m, y + h - m - 0.6f * side, side, 0.6f * side);
    }
    if (has(flags, LevelMeter::AltStyle)) return b;
    if (!horizontal) return box(x + 0.05f * w, y + h - 0.05f * w - 25.0f, 0.9f * w, 25.0f);
    return box(x + 0.05f * h, y + 0.55f * h, 60.0f, 0.4f * h);
}

Rect LevelMeterLookAndFeel::compactStripe(Rect inner, Flags flags, float stripeSize, int index)
{
    const float start = (float)index * stripeSize;
    if (has(flags, LevelMeter::Horizontal))
        return box(inner.getX(), start, inner.getWidth(), stripeSize);
    return box(start, inner.getY(), stripeSize, inner.getHeight());
}

void LevelMeterLookAndFeel::drawGapTickMarks(juce::Graphics& g, Flags flags, Rect inner,
                                             float stripeSize, int channel)
{
    const auto gap = compactStripe(inner, flags, stripeSize, 2 * channel + 1);
    if (const auto ticks = getMeterTickmarksBounds(gap, flags); !ticks.isEmpty())
        drawTickMarks(g, flags, ticks);
}

// ---- backgrounds -----------------------------------------------------------------------

Rect LevelMeterLookAndFeel::drawBackground(juce::Graphics& g, Flags flags, Rect b)
{
    if (b.isEmpty()) return {};
    g.setColour(findColour(LevelMeter::backgroundColourId));
    if (!has(flags, LevelMeter::Bordered))
    {
        g.fillRect(b);
        return b;
    }
    const float e = juce::jmin(b.getWidth(), b.getHeight()) * 0.01f;
    g.fillRoundedRectangle(b, e);
    g.setColour(findColour(LevelMeter::borderColourId));
    const auto frame =
        box(b.getX() + 3.0f, b.getY() + 3.0f, b.getWidth() - 6.0f, b.getHeight() - 6.0f);
    if (!frame.isEmpty()) g.drawRoundedRectangle(frame, e, 2.0f);
    return b.reduced(e + 3.0f);
}

void LevelMeterLookAndFeel::drawMeterBarsBackground(juce::Graphics& g, Flags flags, Rect b,
                                                    int numChannels, int channelSlots)
{
    const auto inner = getMeterInnerBounds(b, flags);
    if (has(flags, LevelMeter::Compact))
    {
        drawCompactBackground(g, flags, inner, numChannels, 2 * numChannels - 1);
        return;
    }
    if (has(flags, LevelMeter::SingleChannel))
    {
        drawMeterChannelBackground(g, flags, inner);
        return;
    }
    // Fixed slots show only the channels that have one.
    const int slots = channelSlots >= 0 ? channelSlots : numChannels;
    for (int i = 0; i < juce::jmin(numChannels, slots); ++i)
        drawMeterChannelBackground(g, flags, getMeterBounds(inner, flags, slots, i));
}

void LevelMeterLookAndFeel::drawCompactBackground(juce::Graphics& g, Flags flags, Rect inner,
                                                  int numChannels, int numStripes)
{
    if (numChannels < 1 || numStripes < 1) return;
    const float extent = has(flags, LevelMeter::Horizontal) ? inner.getHeight() : inner.getWidth();
    const float stripeSize = extent / (float)numStripes;
    for (int i = 0; i < numChannels; ++i)
    {
        const auto stripe = compactStripe(inner, flags, stripeSize, 2 * i);
        const auto bar = getMeterBarBounds(stripe, flags);
        if (!bar.isEmpty()) drawMeterBarBackground(g, flags, bar);
        const auto clip = getMeterClipIndicatorBounds(stripe, flags);
        if (!clip.isEmpty()) drawClipIndicatorBackground(g, flags, clip);
        if (i < numChannels - 1) drawGapTickMarks(g, flags, inner, stripeSize, i);
    }
}

void LevelMeterLookAndFeel::drawMeterChannelBackground(juce::Graphics& g, Flags flags, Rect b)
{
    if (const auto r = getMeterBarBounds(b, flags); !r.isEmpty())
        drawMeterBarBackground(g, flags, r);
    if (const auto r = getMeterClipIndicatorBounds(b, flags); !r.isEmpty())
        drawClipIndicatorBackground(g, flags, r);
    if (const auto r = getMeterTickmarksBounds(b, flags); !r.isEmpty()) drawTickMarks(g, flags, r);
    if (const auto r = getMeterMaxNumberBounds(b, flags); !r.isEmpty())
        drawMaxNumberBackground(g, flags, r);
}

void LevelMeterLookAndFeel::fillOutlined(juce::Graphics& g, Rect b, juce::Colour fill)
{
    g.setColour(fill);
    g.fillRect(b);
    g.setColour(findColour(LevelMeter::outlineColourId));
    g.drawRect(b, 1.0f);
}

void LevelMeterLookAndFeel::drawMeterBarBackground(juce::Graphics& g, Flags, Rect b)
{
    fillOutlined(g, b, findColour(LevelMeter::boxBackgroundColourId));
}

void LevelMeterLookAndFeel::drawClipIndicatorBackground(juce::Graphics& g, Flags flags, Rect b)
{
    drawMeterBarBackground(g, flags, b);
}

void LevelMeterLookAndFeel::drawMaxNumberBackground(juce::Graphics& g, Flags, Rect b)
{
    g.setColour(findColour(LevelMeter::boxBackgroundColourId));
    g.fillRect(b);
}

// ---- levels ----------------------------------------------------------------------------

void LevelMeterLookAndFeel::drawMeterBars(juce::Graphics& g, Flags flags, Rect b,
                                          const LevelMeterSource* source, int channelSlots,
                                          int selectedChannel)
{
    if (source == nullptr) return;
    const auto inner = getMeterInnerBounds(b, flags);
    const int n = source->getNumChannels();
    if (has(flags, LevelMeter::Compact))
    {
        drawCompactChannels(g, flags, inner, *source, 2 * n - 1, -1);
        return;
    }
    if (has(flags, LevelMeter::SingleChannel))
    {
        if (selectedChannel >= 0) drawMeterChannel(g, flags, inner, source, selectedChannel);
        return;
    }
    const int slots = channelSlots >= 0 ? channelSlots : n;
    for (int i = 0; i < juce::jmin(n, slots); ++i)
        drawMeterChannel(g, flags, getMeterBounds(inner, flags, slots, i), source, i);
}

void LevelMeterLookAndFeel::drawCompactChannels(juce::Graphics& g, Flags flags, Rect inner,
                                                const LevelMeterSource& source, int numStripes,
                                                int firstLabel)
{
    const int n = source.getNumChannels();
    if (n < 1 || numStripes < 1) return;
    const bool horizontal = has(flags, LevelMeter::Horizontal);
    const float stripeSize =
        (horizontal ? inner.getHeight() : inner.getWidth()) / (float)numStripes;
    // The maximum numbers set their own font: each label gets the one the caller set.
    const auto labelFont = g.getCurrentFont();
    for (int i = 0; i < n; ++i)
    {
        const auto level = readChannel(&source, i);
        const auto stripe = compactStripe(inner, flags, stripeSize, 2 * i);
        const auto bar = getMeterBarBounds(stripe, flags);
        drawMeterBar(g, flags, bar, level.rms, level.peak);
        if (firstLabel >= 0)
        {
            g.setColour(juce::Colours::white);
            g.setFont(labelFont);
            const auto label =
                horizontal
                    ? juce::Rectangle<int>((int)(bar.getX() - 14.0f), (int)(bar.getY() + 1.0f), 14,
                                           (int)bar.getHeight())
                    : juce::Rectangle<int>((int)bar.getX(), (int)bar.getBottom(),
                                           (int)(bar.getWidth() + 4.0f), 15);
            g.drawFittedText(juce::String(firstLabel + i), label, juce::Justification::centred, 1);
        }
        if (level.reduction >= 0.0f && level.reduction < 1.0f)
            drawMeterReduction(g, flags, reductionArea(bar, flags), level.reduction);
        if (const auto clip = getMeterClipIndicatorBounds(stripe, flags); !clip.isEmpty())
            drawClipIndicator(g, flags, clip, level.clipped);
        const auto share = horizontal
                               ? stripe
                               : box(inner.getX() + (float)i * inner.getWidth() / (float)n,
                                     inner.getY(), inner.getWidth() / (float)n, inner.getHeight());
        if (const auto number = getMeterMaxNumberBounds(share, flags); !number.isEmpty())
            drawMaxNumber(g, flags, number, level.maxLevel);
        if (i < n - 1) drawGapTickMarks(g, flags, inner, stripeSize, i);
    }
}

void LevelMeterLookAndFeel::drawMeterChannel(juce::Graphics& g, Flags flags, Rect b,
                                             const LevelMeterSource* source, int channel)
{
    if (source == nullptr) return;
    const auto level = readChannel(source, channel);
    const bool showReduction = has(flags, LevelMeter::ShowReduction);
    if (const auto bar = getMeterBarBounds(b, flags); !bar.isEmpty())
    {
        if (showReduction)
        {
            // A channel the source does not have (reduction -1) would read as the deepest
            // reduction: it gets no bar.
            if (level.reduction >= 0.0f) drawMeterBar(g, flags, bar, level.reduction, 0.0f);
        }
        else
        {
            drawMeterBar(g, flags, bar, level.rms, level.peak);
            if (level.reduction >= 0.0f && level.reduction < 1.0f)
                drawMeterReduction(g, flags, reductionArea(bar, flags), level.reduction);
        }
    }
    if (const auto clip = getMeterClipIndicatorBounds(b, flags); level.clipped && !clip.isEmpty())
        drawClipIndicator(g, flags, clip, true);
    if (const auto number = getMeterMaxNumberBounds(b, flags); !number.isEmpty())
        drawMaxNumber(g, flags, number, showReduction ? level.reduction : level.maxLevel);
}

void LevelMeterLookAndFeel::drawMeterBar(juce::Graphics& g, Flags flags, Rect b, float rms,
                                         float peak)
{
    drawBarWith(g, flags, b, rms, peak, horizontalGradient, verticalGradient, -5.0f);
}

void LevelMeterLookAndFeel::drawBarWith(juce::Graphics& g, Flags flags, Rect b, float rms,
                                        float peak, juce::ColourGradient& horizontalCache,
                                        juce::ColourGradient& verticalCache,
                                        float horizontalMidThresholdDb)
{
    const PixelBox px(b);
    // A box without pixels draws nothing, and must not fix the gradient to a degenerate
    // extent either.
    if (has(flags, LevelMeter::AltStyle) || px.isEmpty()) return;
    const bool horizontal = has(flags, LevelMeter::Horizontal);
    const bool reduction = has(flags, LevelMeter::ShowReduction);
    const float floorDb = reduction ? -30.0f : -100.0f;
    const float r = barDecibels(rms, floorDb);

    if (reduction)
    {
        g.setColour(findColour(LevelMeter::reductionColourId));
        if (horizontal)
        {
            const float left = px.x0 + px.w * r / floorDb;
            g.fillRect(Rect(left, px.y0, px.x0 + px.w - left, px.h));
        }
        else
        {
            g.fillRect(Rect(px.x0, px.y0, px.w, px.h * r / floorDb));
        }
        return;
    }

    auto& gradient = horizontal ? horizontalCache : verticalCache;
    if (gradient.getNumColours() < 2)
    {
        const auto low = findColour(LevelMeter::barLowColourId);
        gradient = horizontal ? juce::ColourGradient(low, px.x0, px.y0,
                                                     findColour(LevelMeter::barHighColourId),
                                                     px.x0 + px.w, px.y0, false)
                              : juce::ColourGradient(low, px.x0, px.y0 + px.h,
                                                     findColour(LevelMeter::barHighColourId), px.x0,
                                                     px.y0, false);
        gradient.addColour(0.5, low);
        gradient.addColour(0.75, findColour(LevelMeter::barMidColourId));
    }
    g.setGradientFill(gradient);
    if (horizontal)
    {
        const float right = px.x0 + px.w - px.w * r / floorDb;
        g.fillRect(Rect(px.x0, px.y0, right - px.x0, px.h));
    }
    else
    {
        const float top = px.y0 + px.h * r / floorDb;
        g.fillRect(Rect(px.x0, top, px.w, px.y0 + px.h - top));
    }

    const float p = barDecibels(peak, floorDb);
    if (!(p > -49.0f)) return;
    const float midThreshold = horizontal ? horizontalMidThresholdDb : -5.0f;
    g.setColour(findColour(p > -0.3f          ? LevelMeter::peakHighColourId
                           : p > midThreshold ? LevelMeter::peakMidColourId
                                              : LevelMeter::peakLowColourId));
    if (horizontal)
        g.fillRect(
            Rect(nearest(px.x0 + px.w - juce::jmax(0.0f, px.w * p / floorDb)), px.y0, 1.0f, px.h));
    else
        g.fillRect(Rect(px.x0, nearest(px.y0 + juce::jmax(0.0f, px.h * p / floorDb)), px.w, 1.0f));
}

void LevelMeterLookAndFeel::drawMeterReduction(juce::Graphics& g, Flags flags, Rect b,
                                               float reduction)
{
    const PixelBox px(b);
    if (px.isEmpty()) return;
    const float d = barDecibels(reduction, -30.0f);
    g.setColour(findColour(LevelMeter::reductionColourId));
    if (has(flags, LevelMeter::Horizontal))
    {
        const float left = px.x0 + px.w * d / -30.0f;
        g.fillRect(Rect(left, px.y0, px.x0 + px.w - left, px.h));
    }
    else
    {
        g.fillRect(Rect(px.x0, px.y0, px.w, px.h * d / -30.0f));
    }
}

void LevelMeterLookAndFeel::drawClipIndicator(juce::Graphics& g, Flags, Rect b, bool hasClipped)
{
    fillOutlined(g, b,
                 findColour(hasClipped ? LevelMeter::clipLightOnColourId
                                       : LevelMeter::boxBackgroundColourId));
}

void LevelMeterLookAndFeel::drawMaxNumber(juce::Graphics& g, Flags, Rect b, float maxGain)
{
    g.setColour(findColour(LevelMeter::boxBackgroundColourId));
    g.fillRect(b);
    // Above full scale the number goes on rising; an infinite maximum shows as +100 dB
    // rather than as text that is not a number.
    const float v =
        maxGain > 0.0f ? juce::jlimit(-100.0f, 100.0f, 20.0f * std::log10(maxGain)) : -100.0f;
    g.setColour(findColour(v > 0.0f ? LevelMeter::maxNumberOverColourId
                                    : LevelMeter::maxNumberTextColourId));
    g.setFont(pinnedFont(0.5f * b.getHeight()));
    const juce::Rectangle<int> text((int)nearest(b.getX() + 2.0f), (int)nearest(b.getY() + 2.0f),
                                    (int)nearest(b.getWidth() - 4.0f),
                                    (int)nearest(b.getHeight() - 4.0f));
    if (!text.isEmpty())
        g.drawFittedText(juce::String((double)v, 1) + " dB", text, juce::Justification::centred, 1);
    g.setColour(findColour(LevelMeter::outlineColourId));
    g.drawRect(b, 1.0f);
}

// ---- scale -----------------------------------------------------------------------------

void LevelMeterLookAndFeel::drawTickMarks(juce::Graphics& g, Flags flags, Rect b)
{
    const float x = b.getX(), y = b.getY(), w = b.getWidth(), h = b.getHeight();
    const float floorDb = has(flags, LevelMeter::ShowReduction) ? -30.0f : -100.0f;
    const auto line = [&g](float x1, float x2, float atY) {
        g.fillRect(Rect(x1, nearest(atY), x2 - x1, 1.0f));
    };
    g.setColour(findColour(LevelMeter::tickMarkColourId));

    if (has(flags, LevelMeter::Compact))
    {
        if (has(flags, LevelMeter::Horizontal))
        {
            for (int k = 0; k <= 10; ++k)
                g.fillRect(Rect(nearest(x + (float)k * 0.1f * w), y + 4.0f, 1.0f, h - 8.0f));
            return;
        }
        const float step = (h - 2.0f) * 0.1f;
        for (int k = 0; k <= 10; ++k) line(x + 4.0f, x + w, y + (float)k * step + 1.0f);
        if (!(step > 10.0f && w > 20.0f)) return;
        g.setFont(pinnedFont(0.5f * step));
        for (int k = 0; k <= 9; ++k)
            g.drawFittedText(juce::String((double)k * 0.1 * floorDb),
                             juce::Rectangle<int>((int)nearest(x),
                                                  (int)nearest(y + (float)k * step + 2.0f),
                                                  (int)nearest(w), (int)nearest(0.6f * step)),
                             juce::Justification::centredTop, 1);
        return;
    }
    if (has(flags, LevelMeter::Horizontal) || has(flags, LevelMeter::AltStyle)) return;

    const float step = (h - 2.0f) * 0.05f;
    g.setFont(pinnedFont(0.8f * step));
    for (int i = 0; i <= 20; ++i)
    {
        const float yi = y + (float)i * step;
        if (i % 2 != 0)
        {
            line(x + 4.0f, x + w * 0.5f, yi + 2.0f);
            continue;
        }
        line(x + 4.0f, x + w, yi + 1.0f);
        if (i < 20)
            g.drawFittedText(juce::String((double)i * 0.05 * floorDb),
                             juce::Rectangle<int>((int)nearest(x), (int)nearest(yi + 4.0f),
                                                  (int)nearest(w), (int)nearest(0.6f * step)),
                             juce::Justification::topRight, 1);
    }
}

// ---- clicks ----------------------------------------------------------------------------

int LevelMeterLookAndFeel::hitTestClipIndicator(juce::Point<int> position, Flags flags, Rect b,
                                                const LevelMeterSource* source) const
{
    return hitTest(position, flags, b, source, &LevelMeterLookAndFeel::getMeterClipIndicatorBounds);
}

int LevelMeterLookAndFeel::hitTestMaxNumber(juce::Point<int> position, Flags flags, Rect b,
                                            const LevelMeterSource* source) const
{
    return hitTest(position, flags, b, source, &LevelMeterLookAndFeel::getMeterMaxNumberBounds);
}

// Clicks are found on the per-channel layout, whatever layout is drawn.
int LevelMeterLookAndFeel::hitTest(juce::Point<int> position, Flags flags, Rect b,
                                   const LevelMeterSource* source, AreaOf area) const
{
    const int n = source != nullptr ? source->getNumChannels() : 0;
    for (int i = 0; i < n; ++i)
        if (contains((this->*area)(getMeterBounds(b, flags, n, i), flags), position)) return i;
    return -1;
}

// ---- stereo field ----------------------------------------------------------------------

void LevelMeterLookAndFeel::drawGonioBackground(juce::Graphics& g, Rect b, float margin,
                                                float border)
{
    g.setColour(findColour(StereoFieldComponent::stereoBackgroundColourId));
    g.fillAll();
    g.setColour(findColour(StereoFieldComponent::stereoFrameColourId));
    g.drawRoundedRectangle(box(b.getX() + margin * 0.5f, b.getY() + margin * 0.5f,
                               b.getWidth() - margin, b.getHeight() - margin),
                           margin * 0.5f, border);
    const float side = juce::jmin(b.getWidth(), b.getHeight());
    g.setColour(findColour(StereoFieldComponent::stereoGridColourId));
    const auto square = b.withSizeKeepingCentre(side, side).reduced(10.0f);
    if (!square.isEmpty()) g.drawEllipse(square, 1.0f);
}

void LevelMeterLookAndFeel::drawGonioMeter(juce::Graphics& g, Rect b,
                                           const StereoFieldComponent::SampleRing& ring,
                                           int leftChannel, int rightChannel)
{
    g.setColour(findColour(StereoFieldComponent::goniometerColourId));
    const float side = juce::jmin(b.getWidth(), b.getHeight());
    const auto area = b.withSizeKeepingCentre(side, side);
    g.strokePath(makeGoniometerPath(area, ring, 512, leftChannel, rightChannel),
                 juce::PathStrokeType(1.0f));
}

juce::Path LevelMeterLookAndFeel::makeGoniometerPath(Rect area,
                                                     const StereoFieldComponent::SampleRing& ring,
                                                     int numSamples, int leftChannel,
                                                     int rightChannel)
{
    juce::Path path;
    const auto& buffer = ring.samples;
    const int size = buffer.getNumSamples();
    const int channels = buffer.getNumChannels();
    if (size < 1 || leftChannel < 0 || rightChannel < 0 || leftChannel >= channels ||
        rightChannel >= channels)
        return path;
    const int count = juce::jlimit(0, size, numSamples);
    const int writePosition = ((ring.writePosition % size) + size) % size;
    const auto* left = buffer.getReadPointer(leftChannel);
    const auto* right = buffer.getReadPointer(rightChannel);
    const auto centre = area.getCentre();
    for (int k = 0; k < count; ++k)
    {
        const int index = (writePosition - count + k + size) % size;
        const float l = left[index], r = right[index];
        // A sample that is not finite would make the whole trace unbounded: it is left out.
        if (!std::isfinite(l) || !std::isfinite(r)) continue;
        const juce::Point<float> point(centre.x + (r - l) * area.getWidth() * 0.5f,
                                       centre.y + (l + r) * area.getHeight() * 0.5f);
        if (path.isEmpty())
            path.startNewSubPath(point);
        else
            path.lineTo(point);
    }
    return path;
}

void LevelMeterLookAndFeel::drawStereoFieldBackground(juce::Graphics& g, Rect b, float margin,
                                                      float border)
{
    g.drawRoundedRectangle(box(b.getX() + margin * 0.5f, b.getY() + margin * 0.5f,
                               b.getWidth() - margin, b.getHeight() - margin),
                           margin * 0.5f, border);
    const auto inner = b.reduced(margin);
    const float width = inner.getWidth(), cx = inner.getCentreX(), yb = inner.getBottom();
    juce::Path path;
    path.addRectangle(inner);
    for (const float radius : {width * 0.5f, width * 0.25f})
    {
        const auto pointAt = [=](float a) {
            return juce::Point<float>(cx + std::sin(a) * radius, yb - std::cos(a) * radius);
        };
        path.startNewSubPath(pointAt(1.5f * juce::MathConstants<float>::pi));
        for (float a = 1.5f * juce::MathConstants<float>::pi + 0.05f;
             a < 2.5f * juce::MathConstants<float>::pi; a += 0.05f)
            path.lineTo(pointAt(a));
        path.lineTo(cx + radius, yb);
    }
    const float d = width * 0.5f / std::sqrt(2.0f);
    const juce::Point<float> base(cx, yb);
    path.addLineSegment({base, {cx - d, yb - d}}, 1.0f);
    path.addLineSegment({base, {cx, yb - width * 0.5f}}, 1.0f);
    path.addLineSegment({base, {cx + d, yb - d}}, 1.0f);
    g.strokePath(path, juce::PathStrokeType(1.0f));
}

void LevelMeterLookAndFeel::drawStereoField(juce::Graphics&, Rect,
                                            const StereoFieldComponent::SampleRing&, int, int)
{
}

} // namespace meters
