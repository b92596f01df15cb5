#include "HostedPlugin.h"

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
    return window != nullptr ? window->getScreenBounds() : juce::Rectangle<int>();
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

std::unique_ptr<juce::XmlElement> hostXml(const juce::MemoryBlock& hostState)
{
    return juce::AudioProcessor::getXmlFromBinary(hostState.getData(), (int)hostState.getSize());
}

void writeBigEndian(juce::MemoryBlock& block, size_t offset, juce::uint32 value)
{
    auto* bytes = static_cast<juce::uint8*>(block.getData()) + offset;
    for (int i = 0; i < 4; ++i) bytes[i] = (juce::uint8)(value >> (24 - 8 * i));
}
} // namespace

juce::MemoryBlock pluginBlock(const juce::MemoryBlock& hostState)
{
    juce::MemoryBlock stream;
    auto xml = hostXml(hostState);
    auto* component = xml != nullptr ? xml->getChildByName(componentTag) : nullptr;
    if (component == nullptr || !stream.fromBase64Encoding(component->getAllSubText()) ||
        stream.getSize() < wrapperHeaderSize)
        return {};
    return juce::MemoryBlock(static_cast<const char*>(stream.getData()) + wrapperHeaderSize,
                             stream.getSize() - wrapperHeaderSize);
}

juce::MemoryBlock withPluginBlock(const juce::MemoryBlock& hostState,
                                  const juce::MemoryBlock& block)
{
    auto xml = hostXml(hostState);
    auto* component = xml != nullptr ? xml->getChildByName(componentTag) : nullptr;
    juce::MemoryBlock stream;
    if (component == nullptr || !stream.fromBase64Encoding(component->getAllSubText()) ||
        stream.getSize() < wrapperHeaderSize)
        return {};
    stream.setSize(wrapperHeaderSize);
    stream.append(block.getData(), block.getSize());
    writeBigEndian(stream, bankByteSizeOffset,
                   (juce::uint32)(bankHeaderSize - 8 + block.getSize()));
    writeBigEndian(stream, bankChunkSizeOffset, (juce::uint32)block.getSize());
    component->deleteAllTextElements();
    component->addTextElement(stream.toBase64Encoding());
    juce::MemoryBlock result;
    juce::AudioProcessor::copyXmlToBinary(*xml, result);
    return result;
}
} // namespace StateStreams

} // namespace qfhost
