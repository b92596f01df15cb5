#pragma once
#include "PinnedFont.h"
// The level meter's default look-and-feel: geometry, colours and drawing of every meter
// layout, plus the drawing of a stereo-field display (goniometer).
#include <juce_gui_basics/juce_gui_basics.h>

#include "LevelMeter.h"

namespace meters
{
/** The stereo-field display's drawing interface and colours. This plug-in has no such
    display; the interface is kept so one can be drawn with the meters' look-and-feels. */
struct StereoFieldComponent
{
    enum ColourIds
    {
        stereoBackgroundColourId = 0x2200101,
        stereoFrameColourId = 0x2200102,
        stereoGridColourId = 0x2200103,
        goniometerColourId = 0x2200104,
        stereoSpareColourId = 0x2200105,
        stereoSpareColourId2 = 0x2200106
    };

    /** The recent stereo samples a goniometer shows: a buffer used as a ring, and the index
        the next sample will be written to. */
    struct SampleRing
    {
        juce::AudioBuffer<float> samples;
        int writePosition = 0;
    };

    class LookAndFeelMethods
    {
      public:
        virtual ~LookAndFeelMethods() = default;
        virtual void setupDefaultStereoFieldColours() = 0;
        virtual void drawGonioBackground(juce::Graphics&, juce::Rectangle<float> bounds,
                                         float margin, float border) = 0;
        virtual void drawGonioMeter(juce::Graphics&, juce::Rectangle<float> bounds,
                                    const SampleRing& ring, int leftChannel, int rightChannel) = 0;
        virtual void drawStereoFieldBackground(juce::Graphics&, juce::Rectangle<float> bounds,
                                               float margin, float border) = 0;
        virtual void drawStereoField(juce::Graphics&, juce::Rectangle<float> bounds,
                                     const SampleRing& ring, int leftChannel, int rightChannel) = 0;
    };
};

class LevelMeterLookAndFeel : public juce::LookAndFeel_V3,
                              public LevelMeter::LookAndFeelMethods,
                              public StereoFieldComponent::LookAndFeelMethods
{
  public:
    using MeterFlags = LevelMeter::MeterFlags;
    using Rect = juce::Rectangle<float>;

    LevelMeterLookAndFeel();
    ~LevelMeterLookAndFeel() override;

    void setupDefaultMeterColours() override;
    void updateMeterGradients() override;
    Rect getMeterInnerBounds(Rect bounds, MeterFlags flags) const override;
    Rect getMeterBounds(Rect bounds, MeterFlags flags, int numChannels, int channel) const override;
    Rect getMeterBarBounds(Rect bounds, MeterFlags flags) const override;
    Rect getMeterTickmarksBounds(Rect bounds, MeterFlags flags) const override;
    Rect getMeterClipIndicatorBounds(Rect bounds, MeterFlags flags) const override;
    Rect getMeterMaxNumberBounds(Rect bounds, MeterFlags flags) const override;
    Rect drawBackground(juce::Graphics&, MeterFlags flags, Rect bounds) override;
    void drawMeterBars(juce::Graphics&, MeterFlags flags, Rect bounds,
                       const LevelMeterSource* source, int channelSlots,
                       int selectedChannel) override;
    void drawMeterBarsBackground(juce::Graphics&, MeterFlags flags, Rect bounds, int numChannels,
                                 int channelSlots) override;
    void drawMeterChannel(juce::Graphics&, MeterFlags flags, Rect bounds,
                          const LevelMeterSource* source, int channel) override;
    void drawMeterChannelBackground(juce::Graphics&, MeterFlags flags, Rect bounds) override;
    void drawMeterBar(juce::Graphics&, MeterFlags flags, Rect bounds, float rms,
                      float peak) override;
    void drawMeterReduction(juce::Graphics&, MeterFlags flags, Rect bounds,
                            float reduction) override;
    void drawMeterBarBackground(juce::Graphics&, MeterFlags flags, Rect bounds) override;
    void drawTickMarks(juce::Graphics&, MeterFlags flags, Rect bounds) override;
    void drawClipIndicator(juce::Graphics&, MeterFlags flags, Rect bounds,
                           bool hasClipped) override;
    void drawClipIndicatorBackground(juce::Graphics&, MeterFlags flags, Rect bounds) override;
    void drawMaxNumber(juce::Graphics&, MeterFlags flags, Rect bounds, float maxGain) override;
    void drawMaxNumberBackground(juce::Graphics&, MeterFlags flags, Rect bounds) override;
    int hitTestClipIndicator(juce::Point<int> position, MeterFlags flags, Rect bounds,
                             const LevelMeterSource* source) const override;
    int hitTestMaxNumber(juce::Point<int> position, MeterFlags flags, Rect bounds,
                         const LevelMeterSource* source) const override;

    void setupDefaultStereoFieldColours() override;
    void drawGonioBackground(juce::Graphics&, Rect bounds, float margin, float border) override;
    void drawGonioMeter(juce::Graphics&, Rect bounds, const StereoFieldComponent::SampleRing&,
                        int leftChannel, int rightChannel) override;
    void drawStereoFieldBackground(juce::Graphics&, Rect bounds, float margin,
                                   float border) override;
    void drawStereoField(juce::Graphics&, Rect bounds, const StereoFieldComponent::SampleRing&,
                         int leftChannel, int rightChannel) override;

    /** The last numSamples stereo pairs before the ring's write position, oldest first, as
        points of a goniometer trace in the area. */
    static juce::Path makeGoniometerPath(Rect area, const StereoFieldComponent::SampleRing&,
                                         int numSamples, int leftChannel, int rightChannel);

  protected:
    /** One channel's levels, read with the index checked: a channel the source does not
        have reads as silence (reduction -1 marks it for the reduction display). */
    struct ChannelReading
    {
        float rms = 0.0f, peak = 0.0f, maxLevel = 0.0f, reduction = -1.0f;
        bool clipped = false;
    };
    static ChannelReading readChannel(const LevelMeterSource* source, int channel);

    /** The compact layout cuts the inner area into stripes across the channel direction,
        counted from the component's origin; channel i uses stripe 2i. */
    static Rect compactStripe(Rect inner, MeterFlags flags, float stripeSize, int index);
    void drawCompactBackground(juce::Graphics&, MeterFlags flags, Rect inner, int numChannels,
                               int numStripes);
    /** Draws the channels of the compact layout; numbers them from firstLabel when it is not
        negative, in the font the graphics context has on entry. */
    void drawCompactChannels(juce::Graphics&, MeterFlags flags, Rect inner,
                             const LevelMeterSource& source, int numStripes, int firstLabel);

    /** The bar body shared by the look-and-feels: the gradients it builds on first use and
        the level above which a horizontal peak line turns from the low to the mid colour. */
    void drawBarWith(juce::Graphics&, MeterFlags flags, Rect bounds, float rms, float peak,
                     juce::ColourGradient& horizontalCache, juce::ColourGradient& verticalCache,
                     float horizontalMidThresholdDb);

  private:
    using AreaOf = Rect (LevelMeterLookAndFeel::*)(Rect, MeterFlags) const;
    int hitTest(juce::Point<int> position, MeterFlags flags, Rect bounds,
                const LevelMeterSource* source, AreaOf area) const;
    void drawGapTickMarks(juce::Graphics&, MeterFlags flags, Rect inner, float stripeSize,
                          int channel);
    void fillOutlined(juce::Graphics&, Rect bounds, juce::Colour fill);

    juce::ColourGradient horizontalGradient;
    juce::ColourGradient verticalGradient;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(LevelMeterLookAndFeel)
};

} // namespace meters
