#pragma once
// The built bundle and what the tests know of it from the outside.
#include "HostedPlugin.h"

#include <gtest/gtest.h>

namespace bundle
{

// A fresh instance of the bundle, prepared unless told otherwise; fails the test if none loads.
inline std::unique_ptr<qfhost::HostedPlugin> load(double rate = 48000.0, int block = 480,
                                                  bool prepared = true)
{
    // The bundle is two folders above its shared object.
    const auto bundle = juce::File(QF_BUNDLE_BINARY_DIR).getParentDirectory().getParentDirectory();
    juce::String error;
    auto hosted = qfhost::HostedPlugin::load(bundle, rate, block, error);
    EXPECT_NE(hosted, nullptr) << error;
    if (hosted != nullptr && prepared) hosted->prepare(rate, block);
    return hosted;
}

// The parameters in host order: identifier, name and default text.
struct Parameter
{
    const char *id, *name, *defaultText;
};
// clang-format off
inline const Parameter parameters[35] = {
    {"formatin", "Input format", "A-Format"}, {"formatout", "Output format", "7.1 (ITU/SMPTE)"},
    {"micspacing", "Microphone Distance", "1"}, {"rotation", "Rotation", "0"},
    {"elevation", "Elevation", "0"}, {"center_focus", "Center", "50"},
    {"front_focus", "Front", "50"}, {"surround_focus", "Surround", "50"},
    {"rear_focus", "Rear", "50"}, {"frontH_focus", "Front elevated", "50"},
    {"surroundH_focus", "Surround elevated", "50"}, {"front_angle", "Front", "45"},
    {"surround_angle", "Surround", "135"}, {"rear_angle", "Rear", "150"},
    {"frontH_angle", "Front elevated", "45"}, {"surroundH_angle", "Surround elevated", "135"},
    {"diffgain", "Diffuse gain", "-4"}, {"diffdecorr", "Diffuse de-correlation", "0"},
    {"center_gain", "Center", "0"}, {"front_gain", "Front", "0"},
    {"surround_gain", "Surround", "0"}, {"rear_gain", "Rear", "0"},
    {"frontH_gain", "Front elevated", "0"}, {"surroundH_gain", "Surround elevated", "0"},
    {"lfe_gain", "LFE", "0"}, {"back_del_sh", "Back delay and shelving", "no"}, {"back_delay", "Back delay", "20.0"},
    {"back_HS_freq", "Back shelving frequency", "4"}, {"back_HS_gain", "Back shelving gain", "-2"},
    {"binaural", "Binaural output", "no"}, {"xover_on", "Cross-over", "no"},
    {"xover_gain", "Gain", "0"}, {"xover_freq", "Frequency", "50"}, {"xover_order", "Order", "2"},
    {"xover_inv", "Invert Bass", "no"}};
// clang-format on

// The first `channels` channels (all of a's by default) of both buffers are the same to the bit.
inline testing::AssertionResult sameBits(const juce::AudioBuffer<float>& a,
                                         const juce::AudioBuffer<float>& b, int channels = -1)
{
    for (int c = 0; c < (channels < 0 ? a.getNumChannels() : channels); ++c)
        if (std::memcmp(a.getReadPointer(c), b.getReadPointer(c),
                        sizeof(float) * (size_t)a.getNumSamples()) != 0)
            return testing::AssertionFailure() << "channel " << c << " differs";
    return testing::AssertionSuccess();
}

// The XML text of a plug-in state block ("VC2!", length, text, zero byte), or in a host state.
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
