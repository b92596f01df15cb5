#include "LevelMeter.h"

#include <algorithm>

#include "LevelMeterLookAndFeel.h"

namespace meters
{
LevelMeter::LevelMeter(int meterFlags) : flags(static_cast<MeterFlags>(meterFlags))
{
    // Sets meterLookAndFeel before anything can paint: normally to a fallback of our own,
    // replaced once the editor gives the meter its look-and-feel.
    lookAndFeelChanged();
    clipLightClickHandler = defaultClipLightClickHandler;
    maxLevelClickHandler = defaultMaxLevelClickHandler;
    startTimerHz(refreshRateHz);
}

LevelMeter::~LevelMeter()
{
    stopTimer();
}

void LevelMeter::setMeterSource(LevelMeterSource* newSource)
{
    source = newSource;
    repaint();
}

void LevelMeter::setSelectedChannel(int channel)
{
    selectedChannel = channel;
    repaint();
}

void LevelMeter::setChannelSlots(int numSlots)
{
    channelSlots = numSlots;
    backgroundStale = true;
    repaint();
}

void LevelMeter::setBackgroundCaching(bool shouldCache)
{
    cacheBackground = shouldCache;
    backgroundImage = {};
    backgroundStale = true;
    repaint();
}

void LevelMeter::addClickListener(ClickListener* listener)
{
    if (listener != nullptr &&
        std::find(clickListeners.begin(), clickListeners.end(), listener) == clickListeners.end())
        clickListeners.push_back(listener);
}

void LevelMeter::removeClickListener(ClickListener* listener)
{
    clickListeners.erase(std::remove(clickListeners.begin(), clickListeners.end(), listener),
                         clickListeners.end());
}

void LevelMeter::resetSourceOf(LevelMeter& meter)
{
    if (auto* s = meter.source.get()) s->resetMaxLevelsAndClipFlags();
}

void LevelMeter::defaultClipLightClickHandler(LevelMeter& meter, int, juce::ModifierKeys)
{
    resetSourceOf(meter);
}

void LevelMeter::defaultMaxLevelClickHandler(LevelMeter& meter, int, juce::ModifierKeys)
{
    resetSourceOf(meter);
}

void LevelMeter::paintBackground(juce::Graphics& g, juce::Rectangle<float> bounds, int numChannels)
{
    meterLookAndFeel->drawBackground(g, flags, bounds);
    meterLookAndFeel->drawMeterBarsBackground(g, flags, bounds, numChannels, channelSlots);
}

void LevelMeter::paint(juce::Graphics& g)
{
    juce::Graphics::ScopedSaveState saved(g);
    const auto bounds = getLocalBounds().toFloat();
    auto* s = source.get();
    const int numChannels = s != nullptr ? s->getNumChannels() : 1;

    // An image of no pixels cannot be made: a meter of zero size just draws directly (into
    // nothing).
    if (cacheBackground && !getLocalBounds().isEmpty())
    {
        if (backgroundStale || !backgroundImage.isValid())
        {
            backgroundImage = juce::Image(juce::Image::ARGB, getWidth(), getHeight(), true);
            juce::Graphics imageGraphics(backgroundImage);
            paintBackground(imageGraphics, bounds, numChannels);
            backgroundStale = false;
        }
        g.drawImageAt(backgroundImage, 0, 0);
    }
    else
    {
        paintBackground(g, bounds, numChannels);
    }

    meterLookAndFeel->drawMeterBars(g, flags, bounds, s, channelSlots, selectedChannel);

    if (s != nullptr) s->decayIfIdle();
}

void LevelMeter::timerCallback()
{
    auto* s = source.get();
    if ((s != nullptr && s->getNewDataFlag()) || backgroundStale)
    {
        if (s != nullptr) s->clearNewDataFlag();
        repaint();
    }
}

void LevelMeter::resized()
{
    meterLookAndFeel->updateMeterGradients();
    backgroundStale = true;
}

void LevelMeter::visibilityChanged()
{
    backgroundStale = true;
}

void LevelMeter::parentHierarchyChanged()
{
    lookAndFeelChanged();
}

void LevelMeter::lookAndFeelChanged()
{
    if (auto* methods = dynamic_cast<LookAndFeelMethods*>(&getLookAndFeel()))
    {
        meterLookAndFeel = methods;
        fallbackLookAndFeel.reset();
        return;
    }
    if (fallbackLookAndFeel == nullptr)
        fallbackLookAndFeel = std::make_unique<LevelMeterLookAndFeel>();
    meterLookAndFeel = fallbackLookAndFeel.get();
}

void LevelMeter::mouseDown(const juce::MouseEvent& event)
{
    auto* s = source.get();
    if (s == nullptr || !event.mods.isLeftButtonDown()) return;

    const auto inner = meterLookAndFeel->getMeterInnerBounds(getLocalBounds().toFloat(), flags);
    const auto position = event.getPosition();
    const auto mods = event.mods;

    // Listeners run last-added first; indices are re-checked because a listener may remove
    // itself (or others) while it is told.
    const auto notify = [this, mods](int channel, void (ClickListener::*call)(LevelMeter&, int,
                                                                              juce::ModifierKeys)) {
        for (auto i = clickListeners.size(); i > 0; --i)
            if (i <= clickListeners.size()) (clickListeners[i - 1]->*call)(*this, channel, mods);
    };

    const int clipChannel = meterLookAndFeel->hitTestClipIndicator(position, flags, inner, s);
    if (clipChannel >= 0)
    {
        notify(clipChannel, &ClickListener::clipIndicatorClicked);
        if (clipLightClickHandler) clipLightClickHandler(*this, clipChannel, mods);
    }

    // A handler may have dropped the source; the hit test then finds nothing.
    const int maxChannel = meterLookAndFeel->hitTestMaxNumber(position, flags, inner, source.get());
    if (maxChannel >= 0)
    {
        notify(maxChannel, &ClickListener::maxNumberClicked);
        if (maxLevelClickHandler) maxLevelClickHandler(*this, maxChannel, mods);
    }
}

} // namespace meters
