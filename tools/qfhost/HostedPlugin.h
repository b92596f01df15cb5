#pragma once
// A plug-in bundle loaded the way a VST3 host loads it, through the framework's VST3 hosting.
// The program and the tests drive the built bundle through this class only, so what they see is
// what a host sees: the wrapper's parameters, bus arrangements, state streams and editor.
#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>
#include <vector>

namespace qfhost
{

class HostedPlugin
{
  public:
    // Scans the bundle and creates one instance; null with a message in `error` on failure.
    // A juce::ScopedJuceInitialiser_GUI must exist.
    static std::unique_ptr<HostedPlugin> load(const juce::File& bundle, double sampleRate,
                                              int blockSize, juce::String& error);
    ~HostedPlugin();

    juce::AudioPluginInstance& plugin() noexcept { return *instance; }

    // Asks the plug-in for main buses of these sets (the host's setBusArrangements); false
    // when it refuses them. Only while released.
    bool setLayout(const juce::AudioChannelSet& in, const juce::AudioChannelSet& out);
    void prepare(double sampleRate, int maxBlockSize);
    // Whether the plug-in built a decoder when prepared. One that did not (a sample rate it
    // refuses) passes its input through and reports neither latency nor tail; the tail is asked
    // of the plug-in itself, while a new latency reaches the host later, from the plug-in's
    // message thread, so the tail tells at once.
    bool decodes() const { return instance->getTailLengthSeconds() > 0.0; }
    void release();

    // Processes io in place as successive host blocks whose lengths cycle through
    // blockLengths; io needs at least as many channels as the wider bus.
    void process(juce::AudioBuffer<float>& io, const std::vector<int>& blockLengths);
    // A buffer for process: as many channels as the wider bus, `extraSamples` longer than
    // `input`, whose channels it starts with (as many as the input bus takes); silence elsewhere.
    juce::AudioBuffer<float> ioBuffer(const juce::AudioBuffer<float>& input, int extraSamples = 0);

    // The hosted parameter of one of the plug-in's parameter identifiers, or null. The wrapper
    // exposes each parameter under a number derived from the identifier's hash.
    juce::AudioProcessorParameter* parameter(const juce::String& pluginParameterId) const;
    static juce::String hostParameterId(const juce::String& pluginParameterId);
    // Sets a parameter from the text a user types, as a host's generic editor does.
    bool setParameterText(const juce::String& pluginParameterId, const juce::String& text);
    juce::String parameterText(const juce::String& pluginParameterId) const;

    juce::MemoryBlock saveState();
    void loadState(const juce::MemoryBlock& hostState);

    // The plug-in's editor in a real window on the display (needs a display, see Display.h).
    bool openEditor();
    void closeEditor();
    bool isEditorOpen() const noexcept { return window != nullptr; }
    juce::Rectangle<int> editorScreenBounds() const;

  private:
    explicit HostedPlugin(std::unique_ptr<juce::AudioPluginInstance>);

    std::unique_ptr<juce::AudioPluginInstance> instance;
    juce::MidiBuffer midi;
    std::unique_ptr<juce::Component> window;
};

// The host stores the wrapper's component stream inside its own state; with the VST2-compatible
// identity that stream is a "VstW" header and a VST2 bank header followed by the plug-in's own
// block, then data of the wrapper's own. These reach that block, and put another in its place,
// leaving the wrapper's headers and data consistent with it. The whole component stream can be
// read and replaced as well, to hand the wrapper any bytes at all.
namespace StateStreams
{
juce::MemoryBlock pluginBlock(const juce::MemoryBlock& hostState);
juce::MemoryBlock withPluginBlock(const juce::MemoryBlock& hostState,
                                  const juce::MemoryBlock& pluginBlock);
juce::MemoryBlock componentStream(const juce::MemoryBlock& hostState);
juce::MemoryBlock withComponentStream(const juce::MemoryBlock& hostState,
                                      const juce::MemoryBlock& stream);
} // namespace StateStreams

} // namespace qfhost
