// The 35 parameters as a host sees them: identity, order, names, texts and typed values.
#include "Bundle.h"

namespace
{
struct Expected
{
    const char* name;
    const char* defaultText;
};

const Expected expected[35] = {{"Input format", "A-Format"},
                               {"Output format", "7.1 (ITU/SMPTE)"},
                               {"Microphone Distance", "1"},
                               {"Rotation", "0"},
                               {"Elevation", "0"},
                               {"Center", "50"},
                               {"Front", "50"},
                               {"Surround", "50"},
                               {"Rear", "50"},
                               {"Front elevated", "50"},
                               {"Surround elevated", "50"},
                               {"Front", "45"},
                               {"Surround", "135"},
                               {"Rear", "150"},
                               {"Front elevated", "45"},
                               {"Surround elevated", "135"},
                               {"Diffuse gain", "-4"},
                               {"Diffuse de-correlation", "0"},
                               {"Center", "0"},
                               {"Front", "0"},
                               {"Surround", "0"},
                               {"Rear", "0"},
                               {"Front elevated", "0"},
                               {"Surround elevated", "0"},
                               {"LFE", "0"},
                               {"", "no"},
                               {"Back delay", "20.0"},
                               {"Back shelving frequency", "4"},
                               {"Back shelving gain", "-2"},
                               {"Binaural output", "no"},
                               {"Cross-over", "no"},
                               {"Gain", "0"},
                               {"Frequency", "50"},
                               {"Order", "2"},
                               {"Invert Bass", "no"}};
} // namespace

TEST(BundleParameters, HostSeesTheTableInOrderWithItsNamesAndDefaultTexts)
{
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    const auto& params = hosted->plugin().getParameters();
    // The wrapper may add its own bypass parameter after ours, nothing before.
    ASSERT_GE(params.size(), 35);
    for (int i = 0; i < 35; ++i)
    {
        SCOPED_TRACE(bundle::ids[i]);
        auto* p = dynamic_cast<juce::HostedAudioProcessorParameter*>(params[i]);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->getParameterID(), qfhost::HostedPlugin::hostParameterId(bundle::ids[i]));
        EXPECT_EQ(p->getName(128), expected[i].name);
        EXPECT_EQ(p->getText(p->getValue(), 128), expected[i].defaultText);
        EXPECT_TRUE(p->isAutomatable());
    }
    for (int i = 35; i < params.size(); ++i) EXPECT_EQ(params[i]->getName(128), "Bypass");
}

TEST(BundleParameters, TypedTextsBecomeTheValuesTheRulesGive)
{
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    const struct
    {
        const char* id;
        const char* typed;
        const char* shown;
    } cases[] = {
        {"diffgain", "-3.5", "-3.5"},
        {"diffgain", "-4", "-4"},
        {"diffgain", "-3.47", "-3.5"},
        {"back_delay", "33.3", "33.3"},
        {"back_delay", "20", "20.0"},
        {"formatin", "Dolby Triple MS", "Dolby Triple MS"},
        {"formatin", "dolby triple ms", "A-Format"},
        {"formatout", "Stereo", "Stereo"},
        {"formatout", "no such layout", "Mono"},
        {"front_gain", "12 dB", "10"},
        {"rotation", "-500", "-180"},
        {"rotation", "  90deg", "90"},
        {"micspacing", "abc", "1"},
        {"binaural", "yes", "yes"},
        {"binaural", "Yes", "no"},
        {"xover_inv", "1", "no"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(juce::String(c.id) + " <- " + c.typed);
        ASSERT_TRUE(hosted->setParameterText(c.id, c.typed));
        EXPECT_EQ(hosted->parameterText(c.id), c.shown);
    }
    // Shown texts from positions of the control's travel.
    auto* freq = hosted->parameter("back_HS_freq");
    auto* order = hosted->parameter("xover_order");
    ASSERT_TRUE(freq != nullptr && order != nullptr);
    EXPECT_EQ(freq->getText(0.5f, 32), "6.5"); // skewed: lower frequencies get more travel
    EXPECT_EQ(order->getText(0.0f, 32), "0");
    EXPECT_EQ(order->getText(0.5f, 32), "1");
    EXPECT_EQ(order->getText(1.0f, 32), "2");
}
