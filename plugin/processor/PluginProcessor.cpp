#include "PluginProcessor.h"

#include "PluginEditor.h"

#include <cerrno>
#include <cmath>
#include <semaphore.h>
#include <thread>

//==============================================================================
// The processor's own thread for everything the audio thread must not do. Listeners wake it
// with a semaphore post, which neither locks nor allocates, so they may run on the audio
// thread; requests made while it works merge into its next pass.
class PluginProcessor::Builder : public juce::Thread
{
  public:
    explicit Builder(PluginProcessor& p) : juce::Thread("Quillfield decoder builder"), owner(p)
    {
        sem_init(&wakeUp, 0, 0);
        startThread();
    }

    ~Builder() override
    {
        signalThreadShouldExit();
        wake();
        stopThread(-1);
        sem_destroy(&wakeUp);
    }

    void wake() noexcept { sem_post(&wakeUp); }

    void run() override
    {
        while (!threadShouldExit())
        {
            if (sem_wait(&wakeUp) != 0 && errno == EINTR) continue;
            if (threadShouldExit()) break;
            owner.waitForPendingWork();
        }
    }

  private:
    PluginProcessor& owner;
    sem_t wakeUp{};
};

PluginProcessor::EngineUse::EngineUse(const PluginProcessor& p) noexcept
    : engine((p.engineUsers.fetch_add(1), p.engine.load())), owner(p)
{
}

void PluginProcessor::ParameterListener::parameterChanged(const juce::String&, float newValue)
{
    owner.onParameterChanged(index, newValue);
}

//==============================================================================
PluginProcessor::PluginProcessor()
    : AudioProcessor(BusesProperties()
                         .withInput("Input", juce::AudioChannelSet::quadraphonic(), true)
                         .withOutput("Output", juce::AudioChannelSet::ambisonic(3), true)),
      parameters(*this, &undoManager, stateType, createParameterLayout()),
      beamWork(std::make_unique<BeamData>()), beamPublished(std::make_unique<BeamData>())
{
    ox_abdec_defaultconfig(&defaultSetup, &defaultConfig);
    inputFormat = defaultSetup.input_format;
    outputFormat = defaultSetup.output_format;
    for (int i = 0; i < numParameters; ++i)
    {
        rawValues[(size_t)i] = parameters.getRawParameterValue(parameterTable[i].id);
        listeners[(size_t)i] = std::make_unique<ParameterListener>(*this, i);
        parameters.addParameterListener(parameterTable[i].id, listeners[(size_t)i].get());
    }
    // Sized now, before any editor reads them: later preparations keep the channel counts
    // and so never reallocate under a meter.
    inputMeterSource.resize(inputMeterChannels, 0);
    outputMeterSource.resize(outputMeterChannels, 0);
    builder = std::make_unique<Builder>(*this);
}

PluginProcessor::~PluginProcessor()
{
    builder.reset();
    for (int i = 0; i < numParameters; ++i)
        parameters.removeParameterListener(parameterTable[i].id, listeners[(size_t)i].get());
    std::lock_guard<std::mutex> lock(workLock);
    delete detachEngineLocked();
}

juce::AudioProcessorValueTreeState::ParameterLayout PluginProcessor::createParameterLayout()
{
    ox_abdec_setup setup{};
    ox_abdec_config config{};
    ox_abdec_defaultconfig(&setup, &config);
    juce::AudioProcessorValueTreeState::ParameterLayout layout;
    for (int i = 0; i < numParameters; ++i)
    {
        const auto& s = parameterrules::rules[i];
        const auto kind = s.text;
        auto attributes = juce::AudioProcessorValueTreeStateParameterAttributes()
                              .withLabel(parameterTable[i].label)
                              .withStringFromValueFunction([kind](float v, int) {
                                  return parameterrules::valueToText(kind, v);
                              })
                              .withValueFromStringFunction([kind](const juce::String& t) {
                                  return parameterrules::textToValue(kind, t);
                              });
        layout.add(std::make_unique<juce::AudioProcessorValueTreeState::Parameter>(
            juce::ParameterID{parameterTable[i].id, 1}, parameterTable[i].name,
            juce::NormalisableRange<float>(s.start, s.end, s.interval, s.skew),
            parameterrules::defaultValue(i, setup, config), attributes));
    }
    return layout;
}

