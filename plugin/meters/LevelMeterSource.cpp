#include "LevelMeterSource.h"

#include <cmath>
#include <stdexcept>
#include <sys/time.h>

namespace meters
{

namespace
{
// Largest absolute sample and the RMS (squares in float, sum in double) of one channel.
void peakAndRms(const float* data, int numSamples, float& peak, float& rms) noexcept
{
    if (numSamples <= 0)
    {
        peak = rms = 0.0f;
        return;
    }
    auto range = juce::FloatVectorOperations::findMinAndMax(data, numSamples);
    peak = juce::jmax(-range.getStart(), range.getEnd());
    // Four partial sums let the compiler keep the loop in vector registers.
    double sum[4] = {0.0, 0.0, 0.0, 0.0};
    int i = 0;
    for (; i + 4 <= numSamples; i += 4)
        for (int k = 0; k < 4; ++k) sum[k] += (double)(data[i + k] * data[i + k]);
    for (; i < numSamples; ++i) sum[0] += (double)(data[i] * data[i]);
    rms = (float)std::sqrt((sum[0] + sum[1] + sum[2] + sum[3]) / numSamples);
}

const float overload = std::nextafter(1.0f, 2.0f);
} // namespace

juce::int64 LevelMeterSource::systemMilliseconds()
{
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return (juce::int64)tv.tv_sec * 1000 + (juce::int64)tv.tv_usec / 1000;
}

LevelMeterSource::LevelMeterSource(Clock clockToUse) : clock(std::move(clockToUse)) {}

LevelMeterSource::~LevelMeterSource()
{
    masterReference.clear();
}

LevelMeterSource::ChannelLevels::ChannelLevels(size_t ringSize)
{
    setRingSize(ringSize);
}

// A copy (made when the record vector grows) keeps the levels and gets a fresh ring.
LevelMeterSource::ChannelLevels::ChannelLevels(const ChannelLevels& other)
    : peakLevel(other.peakLevel.load()), maxLevel(other.maxLevel.load()),
      clipFlag(other.clipFlag.load()), reductionLevel(other.reductionLevel.load()),
      holdUntil(other.holdUntil.load())
{
    setRingSize(8);
}

void LevelMeterSource::ChannelLevels::setRingSize(size_t ringSize)
{
    if (rmsWindow == nullptr) rmsWindow.reset(new std::atomic<double>[maxRmsWindow]);
    ringSize = juce::jmin(ringSize, (size_t)maxRmsWindow);
    for (size_t i = 0; i < ringSize; ++i) rmsWindow[i].store(0.0, std::memory_order_relaxed);
    lastSquaredRms.store(0.0);
    auto pos = rmsWritePos.load();
    rmsWritePos.store(ringSize < 2 ? 0 : pos % ringSize);
    rmsWindowSize = ringSize;
}

void LevelMeterSource::ChannelLevels::setLevels(juce::int64 time, float peak, float rms,
                                                juce::int64 hold) noexcept
{
    if (peak > 1.0f || rms > 1.0f) clipFlag = true;

    auto oldMax = maxLevel.load();
    maxLevel = std::isnan(oldMax) ? peak : juce::jmax(oldMax, peak);

    if (peak >= peakLevel.load())
    {
        peakLevel = juce::jmin(peak, 1.0f);
        holdUntil = time + hold;
    }
    else if (holdUntil.load() < time)
    {
        peakLevel = juce::jmin(peak, 1.0f);
    }

    auto r = juce::jmin(rms, 1.0f);
    auto squared = (double)juce::jmin(r * r, 1.0f);
    if (const auto size = rmsWindowSize.load(); size > 0)
    {
        auto pos = rmsWritePos.load(std::memory_order_relaxed) % size;
        rmsWindow[pos].store(squared, std::memory_order_relaxed);
        rmsWritePos.store((pos + 1) % size, std::memory_order_relaxed);
    }
    else
    {
        lastSquaredRms = squared;
    }
}

float LevelMeterSource::ChannelLevels::averageRms() const noexcept
{
    const auto size = rmsWindowSize.load();
    if (size == 0) return (float)std::sqrt(lastSquaredRms.load());
    float sum = 0.0f;
    for (size_t i = 0; i < size; ++i)
        sum = (float)(sum + rmsWindow[i].load(std::memory_order_relaxed));
    return std::sqrt(sum / (float)size);
}

void LevelMeterSource::resize(int channels, int rmsWindowSize)
{
    if (channels < 0 || rmsWindowSize < 0)
        throw std::length_error("LevelMeterSource::resize: negative size");
    levels.reserve((size_t)channels);
    while ((int)levels.size() > channels) levels.pop_back();
    while ((int)levels.size() < channels) levels.emplace_back((size_t)rmsWindowSize);
    for (auto& l : levels) l.setRingSize((size_t)rmsWindowSize);
    newDataFlag = true;
}

void LevelMeterSource::measureBlock(const juce::AudioBuffer<float>& buffer)
{
    lastMeasurement = clock();
    auto time = lastMeasurement.load();
    auto numChannels = juce::jmin(buffer.getNumChannels(), (int)levels.size());
    for (int ch = 0; ch < numChannels; ++ch)
    {
        float peak = 0.0f, rms = 0.0f;
        if (!buffer.hasBeenCleared())
            peakAndRms(buffer.getReadPointer(ch), buffer.getNumSamples(), peak, rms);
        // A NaN or infinite sample is an overload: it shows as a clip, never as NaN levels.
        if (!std::isfinite(peak) || !std::isfinite(rms)) peak = rms = overload;
        levels[(size_t)ch].setLevels(time, peak, rms, holdMSecs);
    }
    newDataFlag = true;
}

const LevelMeterSource::ChannelLevels* LevelMeterSource::channelOrNull(int channel) const noexcept
{
    return juce::isPositiveAndBelow(channel, (int)levels.size()) ? &levels[(size_t)channel]
                                                                 : nullptr;
}

float LevelMeterSource::getAverageRms(int channel) const noexcept
{
    auto* l = channelOrNull(channel);
    return l != nullptr ? l->averageRms() : 0.0f;
}

float LevelMeterSource::getPeakLevel(int channel) const noexcept
{
    auto* l = channelOrNull(channel);
    return l != nullptr ? l->peakLevel.load() : 0.0f;
}

float LevelMeterSource::getMaxLevel(int channel) const noexcept
{
    auto* l = channelOrNull(channel);
    return l != nullptr ? l->maxLevel.load() : 0.0f;
}

bool LevelMeterSource::getClipFlag(int channel) const noexcept
{
    auto* l = channelOrNull(channel);
    return l != nullptr && l->clipFlag.load();
}

float LevelMeterSource::getReductionLevel(int channel) const noexcept
{
    auto* l = channelOrNull(channel);
    return l != nullptr ? l->reductionLevel.load() : 1.0f;
}

void LevelMeterSource::decayIfIdle()
{
    auto now = clock();
    if (now - lastMeasurement.load() < 100) return;
    lastMeasurement = now;
    for (auto& l : levels)
    {
        l.setLevels(now, 0.0f, 0.0f, holdMSecs);
        l.reductionLevel = 1.0f;
    }
    newDataFlag = true;
}

void LevelMeterSource::resetMaxLevelsAndClipFlags() noexcept
{
    for (auto& l : levels) l.maxLevel = -100.0f;
    for (auto& l : levels) l.clipFlag = false;
}

} // namespace meters
