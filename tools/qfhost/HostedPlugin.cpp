#include "HostedPlugin.h"

#include <cstring>

namespace qfhost
{

namespace
{
// A top-level window holding the hosted editor, as a host's plug-in window does.
class EditorWindow : public juce::DocumentWindow
{
  public:
    explicit EditorWindow(juce::AudioProcessorEditor* editor)
        : DocumentWindow("Quillfield", juce::Colours::black, 0, true)
    {
        setUsingNativeTitleBar(false);
        setTitleBarHeight(0);
        setContentOwned(editor, true);
        setTopLeftPosition(0, 0);
        setVisible(true);
    }
};
} // namespace

HostedPlugin::HostedPlugin(std::unique_ptr<juce::AudioPluginInstance> p) : instance(std::move(p)) {}

HostedPlugin::~HostedPlugin()
{
    closeEditor();
    if (instance != nullptr) instance->releaseResources();
}

std::unique_ptr<HostedPlugin> HostedPlugin::load(const juce::File& bundle, double sampleRate,
                                                 int blockSize, juce::String& error)
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile(found, bundle.getFullPathName());
    if (found.isEmpty())
    {
        error = "no VST3 plug-in found in " + bundle.getFullPathName();
        return nullptr;
    }
    auto created = format.createInstanceFromDescription(*found[0], sampleRate, blockSize, error);
    if (created == nullptr) return nullptr;
    return std::unique_ptr<HostedPlugin>(new HostedPlugin(std::move(created)));
}

bool HostedPlugin::setLayout(const juce::AudioChannelSet& in, const juce::AudioChannelSet& out)
{
    auto layout = instance->getBusesLayout();
    if (layout.inputBuses.isEmpty() || layout.outputBuses.isEmpty()) return false;
    layout.inputBuses.getReference(0) = in;
    layout.outputBuses.getReference(0) = out;
    return instance->setBusesLayout(layout);
}

void HostedPlugin::prepare(double sampleRate, int maxBlockSize)
{
    instance->setRateAndBufferSizeDetails(sampleRate, maxBlockSize);
    instance->prepareToPlay(sampleRate, maxBlockSize);
    // The wrapper reports a latency change from the plug-in's message thread, after activation:
    // a host keeps running meanwhile, and so does this one, for five seconds at most. Without a
    // decoder there is no latency to send.
    for (int waited = 0; waited < 5000 && instance->getLatencySamples() == 0 && decodes();
         waited += 10)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
}

void HostedPlugin::release()
{
    instance->releaseResources();
}

void HostedPlugin::process(juce::AudioBuffer<float>& io, const std::vector<int>& blockLengths)
{
    jassert(!blockLengths.empty());
    size_t next = 0;
    for (int start = 0; start < io.getNumSamples();)
    {
        const int length = juce::jmin(blockLengths[next], io.getNumSamples() - start);
        next = (next + 1) % blockLengths.size();
        juce::AudioBuffer<float> block(io.getArrayOfWritePointers(), io.getNumChannels(), start,
                                       length);
        midi.clear();
        instance->processBlock(block, midi);
        start += length;
    }
}

juce::AudioBuffer<float> HostedPlugin::ioBuffer(const juce::AudioBuffer<float>& input,
                                                int extraSamples)
{
    const int ins = instance->getTotalNumInputChannels();
    juce::AudioBuffer<float> io(juce::jmax(ins, instance->getTotalNumOutputChannels()),
                                input.getNumSamples() + extraSamples);
    io.clear();
    for (int c = 0; c < juce::jmin(input.getNumChannels(), ins); ++c)
        io.copyFrom(c, 0, input, c, 0, input.getNumSamples());
    return io;
}

juce::String HostedPlugin::hostParameterId(const juce::String& pluginParameterId)
{
    // The wrapper's number of a parameter: the identifier's hash with the sign bit cleared.
    const auto hash = (juce::uint32)pluginParameterId.hashCode() & 0x7fffffffu;
    return juce::String(hash);
}

juce::AudioProcessorParameter* HostedPlugin::parameter(const juce::String& pluginParameterId) const
{
    const auto wanted = hostParameterId(pluginParameterId);
    for (auto* p : instance->getParameters())
        if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*>(p))
            if (hosted->getParameterID() == wanted) return p;
    return nullptr;
}

bool HostedPlugin::setParameterText(const juce::String& pluginParameterId, const juce::String& text)
{
    auto* p = parameter(pluginParameterId);
    if (p == nullptr) return false;
    p->setValueNotifyingHost(p->getValueForText(text));
    return true;
}

juce::String HostedPlugin::parameterText(const juce::String& pluginParameterId) const
{
    auto* p = parameter(pluginParameterId);
    return p != nullptr ? p->getText(p->getValue(), 1024) : juce::String();
}

juce::MemoryBlock HostedPlugin::saveState()
{
    juce::MemoryBlock state;
    instance->getStateInformation(state);
    return state;
}

void HostedPlugin::loadState(const juce::MemoryBlock& hostState)
{
    instance->setStateInformation(hostState.getData(), (int)hostState.getSize());
}

