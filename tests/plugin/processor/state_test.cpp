#include "processor_fixture.h"

namespace
{
juce::MemoryBlock blockOf(const juce::String& xml)
{
    juce::MemoryBlock block;
    juce::MemoryOutputStream out(block, false);
    out.write("VC2!", 4);
    out.writeInt((int)xml.getNumBytesAsUTF8());
    out << xml;
    out.writeByte(0);
    return block;
}

juce::String params(const juce::String& children, const juce::String& root = "Quillfield")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <" + root + ">" + children + "</" + root +
           ">";
}

juce::String param(const char* id, const char* value)
{
    return juce::String("<PARAM id=\"") + id + "\" value=\"" + value + "\"/>";
}

float value(PluginProcessor& p, const char* id)
{
    return p.parameters.getRawParameterValue(id)->load();
}
} // namespace

TEST(State, MicSpacingAgreesWithTheDecoderFromTheStart)
{
    // Untouched (choice 1), set through its listener, and loaded from a state: the same
    // spacing gives the same audio, another spacing different audio.
    ProcessorFixture untouched, viaListener, loaded, other;
    viaListener.set("micspacing", 4.0f);
    viaListener.set("micspacing", 1.0f);
    other.set("micspacing", 6.0f);
    const auto block = blockOf(params(param("micspacing", "1")));
    loaded.p.setStateInformation(block.getData(), (int)block.getSize());
    for (auto* f : {&viaListener, &loaded, &other}) f->p.waitForPendingWork();
    const auto reference = untouched.run(4800, {480});
    EXPECT_TRUE(identical(reference, viaListener.run(4800, {480}), 8));
    EXPECT_TRUE(identical(reference, loaded.run(4800, {480}), 8));
    EXPECT_FALSE(identical(reference, other.run(4800, {480}), 8));
}

TEST(State, MalformedBlocksAreRefused)
{
    juce::String deep;
    for (int i = 0; i < 200; ++i) deep << "<a>";
    const juce::String refused[] = {
        params(param("rotation", "10"), "PARAM"),
        "<?xml version=\"1.0\"?><!DOCTYPE q [<!ENTITY x \"10\">]><Quillfield>" +
            param("rotation", "&x;") + "</Quillfield>",
        params(deep + param("rotation", "10")),
        params(param("rotation", "10") +
               juce::String::repeatedString(" ", PluginProcessor::maxStateBytes)),
        "<Quillfield><PARAM id=\"rotation\" value=\"10\"", // unparsable
    };
    PluginProcessor p;
    p.parameters.getParameter("rotation")->setValueNotifyingHost(0.75f); // 90 degrees
    for (const auto& xml : refused)
    {
        const auto block = blockOf(xml);
        p.setStateInformation(block.getData(), (int)block.getSize());
        EXPECT_EQ(value(p, "rotation"), 90.0f) << xml.substring(0, 80);
    }
    const char shortBlock[9] = {'V', 'C', '2', '!', 0, 0, 0, 0, 0};
    p.setStateInformation(shortBlock, sizeof shortBlock);
    p.setStateInformation(nullptr, 100);
    EXPECT_EQ(value(p, "rotation"), 90.0f);
}

TEST(State, BadValuesFallBackToDefaultsAndUnknownIdsAreIgnored)
{
    PluginProcessor p;
    const auto block = blockOf(params(param("rotation", "nan") + param("elevation", "1e30") +
                                          param("front_angle", "60") + param("diffgain", "loud") +
                                          param("lfe_gain", "-inf") + param("nonsense", "5") +
                                          param("formatout", "31"),
                                      "quillfield"));
    p.setStateInformation(block.getData(), (int)block.getSize());
    EXPECT_EQ(value(p, "front_angle"), 60.0f); // a lower-case root is accepted
    EXPECT_EQ(value(p, "rotation"), 0.0f);
    EXPECT_EQ(value(p, "elevation"), 0.0f);
    EXPECT_EQ(value(p, "diffgain"), -4.0f);
    EXPECT_EQ(value(p, "lfe_gain"), 0.0f);
    EXPECT_EQ(value(p, "formatout"), 5.0f);
    EXPECT_FALSE(p.parameters.state.getChildWithProperty("id", "nonsense").isValid());
}
