// The 35 parameters as a host sees them: identity, order, names, texts and typed values.
#include "Bundle.h"

TEST(BundleParameters, HostSeesTheTableInOrderWithItsNamesDefaultsAndTypedTexts)
{
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    const auto& params = hosted->plugin().getParameters();
    // The wrapper may add its own bypass parameter after ours, nothing before.
    ASSERT_GE(params.size(), 35);
    for (int i = 0; i < 35; ++i)
    {
        const auto& expected = bundle::parameters[i];
        SCOPED_TRACE(expected.id);
        auto* p = dynamic_cast<juce::HostedAudioProcessorParameter*>(params[i]);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->getParameterID(), qfhost::HostedPlugin::hostParameterId(expected.id));
        EXPECT_EQ(p->getName(128), expected.name);
        EXPECT_FALSE(p->getName(128).isEmpty()); // hosts list untitled parameters blank
        EXPECT_EQ(p->getText(p->getValue(), 128), expected.defaultText);
        EXPECT_TRUE(p->isAutomatable());
    }
    for (int i = 35; i < params.size(); ++i) EXPECT_EQ(params[i]->getName(128), "Bypass");

    // Typed texts become the values the rules give.
    // clang-format off
    const std::tuple<const char*, const char*, const char*> cases[] = { // id, typed, shown
        {"diffgain", "-3.5", "-3.5"}, {"diffgain", "-4", "-4"}, {"diffgain", "-3.47", "-3.5"},
        {"back_delay", "33.3", "33.3"}, {"back_delay", "20", "20.0"},
        {"formatin", "Dolby Triple MS", "Dolby Triple MS"},
        {"formatin", "dolby triple ms", "A-Format"},
        {"formatout", "Stereo", "Stereo"}, {"formatout", "no such layout", "Mono"},
        {"front_gain", "12 dB", "10"}, {"rotation", "-500", "-180"}, {"rotation", "  90deg", "90"},
        {"micspacing", "abc", "1"}, {"binaural", "yes", "yes"}, {"binaural", "Yes", "no"},
        {"xover_inv", "1", "no"},
        // Infinities and overflowing numbers land on the nearer end; NaN reads as 0.
        {"front_gain", "inf", "10"}, {"front_gain", "-inf", "-20"}, {"front_gain", "nan", "0"},
        {"front_gain", "1e39", "10"}, {"front_gain", "-1e39", "-20"},
        {"rotation", "1e39", "180"}, {"rotation", "-1e39", "-180"}, {"rotation", "nan", "0"},
        {"rotation", "-inf", "-180"}, {"rotation", "inf", "180"}};
    // clang-format on
    for (const auto& [id, typed, shown] : cases)
    {
        SCOPED_TRACE(juce::String(id) + " <- " + typed);
        ASSERT_TRUE(hosted->setParameterText(id, typed));
        EXPECT_EQ(hosted->parameterText(id), shown);
    }
    // Shown texts from positions of the control's travel; the shelf frequency is skewed, lower
    // frequencies get more travel.
    for (const auto& [id, position, shown] : {std::tuple("back_HS_freq", 0.5f, "6.5"),
                                              {"xover_order", 0.0f, "0"},
                                              {"xover_order", 0.5f, "1"},
                                              {"xover_order", 1.0f, "2"}})
        EXPECT_EQ(hosted->parameter(id)->getText(position, 32), shown) << id << position;
}
