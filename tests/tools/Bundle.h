#pragma once
// The built bundle and what the tests know of it from the outside.
#include "HostedPlugin.h"

#include <gtest/gtest.h>

namespace bundle
{

inline juce::File file()
{
    return juce::File(QF_BUNDLE_BINARY_DIR).getParentDirectory().getParentDirectory();
}

// A fresh hosted instance, prepared unless told otherwise; fails the test when it cannot load.
inline std::unique_ptr<qfhost::HostedPlugin> load(double rate = 48000.0, int block = 480,
                                                  bool prepared = true)
{
    juce::String error;
    auto hosted = qfhost::HostedPlugin::load(file(), rate, block, error);
    EXPECT_NE(hosted, nullptr) << error;
    if (hosted != nullptr && prepared) hosted->prepare(rate, block);
    return hosted;
}

// Parameter identifiers in host order.
inline const char* const ids[35] = {
    "formatin",        "formatout",   "micspacing",     "rotation",       "elevation",
    "center_focus",    "front_focus", "surround_focus", "rear_focus",     "frontH_focus",
    "surroundH_focus", "front_angle", "surround_angle", "rear_angle",     "frontH_angle",
    "surroundH_angle", "diffgain",    "diffdecorr",     "center_gain",    "front_gain",
    "surround_gain",   "rear_gain",   "frontH_gain",    "surroundH_gain", "lfe_gain",
    "back_del_sh",     "back_delay",  "back_HS_freq",   "back_HS_gain",   "binaural",
    "xover_on",        "xover_gain",  "xover_freq",     "xover_order",    "xover_inv"};

// A buffer wide enough for both buses, the first channels holding `input`.
inline juce::AudioBuffer<float> hostBuffer(qfhost::HostedPlugin& hosted,
                                           const juce::AudioBuffer<float>& input)
{
    auto& p = hosted.plugin();
    juce::AudioBuffer<float> io(
        juce::jmax(p.getTotalNumInputChannels(), p.getTotalNumOutputChannels()),
        input.getNumSamples());
    io.clear();
    for (int c = 0; c < juce::jmin(input.getNumChannels(), p.getTotalNumInputChannels()); ++c)
        io.copyFrom(c, 0, input, c, 0, input.getNumSamples());
    return io;
}

// The XML text of a state block of the plug-in ("VC2!", length, text, zero byte), and of the
// plug-in's block inside the host's state.
inline juce::String blockXml(const juce::MemoryBlock& block)
{
    if (block.getSize() < 9) return {};
    const auto* bytes = static_cast<const char*>(block.getData());
    const auto length = (int)juce::ByteOrder::littleEndianInt(bytes + 4);
    return juce::String::fromUTF8(bytes + 8, juce::jlimit(0, (int)block.getSize() - 8, length));
}

inline juce::String stateXml(qfhost::HostedPlugin& hosted)
{
    return blockXml(qfhost::StateStreams::pluginBlock(hosted.saveState()));
}

inline bool allFinite(const juce::AudioBuffer<float>& b)
{
    for (int c = 0; c < b.getNumChannels(); ++c)
        for (int i = 0; i < b.getNumSamples(); ++i)
            if (!std::isfinite(b.getSample(c, i))) return false;
    return true;
}

} // namespace bundle
