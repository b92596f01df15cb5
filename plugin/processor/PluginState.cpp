// Saved state: the parameter tree as XML in the framework's binary block ("VC2!", the text's
// length, the text, a zero byte). Loading accepts only what a saved block of ours can hold:
// no DTD or entities, a bounded size and nesting, known parameters with finite values in
// their ranges; anything else falls back to the parameter's default.
#include "PluginProcessor.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>

namespace
{
constexpr char stateMagic[4] = {'V', 'C', '2', '!'};
constexpr int headerBytes = 8;

// Deepest element nesting of an XML text, counted from its tags alone.
int nestingDepth(const juce::String& text)
{
    int depth = 0, deepest = 0;
    for (auto p = text.getCharPointer(); !p.isEmpty(); ++p)
    {
        if (*p != '<') continue;
        const auto next = *(p + 1);
        if (next == '/')
            --depth;
        else if (next != '?' && next != '!')
        {
            deepest = juce::jmax(deepest, ++depth);
            auto q = p;
            while (!q.isEmpty() && *q != '>') ++q;
            if (!q.isEmpty() && *(q - 1) == '/') --depth;
        }
    }
    return deepest;
}

bool isPlainNumber(const juce::String& text)
{
    const auto t = text.trim();
    return t.isNotEmpty() && t.containsOnly("0123456789.-+eE");
}

// The parameter tree and its undo manager belong to the message thread (the editor opens undo
// transactions there), while hosts save and load from their own thread. This runs the tree
// work on the message thread and waits for it. If the message thread does not take it up in
// time (it may be waiting for this very thread), the caller runs it itself; exactly one of
// the two does.
void onMessageThread(std::function<void()> work)
{
    auto* mm = juce::MessageManager::getInstanceWithoutCreating();
    if (mm == nullptr || mm->isThisTheMessageThread())
    {
        work();
        return;
    }
    struct Job : juce::ReferenceCountedObject
    {
        std::function<void()> work;
        std::atomic<bool> claimed{false};
        juce::WaitableEvent done;
    };
    juce::ReferenceCountedObjectPtr<Job> job(new Job());
    job->work = std::move(work);
    juce::MessageManager::callAsync([job] {
        if (job->claimed.exchange(true)) return;
        job->work();
        job->done.signal();
    });
    if (job->done.wait(2000)) return;
    if (!job->claimed.exchange(true))
        job->work();
    else
        job->done.wait(-1); // the message thread is running it now
}
} // namespace

void PluginProcessor::getStateInformation(juce::MemoryBlock& destData)
{
    // The tree's own copy holds values the framework has not yet written into the tree.
    juce::ValueTree copy;
    onMessageThread([this, &copy] { copy = parameters.copyState(); });
    if (auto xml = copy.createXml()) copyXmlToBinary(*xml, destData);
}

bool PluginProcessor::readStateXml(const void* data, int sizeInBytes, juce::String& xmlText) const
{
    if (data == nullptr || sizeInBytes < headerBytes + 1 || sizeInBytes > maxStateBytes)
        return false;
    const auto* bytes = static_cast<const char*>(data);
    if (std::memcmp(bytes, stateMagic, sizeof stateMagic) != 0) return false;
    juce::uint32 length = 0;
    std::memcpy(&length, bytes + 4, sizeof length);
    length = juce::ByteOrder::swapIfBigEndian(length);
    if (length == 0 || length > (juce::uint32)maxStateBytes) return false;
    const auto available = juce::jmin((size_t)length, (size_t)(sizeInBytes - headerBytes));
    const auto* text = bytes + headerBytes;
    const auto textBytes = (int)strnlen(text, available);
    // We only ever write valid UTF-8. A damaged multi-byte sequence would let a character
    // pointer step over the text's end, so such text is refused before it becomes a string.
    if (!juce::CharPointer_UTF8::isValidString(text, textBytes)) return false;
    xmlText = juce::String::fromUTF8(text, textBytes);
    if (xmlText.containsIgnoreCase("<!DOCTYPE") || xmlText.containsIgnoreCase("<!ENTITY"))
        return false;
    return nestingDepth(xmlText) <= maxStateDepth;
}

juce::ValueTree PluginProcessor::sanitisedState(const juce::XmlElement& root) const
{
    juce::ValueTree state(stateType);
    for (int i = 0; i < numParameters; ++i)
    {
        const auto& s = parameterrules::rules[i];
        auto* param = parameters.getParameter(parameterTable[i].id);
        float value = param->convertFrom0to1(param->getDefaultValue());
        for (auto* child : root.getChildWithTagNameIterator("PARAM"))
        {
            if (child->getStringAttribute("id") != parameterTable[i].id) continue;
            const auto text = child->getStringAttribute("value");
            const double v = text.getDoubleValue();
            if (isPlainNumber(text) && std::isfinite(v) && v >= s.start && v <= s.end)
                value = (float)v;
            break;
        }
        juce::ValueTree child("PARAM");
        child.setProperty("id", parameterTable[i].id, nullptr);
        child.setProperty("value", value, nullptr);
        state.appendChild(child, nullptr);
    }
    return state;
}

void PluginProcessor::setStateInformation(const void* data, int sizeInBytes)
{
    juce::String xmlText;
    if (!readStateXml(data, sizeInBytes, xmlText)) return;
    auto root = juce::XmlDocument::parse(xmlText);
    if (root == nullptr || !root->getTagName().equalsIgnoreCase(stateType)) return;
    auto state = sanitisedState(*root);
    onMessageThread([this, &state] { parameters.replaceState(state); });
}
