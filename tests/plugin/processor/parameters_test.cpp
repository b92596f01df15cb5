#include "processor_fixture.h"

// Every row: the identifier and name the host sees, and the text of the default value.
TEST(Parameters, TableOrderNamesAndDefaultTexts)
{
    PluginProcessor p;
    const char* defaults[numParameters] = {"A-Format", "7.1 (ITU/SMPTE)",
                                           "1",        "0",
                                           "0",        "50",
                                           "50",       "50",
                                           "50",       "50",
                                           "50",       "45",
                                           "135",      "150",
                                           "45",       "135",
                                           "-4",       "0",
                                           "0",        "0",
                                           "0",        "0",
                                           "0",        "0",
                                           "0",        "no",
                                           "20.0",     "4",
                                           "-2",       "no",
                                           "no",       "0",
                                           "50",       "2",
                                           "no"};
    const auto& params = p.getParameters();
    ASSERT_EQ(params.size(), numParameters);
    for (int i = 0; i < numParameters; ++i)
    {
        auto* param = dynamic_cast<juce::RangedAudioParameter*>(params[i]);
        ASSERT_NE(param, nullptr);
        EXPECT_EQ(param->getParameterID(), parameterTable[i].id);
        EXPECT_EQ(param->getName(100), parameterTable[i].name);
        EXPECT_EQ(param->getCurrentValueAsText(), juce::String(defaults[i]))
            << parameterTable[i].id;
    }
    EXPECT_EQ(parameterTable[25].name, "");
    EXPECT_EQ(parameterTable[11].name, "Front");
}

TEST(Parameters, TextConversions)
{
    PluginProcessor p;
    auto text = [&](const char* id, float v) {
        auto* param = p.parameters.getParameter(id);
        return param->getText(param->convertTo0to1(v), 100);
    };
    auto value = [&](const char* id, const char* t) {
        auto* param = p.parameters.getParameter(id);
        return param->convertFrom0to1(param->getValueForText(t));
    };
    EXPECT_EQ(text("diffgain", -3.5f), "-3.5");
    EXPECT_EQ(text("diffgain", -4.0f), "-4");
    EXPECT_EQ(text("back_delay", 20.0f), "20.0");
    EXPECT_EQ(text("xover_freq", 50.0f), "50");
    EXPECT_EQ(text("formatin", 2.0f), "B-Format FuMa");
    EXPECT_EQ(text("formatout", 2.0f), "Stereo");
    EXPECT_EQ(value("formatin", "Dolby Triple MS"), 5.0f);
    EXPECT_EQ(value("formatin", "dolby triple ms"), 1.0f);
    EXPECT_EQ(value("front_gain", "12 dB"), 10.0f);
    EXPECT_EQ(value("front_gain", "nan"), 0.0f);
    EXPECT_EQ(value("binaural", "yes"), 1.0f);
    EXPECT_EQ(value("binaural", "Yes"), 0.0f);
    EXPECT_EQ(value("binaural", "1"), 0.0f);
    // Skew 0.5: the middle of the travel is near 6.5 kHz, not 11.
    EXPECT_NEAR(p.parameters.getParameter("back_HS_freq")->convertFrom0to1(0.5f), 6.5f, 0.05f);
    EXPECT_EQ(p.parameters.getParameter("xover_order")->getNumSteps(), 3);
}