//==============================================================================
// Any thread, the audio thread included: note what is due and wake the builder.
void PluginProcessor::onParameterChanged(int index, float value)
{
    const auto& s = parameterrules::rules[index];
    if (std::isfinite(value))
    {
        if (s.target == parameterrules::Target::inputFormat)
            inputFormat = juce::jlimit(0, OX_ABDEC_NUM_INPUT_FORMATS - 1, (int)value - 1);
        else if (s.target == parameterrules::Target::outputFormat)
            outputFormat = juce::jlimit(0, OX_ABDEC_NUM_OUTPUT_FORMATS - 1, (int)value - 1);
        else if (s.target == parameterrules::Target::micSpacing)
            micSpacing = juce::jlimit(1, OX_ABDEC_NUM_MIC_SPACINGS, (int)value);
    }
    if (s.sendsChangeMessage) changeMessagePending = true;
    if (parameterrules::needsRebuild(s.target))
        ++rebuildRequests;
    else
        ++configRequests;
    if (builder != nullptr) builder->wake();
}

// A parameter's value as the decoder may take it: finite and inside its range.
float PluginProcessor::currentValue(int index) const noexcept
{
    const auto& s = parameterrules::rules[index];
    const float v = rawValues[(size_t)index]->load();
    if (!std::isfinite(v)) return parameterrules::defaultValue(index, defaultSetup, defaultConfig);
    return juce::jlimit(s.start, s.end, v);
}

ox_abdec_setup PluginProcessor::makeSetup() const
{
    auto setup = defaultSetup;
    setup.sample_rate = (float)preparedRate;
    setup.block_size = preparedBlockSize;
    ox_abdec_config unused{};
    for (int i = 0; i < numParameters; ++i)
        if (parameterrules::needsRebuild(parameterrules::rules[i].target))
            parameterrules::applyValue(i, currentValue(i), setup, unused);
    if (numInputChannels.load() <= 4 && setup.input_format == aDotOneFormatInput)
        setup.input_format = aFormatInput;
    return setup;
}

ox_abdec_config PluginProcessor::makeConfig() const
{
    auto config = defaultConfig;
    ox_abdec_setup unused{};
    for (int i = 0; i < numParameters; ++i)
        if (!parameterrules::needsRebuild(parameterrules::rules[i].target))
            parameterrules::applyValue(i, currentValue(i), unused, config);
    return config;
}

//==============================================================================
void PluginProcessor::waitForPendingWork()
{
    {
        std::lock_guard<std::mutex> lock(workLock);
        performPendingWork();
        // Posted (not delivered) under the lock, so whoever waits for the work after us finds
        // the message already in the queue.
        if (changeMessagePending.exchange(false)) sendChangeMessage();
    }
    // Outside the lock: the host may answer this call by preparing us again.
    reportLatency();
}

void PluginProcessor::reportLatency()
{
    // Compared with our own copy: the framework's field is not to be read off the host's thread.
    const int latency = builtLatency.load();
    if (latency >= 0 && reportedLatency.exchange(latency) != latency) setLatencySamples(latency);
}

void PluginProcessor::performPendingWork()
{
    if (isRebuildPending())
    {
        // Before the first preparation and after a failed build the new setup waits for the
        // next prepareToPlay.
        if (ownedEngine != nullptr)
            rebuildLocked();
        else
            rebuildsDone = rebuildRequests.load();
    }
    const auto configRequested = configRequests.load();
    if (configRequested != configsDone.load())
    {
        // Marked done only once applied: an offline block waits for an update in progress.
        applyConfigLocked();
        configsDone = configRequested;
    }
}

PluginProcessor::Engine* PluginProcessor::detachEngineLocked()
{
    engine = nullptr;
    while (engineUsers.load() != 0) std::this_thread::yield();
    if (ownedEngine != nullptr) ox_abdec_done(ownedEngine->handle);
    return ownedEngine.release();
}

