#pragma once
// Store of measured levels between the audio thread (which measures every block) and the
// meters on the message thread (which only read, decay when idle and reset on click).
#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace meters
{

class LevelMeterSource
{
  public:
    // Milliseconds of wall-clock time; tests substitute a clock they step by hand.
    using Clock = std::function<juce::int64()>;
    static juce::int64 systemMilliseconds();

    explicit LevelMeterSource(Clock clockToUse = systemMilliseconds);
    ~LevelMeterSource();

    // Before audio runs (prepareToPlay): channel count and the RMS ring length in blocks.
    // Negative sizes throw std::length_error before anything changes. With the channel count
    // unchanged nothing is reallocated, so meters may go on reading meanwhile.
    void resize(int channels, int rmsWindowSize);

    // Audio thread, once per block: allocation- and lock-free.
    void measureBlock(const juce::AudioBuffer<float>& buffer);

    // Message thread. A channel outside the source reads neutral (0, false, reduction 1).
    int getNumChannels() const noexcept { return (int)levels.size(); }
    float getAverageRms(int channel) const noexcept;
    float getPeakLevel(int channel) const noexcept;
    float getMaxLevel(int channel) const noexcept;
    bool getClipFlag(int channel) const noexcept;
    float getReductionLevel(int channel) const noexcept;

    // Lets the display fall back to silence when no block has arrived for 100 ms.
    void decayIfIdle();
    void resetMaxLevelsAndClipFlags() noexcept;

    bool getNewDataFlag() const noexcept { return newDataFlag.load(std::memory_order_relaxed); }
    void clearNewDataFlag() noexcept { newDataFlag.store(false, std::memory_order_relaxed); }

    juce::int64 getHoldMSecs() const noexcept { return holdMSecs; }

    // Longest RMS ring, in blocks: 100 ms of blocks of 5 samples at 48 kHz. Shorter blocks
    // average over the last maxRmsWindow blocks.
    static constexpr int maxRmsWindow = 1024;

  private:
    struct ChannelLevels
    {
        explicit ChannelLevels(size_t ringSize);
        ChannelLevels(const ChannelLevels& other);
        ChannelLevels& operator=(const ChannelLevels&) = delete;

        void setRingSize(size_t ringSize);
        void setLevels(juce::int64 time, float peak, float rms, juce::int64 hold) noexcept;
        float averageRms() const noexcept;

        std::atomic<float> peakLevel{0.0f};
        std::atomic<float> maxLevel{0.0f};
        std::atomic<bool> clipFlag{false};
        std::atomic<float> reductionLevel{1.0f};
        std::atomic<juce::int64> holdUntil{0};
        // The ring is written by the audio thread while the display reads it.
        // The ring's storage is allocated once, so a display reading it while the host
        // prepares again never reads freed memory; only its length changes.
        std::unique_ptr<std::atomic<double>[]> rmsWindow;
        std::atomic<size_t> rmsWindowSize{0};
        std::atomic<double> lastSquaredRms{0.0};
        std::atomic<size_t> rmsWritePos{0};
    };

    const ChannelLevels* channelOrNull(int channel) const noexcept;

    Clock clock;
    std::vector<ChannelLevels> levels;
    juce::int64 holdMSecs = 500;
    std::atomic<juce::int64> lastMeasurement{0};
    std::atomic<bool> newDataFlag{true};

    JUCE_DECLARE_WEAK_REFERENCEABLE(LevelMeterSource)
    JUCE_DECLARE_NON_COPYABLE(LevelMeterSource)
};

} // namespace meters
