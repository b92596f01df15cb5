#pragma once
// The host-facing processor: owns one decoder instance, the 35 parameters, the two level-meter
// sources and the beam data the editor draws.
//
// Threads. The audio thread only processes: it never builds, frees or reconfigures the decoder
// and never locks or allocates (except in non-realtime rendering, where it does pending work
// itself before a block so offline bounces are exact). Parameter listeners, on whatever thread
// the host or the editor changes a value, only note what is due and wake the processor's own
// builder thread, which applies value changes, rebuilds the decoder on format changes (blocks
// are silent from the request until the new decoder is in; after a failed build the input
// passes through undecoded until the next preparation), sends change messages and computes
// the beam display's data.
#include <juce_audio_processors/juce_audio_processors.h>

#include "LevelMeterSource.h"
#include "ParameterTable.h"
#include "ox_abdec.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

class PluginProcessor : public juce::AudioProcessor, public juce::ChangeBroadcaster
{
  public:
    // What the beam display draws: per beam of the layout its speaker flags, drawing order,
    // elevation and polar response at the whole degrees 0..360.
    struct BeamData
    {
        static constexpr int maxBeams = OX_ABDEC_MAX_SPEAKERS;
        static constexpr int numAngles = 361;
        int numBeams = 0;
        int beamFlags[maxBeams]{};
        int beamIndex[maxBeams]{};
        int beamElevation[maxBeams]{};
        float responseX[maxBeams][numAngles]{};
        float responseY[maxBeams][numAngles]{};
        float responseZ[maxBeams][numAngles]{};
    };

    PluginProcessor();
    ~PluginProcessor() override;

    const juce::String getName() const override { return "Quillfield"; }
    void prepareToPlay(double sampleRate, int samplesPerBlock) override;
    void releaseResources() override {}
    using AudioProcessor::processBlock;
    void processBlock(juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    double getTailLengthSeconds() const override { return tailSeconds.load(); }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override { return true; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram(int) override {}
    const juce::String getProgramName(int) override { return "Default"; }
    void changeProgramName(int, const juce::String&) override {}
    void getStateInformation(juce::MemoryBlock& destData) override;
    void setStateInformation(const void* data, int sizeInBytes) override;
    bool isBusesLayoutSupported(const BusesLayout& layouts) const override;

    juce::UndoManager undoManager;
    juce::AudioProcessorValueTreeState parameters;
    meters::LevelMeterSource inputMeterSource, outputMeterSource;
    std::atomic<int> numInputChannels{4};
    std::atomic<int> micSpacing{1};

    // Message thread, any time.
    int getInputFormat() const noexcept { return inputFormat.load(); }
    int getOutputFormat() const noexcept { return outputFormat.load(); }
    bool hasDecoder() const noexcept;
    void requestChannelTest() noexcept;

    // Beam display registration (the display counts itself in and out) and its data; the
    // editor asks for the first update once its display is in place.
    void registerBeamDisplay() noexcept { ++beamDisplays; }
    void unregisterBeamDisplay() noexcept { --beamDisplays; }
    bool isBeamDisplayActive() const noexcept { return beamDisplays.load() > 0; }
    void updateBeamDisplay();
    juce::uint32 getBeamDataSequence() const noexcept { return beamSequence.load(); }
    juce::uint32 copyBeamData(BeamData& destination) const;

    // True from a rebuild request until the new decoder is in.
    bool isRebuildPending() const noexcept { return rebuildRequests.load() != rebuildsDone.load(); }

    // Blocks until every request made so far has been served (tests and offline tools).
    void waitForPendingWork();
    // Decoder builds so far; while the returned lock is held no build or update runs.
    int getBuildCount() const noexcept { return builds.load(); }
    std::unique_lock<std::mutex> pauseBuilderForTesting();

    // Type of the parameter tree and root tag of the saved state.
    static constexpr const char* stateType = "Quillfield";
    // Largest saved state accepted, and the deepest element nesting in it.
    static constexpr int maxStateBytes = 1 << 20;
    static constexpr int maxStateDepth = 16;

  private:
    // The meters show the five inputs the decoder may read and all sixteen outputs.
    static constexpr int inputMeterChannels = 5, outputMeterChannels = 16;

    struct Engine
    {
        ox_abdec_handle handle = nullptr;
        ox_abdec_setup setup{};
    };

    // Holds the engine for the length of a block (or a channel-test request) so the builder
    // never frees it while it is in use.
    class EngineUse
    {
      public:
        explicit EngineUse(const PluginProcessor& p) noexcept;
        ~EngineUse() { owner.engineUsers.fetch_sub(1); }
        Engine* const engine;

      private:
        const PluginProcessor& owner;
        JUCE_DECLARE_NON_COPYABLE(EngineUse)
    };

    class ParameterListener : public juce::AudioProcessorValueTreeState::Listener
    {
      public:
        ParameterListener(PluginProcessor& p, int i) : owner(p), index(i) {}
        void parameterChanged(const juce::String&, float newValue) override;

      private:
        PluginProcessor& owner;
        const int index;
    };

    class Builder;

    static juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();
    void onParameterChanged(int index, float value);
    float currentValue(int index) const noexcept;
    ox_abdec_setup makeSetup() const;
    ox_abdec_config makeConfig() const;

    // Under workLock.
    void performPendingWork();
    void reportLatency();
    void rebuildLocked();
    void applyConfigLocked();
    void computeBeamsLocked();
    Engine* detachEngineLocked();

    void processInPieces(juce::AudioBuffer<float>&, const Engine&, int numChannels, int nIn,
                         int nOut) noexcept;
    bool readStateXml(const void* data, int sizeInBytes, juce::String& xmlText) const;
    juce::ValueTree sanitisedState(const juce::XmlElement& root) const;

    ox_abdec_setup defaultSetup{};
    ox_abdec_config defaultConfig{};
    std::array<std::atomic<float>*, numParameters> rawValues{};
    std::array<std::unique_ptr<ParameterListener>, numParameters> listeners;

    std::mutex workLock;
    double preparedRate = 0.0;           // under workLock
    int preparedBlockSize = 0;           // under workLock
    std::unique_ptr<Engine> ownedEngine; // under workLock: the one that is published
    std::atomic<Engine*> engine{nullptr};
    // Channel counts the set-up holds from the last build, and after a failed build the
    // channels the input passes through on (0 once a build succeeds or starts).
    int heldInputs = 0, heldOutputs = 0; // under workLock
    std::atomic<int> passThroughChannels{0};
    mutable std::atomic<int> engineUsers{0};

    std::atomic<juce::uint32> rebuildRequests{0}, rebuildsDone{0};
    std::atomic<juce::uint32> configRequests{0}, configsDone{0};
    std::atomic<bool> changeMessagePending{false};
    std::atomic<int> inputFormat{0}, outputFormat{4};
    std::atomic<double> tailSeconds{0.0};
    std::atomic<int> builtLatency{-1}, reportedLatency{0};
    std::atomic<int> builds{0};

    juce::AudioBuffer<float> scratchBuffer;

    std::atomic<int> beamDisplays{0};
    std::unique_ptr<BeamData> beamWork; // under workLock
    mutable std::mutex beamLock;
    std::unique_ptr<BeamData> beamPublished; // under beamLock
    std::atomic<juce::uint32> beamSequence{0};

    std::unique_ptr<Builder> builder;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(PluginProcessor)
};