void PluginProcessor::rebuildLocked()
{
    const auto rebuildRequested = rebuildRequests.load();
    const auto configRequested = configRequests.load();
    passThroughChannels = 0;
    delete detachEngineLocked();

    // Only a decoder that was built is published. A failed build passes the input through
    // undecoded on the channels its set-up counts; the set-up keeps the last counts it was
    // given, so a build that fails before counting (a refused sample rate, say) passes as
    // many channels as the build before it decoded, and none when there was none.
    auto fresh = std::make_unique<Engine>();
    fresh->setup = makeSetup();
    fresh->setup.num_inputs = heldInputs;
    fresh->setup.num_outputs = heldOutputs;
    auto config = makeConfig();
    const auto& setup = fresh->setup;
    inputFormat = setup.input_format;
    const bool built = ox_abdec_init(&fresh->handle, &fresh->setup, &config) == 0;
    heldInputs = setup.num_inputs;
    heldOutputs = setup.num_outputs;
    if (built)
    {
        tailSeconds = (double)((float)setup.tail / setup.sample_rate);
        builtLatency = setup.latency;
        ownedEngine = std::move(fresh);
        engine = ownedEngine.get();
    }
    else
    {
        passThroughChannels = juce::jmax(0, juce::jmin(setup.num_inputs, setup.num_outputs));
        // What passes through is not delayed and rings on for nothing: a host that kept
        // compensating the last decoder's latency would put it early against other tracks.
        tailSeconds = 0.0;
        builtLatency = 0;
    }
    configsDone = configRequested;
    rebuildsDone = rebuildRequested;
    ++builds;
    if (isBeamDisplayActive()) computeBeamsLocked();
}

void PluginProcessor::applyConfigLocked()
{
    if (ownedEngine == nullptr) return;
    auto config = makeConfig();
    ox_abdec_updateconfig(ownedEngine->handle, &config);
    if (isBeamDisplayActive()) computeBeamsLocked();
}

void PluginProcessor::computeBeamsLocked()
{
    auto& d = *beamWork;
    d.numBeams = 0;
    if (ownedEngine != nullptr)
    {
        // The queries read the decoder's own parameters, not a setup or configuration.
        auto h = ownedEngine->handle;
        ox_abdec_beamid ids[BeamData::maxBeams]{};
        d.numBeams =
            juce::jlimit(0, BeamData::maxBeams, (int)ox_abdec_beamids(h, nullptr, nullptr, ids));
        for (int i = 0; i < d.numBeams; ++i)
        {
            d.beamFlags[i] = ids[i].flags;
            d.beamIndex[i] = juce::jlimit(0, BeamData::maxBeams - 1, (int)ids[i].beam);
            d.beamElevation[i] = ids[i].elevation;
        }
        ox_abdec_beamresponse r[BeamData::maxBeams]{};
        for (int a = 0; a < BeamData::numAngles; ++a)
        {
            ox_abdec_beamresponses(h, nullptr, nullptr, r, (float)a);
            for (int i = 0; i < d.numBeams; ++i)
            {
                d.responseX[i][a] = r[i].x;
                d.responseY[i][a] = r[i].y;
                d.responseZ[i][a] = r[i].z;
            }
        }
    }
    std::lock_guard<std::mutex> lock(beamLock);
    *beamPublished = d;
    ++beamSequence;
}

//==============================================================================
void PluginProcessor::prepareToPlay(double sampleRate, int samplesPerBlock)
{
    const int blockSize = juce::jmax(1, samplesPerBlock);
    const int channels = getTotalNumInputChannels();
    const bool newChannelCount = numInputChannels.exchange(channels) != channels;
    scratchBuffer.setSize(juce::jmax(16, OX_ABDEC_MAX_SPEAKERS), blockSize);
    const double blocksIn100ms = std::isfinite(sampleRate) ? sampleRate * 0.1 / blockSize : 0.0;
    const int rmsWindow = (int)juce::jlimit(0.0, 65536.0, blocksIn100ms);
    inputMeterSource.resize(inputMeterChannels, rmsWindow);
    outputMeterSource.resize(outputMeterChannels, rmsWindow);

    {
        std::lock_guard<std::mutex> lock(workLock);
        preparedRate = std::isfinite(sampleRate) ? sampleRate : 0.0;
        preparedBlockSize = blockSize;
        rebuildLocked();
        // An open editor's input menu follows a new channel count (which may also have changed
        // the input format in effect).
        if (newChannelCount) sendChangeMessage();
    }
    reportLatency();
}