bool HostedPlugin::openEditor()
{
    if (window != nullptr) return true;
    auto* editor = instance->createEditorIfNeeded();
    if (editor == nullptr) return false;
    window = std::make_unique<EditorWindow>(editor);
    return true;
}

void HostedPlugin::closeEditor()
{
    // The window owns the editor; deleting it tells the plug-in its view is gone.
    window.reset();
}

juce::Rectangle<int> HostedPlugin::editorScreenBounds() const
{
    auto* document = dynamic_cast<juce::DocumentWindow*>(window.get());
    auto* editor = document != nullptr ? document->getContentComponent() : nullptr;
    return editor != nullptr ? editor->getScreenBounds() : juce::Rectangle<int>();
}

namespace StateStreams
{
namespace
{
constexpr size_t vstwHeaderSize = 16;  // "VstW", header size 8, version, bypass
constexpr size_t bankHeaderSize = 160; // the VST2 bank header up to its chunk
constexpr size_t wrapperHeaderSize = vstwHeaderSize + bankHeaderSize;
constexpr size_t bankByteSizeOffset = vstwHeaderSize + 4;
constexpr size_t bankChunkSizeOffset = vstwHeaderSize + 156;
const char* const componentTag = "IComponent";
// The wrapper appends its own data to the chunk: eight zero bytes, its private data, the private
// data's size as a 64-bit number and this word.
const char* const privateDataTag = "JUCEPrivateData";

struct ComponentStream
{
    std::unique_ptr<juce::XmlElement> hostXml;
    juce::XmlElement* component = nullptr;
    juce::MemoryBlock stream;
};

ComponentStream readComponent(const juce::MemoryBlock& hostState)
{
    ComponentStream c;
    c.hostXml =
        juce::AudioProcessor::getXmlFromBinary(hostState.getData(), (int)hostState.getSize());
    c.component = c.hostXml != nullptr ? c.hostXml->getChildByName(componentTag) : nullptr;
    if (c.component != nullptr && !c.stream.fromBase64Encoding(c.component->getAllSubText()))
    {
        c.component = nullptr;
        c.stream.reset();
    }
    return c;
}

struct SplitStream
{
    juce::MemoryBlock header, block, trailer;
};

// The wrapper's headers, the plug-in's block and the wrapper's trailer; all empty when the
// stream is too short to hold the headers.
SplitStream split(const juce::MemoryBlock& stream)
{
    SplitStream s;
    if (stream.getSize() < wrapperHeaderSize) return s;
    const auto* bytes = static_cast<const char*>(stream.getData());
    size_t end = stream.getSize();
    const size_t tagSize = std::strlen(privateDataTag);
    if (end >= wrapperHeaderSize + tagSize + 16 &&
        std::memcmp(bytes + end - tagSize, privateDataTag, tagSize) == 0)
    {
        const auto privateSize =
            (size_t)juce::ByteOrder::littleEndianInt64(bytes + end - tagSize - 8);
        if (privateSize + tagSize + 16 <= end - wrapperHeaderSize)
            end -= privateSize + tagSize + 16;
    }
    s.header.append(bytes, wrapperHeaderSize);
    s.block.append(bytes + wrapperHeaderSize, end - wrapperHeaderSize);
    s.trailer.append(bytes + end, stream.getSize() - end);
    return s;
}

void writeBigEndian(juce::MemoryBlock& block, size_t offset, juce::uint32 value)
{
    auto* bytes = static_cast<juce::uint8*>(block.getData()) + offset;
    for (int i = 0; i < 4; ++i) bytes[i] = (juce::uint8)(value >> (24 - 8 * i));
}
} // namespace

juce::MemoryBlock componentStream(const juce::MemoryBlock& hostState)
{
    return readComponent(hostState).stream;
}

juce::MemoryBlock withComponentStream(const juce::MemoryBlock& hostState,
                                      const juce::MemoryBlock& stream)
{
    auto c = readComponent(hostState);
    if (c.component == nullptr) return {};
    c.component->deleteAllTextElements();
    c.component->addTextElement(stream.toBase64Encoding());
    juce::MemoryBlock result;
    juce::AudioProcessor::copyXmlToBinary(*c.hostXml, result);
    return result;
}

juce::MemoryBlock pluginBlock(const juce::MemoryBlock& hostState)
{
    return split(componentStream(hostState)).block;
}

juce::MemoryBlock withPluginBlock(const juce::MemoryBlock& hostState,
                                  const juce::MemoryBlock& block)
{
    auto s = split(componentStream(hostState));
    if (s.header.isEmpty()) return {};
    auto stream = s.header;
    stream.append(block.getData(), block.getSize());
    stream.append(s.trailer.getData(), s.trailer.getSize());
    const auto chunkSize = (juce::uint32)(stream.getSize() - wrapperHeaderSize);
    writeBigEndian(stream, bankByteSizeOffset, (juce::uint32)(bankHeaderSize - 8) + chunkSize);
    writeBigEndian(stream, bankChunkSizeOffset, chunkSize);
    return withComponentStream(hostState, stream);
}
} // namespace StateStreams

} // namespace qfhost
