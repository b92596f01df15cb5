#pragma once
// A level meter: shows the channels of one LevelMeterSource as bars with clip lights and
// maximum-level numbers. All geometry and drawing goes through LevelMeter::LookAndFeelMethods
// of the component's look-and-feel, so an editor restyles the meter by giving it another one.
#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <vector>

#include "LevelMeterSource.h"

namespace meters
{
class LevelMeterLookAndFeel;

class LevelMeter : public juce::Component, private juce::Timer
{
  public:
    enum MeterFlags
    {
        Default = 0x0000,
        Horizontal = 0x0001,
        AltStyle = 0x0002,
        SingleChannel = 0x0004,
        Bordered = 0x0008,
        ShowReduction = 0x0010,
        Compact = 0x0020,
        CompactMaxNumber = 0x0040,
        LabelOffset4 = 0x0100,
        LabelOffset8 = 0x0200,
        LabelOffset12 = 0x0400
    };

    enum ColourIds
    {
        maxNumberTextColourId = 0x2200001,
        dimTextColourId = 0x2200002,
        maxNumberOverColourId = 0x2200003,
        tickMarkColourId = 0x2200004,
        borderColourId = 0x2200005,
        backgroundColourId = 0x2200006,
        clipLightOnColourId = 0x2200007,
        spareLightColourId = 0x2200008,
        outlineColourId = 0x2200009,
        boxBackgroundColourId = 0x220000a,
        peakLowColourId = 0x220000b,
        peakMidColourId = 0x220000c,
        peakHighColourId = 0x220000d,
        barLowColourId = 0x220000e,
        barMidColourId = 0x220000f,
        barHighColourId = 0x2200010,
        reductionColourId = 0x2200011
    };

    /** The meter's geometry and drawing. Levels are linear; they become decibels only when
        drawn. A channel index outside the source draws as silence. */
    class LookAndFeelMethods
    {
      public:
        using Rect = juce::Rectangle<float>;

        virtual ~LookAndFeelMethods() = default;

        virtual void setupDefaultMeterColours() = 0;
        virtual void updateMeterGradients() = 0;
        virtual Rect getMeterInnerBounds(Rect bounds, MeterFlags flags) const = 0;
        virtual Rect getMeterBounds(Rect bounds, MeterFlags flags, int numChannels,
                                    int channel) const = 0;
        virtual Rect getMeterBarBounds(Rect bounds, MeterFlags flags) const = 0;
        virtual Rect getMeterTickmarksBounds(Rect bounds, MeterFlags flags) const = 0;
        virtual Rect getMeterClipIndicatorBounds(Rect bounds, MeterFlags flags) const = 0;
        virtual Rect drawBackground(juce::Graphics&, MeterFlags flags, Rect bounds) = 0;
        virtual void drawMeterBars(juce::Graphics&, MeterFlags flags, Rect bounds,
                                   const LevelMeterSource* source, int channelSlots,
                                   int selectedChannel) = 0;
        virtual void drawMeterBarsBackground(juce::Graphics&, MeterFlags flags, Rect bounds,
                                             int numChannels, int channelSlots) = 0;
        virtual void drawMeterChannel(juce::Graphics&, MeterFlags flags, Rect bounds,
                                      const LevelMeterSource* source, int channel) = 0;
        virtual void drawMeterChannelBackground(juce::Graphics&, MeterFlags flags, Rect bounds) = 0;
        virtual void drawMeterBar(juce::Graphics&, MeterFlags flags, Rect bounds, float rms,
                                  float peak) = 0;
        virtual void drawMeterReduction(juce::Graphics&, MeterFlags flags, Rect bounds,
                                        float reduction) = 0;
        virtual void drawMeterBarBackground(juce::Graphics&, MeterFlags flags, Rect bounds) = 0;
        virtual void drawTickMarks(juce::Graphics&, MeterFlags flags, Rect bounds) = 0;
        virtual void drawClipIndicator(juce::Graphics&, MeterFlags flags, Rect bounds,
                                       bool hasClipped) = 0;
        virtual void drawClipIndicatorBackground(juce::Graphics&, MeterFlags flags,
                                                 Rect bounds) = 0;
        virtual Rect getMeterMaxNumberBounds(Rect bounds, MeterFlags flags) const = 0;
        virtual void drawMaxNumber(juce::Graphics&, MeterFlags flags, Rect bounds,
                                   float maxGain) = 0;
        virtual void drawMaxNumberBackground(juce::Graphics&, MeterFlags flags, Rect bounds) = 0;
        virtual int hitTestClipIndicator(juce::Point<int> position, MeterFlags flags, Rect bounds,
                                         const LevelMeterSource* source) const = 0;
        virtual int hitTestMaxNumber(juce::Point<int> position, MeterFlags flags, Rect bounds,
                                     const LevelMeterSource* source) const = 0;
    };

    /** Observes clicks on clip lights and maximum numbers; told before the click handlers. */
    class ClickListener
    {
      public:
        virtual ~ClickListener() = default;
        virtual void clipIndicatorClicked(LevelMeter&, int /*channel*/, juce::ModifierKeys) {}
        virtual void maxNumberClicked(LevelMeter&, int /*channel*/, juce::ModifierKeys) {}
    };

    using ClickHandler = std::function<void(LevelMeter&, int, juce::ModifierKeys)>;

    explicit LevelMeter(int flags = Default);
    ~LevelMeter() override;

    /** Shows this source (may be null). The meter holds a weak reference: a source destroyed
        later reads as no source. */
    void setMeterSource(LevelMeterSource* newSource);
    LevelMeterSource* getMeterSource() const noexcept { return source.get(); }

    /** The channel shown with the SingleChannel flag. */
    void setSelectedChannel(int channel);
    /** Divides the meter into this many channel slots whatever the source has; -1 follows
        the source. */
    void setChannelSlots(int numSlots);
    /** Draws the static background once into an image and reuses it while the size holds. */
    void setBackgroundCaching(bool shouldCache);

    void addClickListener(ClickListener* listener);
    void removeClickListener(ClickListener* listener);

    /** Reset every channel's maximum and clip light; the default for both click handlers. */
    static void defaultClipLightClickHandler(LevelMeter&, int, juce::ModifierKeys);
    static void defaultMaxLevelClickHandler(LevelMeter&, int, juce::ModifierKeys);

    ClickHandler clipLightClickHandler;
    ClickHandler maxLevelClickHandler;

    void paint(juce::Graphics&) override;
    void resized() override;
    void mouseDown(const juce::MouseEvent&) override;
    void visibilityChanged() override;
    void parentHierarchyChanged() override;
    void lookAndFeelChanged() override;

  private:
    void timerCallback() override;
    void paintBackground(juce::Graphics&, juce::Rectangle<float> bounds, int numChannels);
    static void resetSourceOf(LevelMeter&);

    juce::WeakReference<LevelMeterSource> source;
    int selectedChannel = -1;
    int channelSlots = -1;
    MeterFlags flags;
    int refreshRateHz = 30;
    bool cacheBackground = false;
    juce::Image backgroundImage;
    bool backgroundStale = true;
    std::unique_ptr<LevelMeterLookAndFeel> fallbackLookAndFeel;
    LookAndFeelMethods* meterLookAndFeel = nullptr;
    std::vector<ClickListener*> clickListeners;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(LevelMeter)
};

} // namespace meters