void PluginProcessor::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;
    // Offline rendering may wait for a build, so a bounce hears every change exactly.
    if (isNonRealtime() && (isRebuildPending() || configRequests.load() != configsDone.load()))
        waitForPendingWork();

    EngineUse use(*this);
    const bool decoding = use.engine != nullptr && !isRebuildPending();
    const int numChannels = juce::jmin(getTotalNumOutputChannels(), buffer.getNumChannels());
    const int ins = juce::jmin(getTotalNumInputChannels(), buffer.getNumChannels());
    const int n = buffer.getNumSamples();
    // Only the host's inputs that the decoder reads (all of them while none runs) reach the
    // input meter; the other channels hold only what the host left there.
    const int nIn = decoding ? juce::jmin(use.engine->setup.num_inputs, ins) : ins;
    for (int ch = nIn; ch < numChannels; ++ch) buffer.clear(ch, 0, n);
    inputMeterSource.measureBlock(buffer);

    // Without a decoder the first channels a failed build counts carry the input unchanged;
    // during a rebuild none do.
    int nOut = use.engine == nullptr ? juce::jmin(passThroughChannels.load(), ins) : 0;
    if (decoding)
    {
        nOut = juce::jmin(use.engine->setup.num_outputs, numChannels);
        processInPieces(buffer, *use.engine, numChannels, nIn, nOut);
    }
    for (int ch = nOut; ch < numChannels; ++ch) buffer.clear(ch, 0, n);
    outputMeterSource.measureBlock(buffer);
}

// The decoder works in place on the scratch channels, a prepared block length at a time.
void PluginProcessor::processInPieces(juce::AudioBuffer<float>& buffer, const Engine& e,
                                      int numChannels, int nIn, int nOut) noexcept
{
    const int pieceLength = scratchBuffer.getNumSamples();
    const int decoderChannels = juce::jmin(scratchBuffer.getNumChannels(),
                                           juce::jmax(e.setup.num_inputs, e.setup.num_outputs));
    if (pieceLength <= 0) return;
    for (int start = 0; start < buffer.getNumSamples(); start += pieceLength)
    {
        const int len = juce::jmin(pieceLength, buffer.getNumSamples() - start);
        for (int ch = 0; ch < nIn; ++ch) scratchBuffer.copyFrom(ch, 0, buffer, ch, start, len);
        // Inputs the host does not have read silence, never an earlier block's output.
        for (int ch = nIn; ch < decoderChannels; ++ch) scratchBuffer.clear(ch, 0, len);
        auto* const* channels = scratchBuffer.getArrayOfWritePointers();
        ox_abdec_process_var(e.handle, len, channels, channels);
        for (int ch = 0; ch < nOut && ch < numChannels; ++ch)
            buffer.copyFrom(ch, start, scratchBuffer, ch, 0, len);
    }
}

//==============================================================================
bool PluginProcessor::hasDecoder() const noexcept
{
    EngineUse use(*this);
    return use.engine != nullptr && !isRebuildPending();
}

void PluginProcessor::requestChannelTest() noexcept
{
    EngineUse use(*this);
    if (use.engine != nullptr && !isRebuildPending()) ox_abdec_channel_test(use.engine->handle);
}

void PluginProcessor::updateBeamDisplay()
{
    std::lock_guard<std::mutex> lock(workLock);
    computeBeamsLocked();
}

std::unique_lock<std::mutex> PluginProcessor::pauseBuilderForTesting()
{
    return std::unique_lock<std::mutex>(workLock);
}

juce::uint32 PluginProcessor::copyBeamData(BeamData& destination) const
{
    std::lock_guard<std::mutex> lock(beamLock);
    destination = *beamPublished;
    return beamSequence.load();
}

bool PluginProcessor::isBusesLayoutSupported(const BusesLayout& layouts) const
{
    // The VST3 wrapper cannot map discrete sets to speakers and back.
    for (const auto& set : {layouts.getMainInputChannelSet(), layouts.getMainOutputChannelSet()})
        if (set.size() > 16 || (set.size() > 0 && set.isDiscreteLayout())) return false;
    return true;
}

juce::AudioProcessorEditor* PluginProcessor::createEditor()
{
    return new PluginEditor(*this, parameters);
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new PluginProcessor();
}
