// The plug-in's saved state as a host stores it: the block's format, a faithful round trip, and
// blocks damaged or made up by anyone, which must never hang, crash or unsettle a parameter.
#include "Bundle.h"
#include "TestSignals.h"

#include <cstring>

namespace
{
// Parameter ranges in host order.
const float ranges[35][2] = {{1, 7},    {1, 30},   {1, 21},   {-180, 180}, {-90, 90}, {0, 100},
                             {0, 100},  {0, 100},  {0, 100},  {0, 100},    {0, 100},  {0, 90},
                             {90, 180}, {90, 180}, {0, 90},   {90, 180},   {-6, 6},   {0, 100},
                             {-20, 10}, {-20, 10}, {-20, 10}, {-20, 10},   {-20, 10}, {-20, 10},
                             {-20, 10}, {0, 1},    {0, 100},  {2, 20},     {-20, 0},  {0, 1},
                             {0, 1},    {-10, 10}, {20, 200}, {0, 2},      {0, 1}};

juce::uint32 lengthField(const juce::MemoryBlock& block)
{
    return juce::ByteOrder::littleEndianInt(static_cast<const char*>(block.getData()) + 4);
}

juce::MemoryBlock blockOf(const juce::String& xml)
{
    juce::MemoryOutputStream out;
    out.write("VC2!", 4);
    out.writeInt((int)xml.getNumBytesAsUTF8());
    out << xml;
    out.writeByte(0);
    return out.getMemoryBlock();
}

// Every value the plug-in holds, seen by the host and in its own saved block, is finite and in
// its parameter's range.
void expectAllValuesSane(qfhost::HostedPlugin& hosted)
{
    for (int i = 0; i < 35; ++i)
    {
        const float v = hosted.plugin().getParameters()[i]->getValue();
        EXPECT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f) << bundle::ids[i] << " = " << v;
    }
    auto xml = juce::parseXML(bundle::stateXml(hosted));
    ASSERT_NE(xml, nullptr);
    for (int i = 0; i < 35; ++i)
    {
        auto* param = xml->getChildByAttribute("id", bundle::ids[i]);
        ASSERT_NE(param, nullptr) << bundle::ids[i];
        const double v = param->getDoubleAttribute("value", std::nan(""));
        EXPECT_TRUE(v >= ranges[i][0] && v <= ranges[i][1]) << bundle::ids[i] << " = " << v;
    }
}

juce::MemoryBlock mutated(const juce::MemoryBlock& good, juce::Random& random, int kind)
{
    auto block = good;
    auto* bytes = static_cast<juce::uint8*>(block.getData());
    const auto xml = bundle::blockXml(good);
    switch (kind)
    {
    case 0:
        block.setSize((size_t)random.nextInt((int)good.getSize()));
        break;
    case 1:
        for (int flips = 1 + random.nextInt(8); --flips >= 0;)
            bytes[random.nextInt((int)block.getSize())] ^= (juce::uint8)(1 << random.nextInt(8));
        break;
    case 2:
    {
        const juce::uint32 huge[] = {0xffffffffu, 0x7fffffffu, 0x80000000u,
                                     (juce::uint32)good.getSize() * 2, 0};
        const auto v = huge[random.nextInt(5)];
        for (int i = 0; i < 4; ++i) bytes[4 + i] = (juce::uint8)(v >> (8 * i));
        break;
    }
    case 3:
    {
        const char* junk[] = {"nan",     "inf",  "-inf", "1e39",  "-1e39", "",
                              "garbage", "0x10", "-0",   "1e-45", "99999"};
        auto doc = juce::parseXML(xml);
        auto* param = doc->getChildElement(random.nextInt(doc->getNumChildElements()));
        param->setAttribute("value", junk[random.nextInt(11)]);
        if (random.nextBool())
            param->setAttribute("id", random.nextBool() ? "FORMATOUT" : "unknown");
        return blockOf(doc->toString(juce::XmlElement::TextFormat().singleLine()));
    }
    case 4:
    {
        const int depth = 1 + random.nextInt(200000);
        return blockOf("<Quillfield>" + juce::String::repeatedString("<a>", depth) +
                       juce::String::repeatedString("</a>", depth) + "</Quillfield>");
    }
    case 5:
    {
        juce::String dtd = "<!DOCTYPE Quillfield [<!ENTITY e0 \"lol\">";
        for (int i = 1; i < 12; ++i)
            dtd << "<!ENTITY e" << i << " \""
                << juce::String::repeatedString("&e" + juce::String(i - 1) + ";", 10) << "\">";
        return blockOf(dtd + "]><Quillfield><PARAM id=\"rotation\" value=\"&e11;\"/></Quillfield>");
    }
    default:
        for (size_t i = 8; i < block.getSize(); ++i) bytes[i] = (juce::uint8)random.nextInt(256);
    }
    return block;
}
} // namespace

TEST(BundleState, FreshBlockHasTheFormatAHostStores)
{
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    const auto block = qfhost::StateStreams::pluginBlock(hosted->saveState());
    ASSERT_GT(block.getSize(), 9u);
    EXPECT_EQ(std::memcmp(block.getData(), "VC2!", 4), 0);
    EXPECT_EQ(lengthField(block), block.getSize() - 9);
    EXPECT_EQ(static_cast<const char*>(block.getData())[block.getSize() - 1], 0);
    const auto text = bundle::blockXml(block);
    EXPECT_EQ(text.getNumBytesAsUTF8(), lengthField(block));
    EXPECT_TRUE(text.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Quillfield"));
    EXPECT_FALSE(text.containsChar('\n'));
    auto xml = juce::parseXML(text);
    ASSERT_NE(xml, nullptr);
    EXPECT_TRUE(xml->hasTagName("Quillfield"));
    EXPECT_EQ(xml->getNumChildElements(), 35);
    for (auto* id : bundle::ids) EXPECT_NE(xml->getChildByAttribute("id", id), nullptr) << id;
}

TEST(BundleState, RandomValuesComeBackInAFreshInstanceAndDecodeAlike)
{
    auto first = bundle::load();
    ASSERT_NE(first, nullptr);
    juce::Random random(42);
    for (int i = 0; i < 35; ++i)
        first->plugin().getParameters()[i]->setValueNotifyingHost(random.nextFloat());
    const auto input = qfhost::planeWaveAFormat(24000, 60.0f, 10.0f);
    auto io = bundle::hostBuffer(*first, input);
    first->process(io, {480}); // delivers the values with a block, as host automation does
    const auto saved = first->saveState();

    auto second = bundle::load();
    ASSERT_NE(second, nullptr);
    second->loadState(saved);
    for (int i = 0; i < 35; ++i)
        EXPECT_EQ(second->parameterText(bundle::ids[i]), first->parameterText(bundle::ids[i]))
            << bundle::ids[i];
    // The children's order is the framework's; each value is the same.
    auto reloaded = juce::parseXML(bundle::stateXml(*second));
    auto original = juce::parseXML(bundle::blockXml(qfhost::StateStreams::pluginBlock(saved)));
    ASSERT_TRUE(reloaded != nullptr && original != nullptr);
    for (auto* id : bundle::ids)
        EXPECT_EQ(reloaded->getChildByAttribute("id", id)->getStringAttribute("value"),
                  original->getChildByAttribute("id", id)->getStringAttribute("value"))
            << id;

    // Both rebuilt from scratch decode the same input to the same bits.
    juce::Thread::sleep(200);
    juce::AudioBuffer<float> out[2];
    qfhost::HostedPlugin* both[2] = {first.get(), second.get()};
    for (int k = 0; k < 2; ++k)
    {
        both[k]->release();
        both[k]->prepare(48000.0, 480);
        out[k] = bundle::hostBuffer(*both[k], input);
        both[k]->process(out[k], {480});
    }
    for (int c = 0; c < out[0].getNumChannels(); ++c)
        EXPECT_EQ(
            std::memcmp(out[0].getReadPointer(c), out[1].getReadPointer(c), sizeof(float) * 24000),
            0)
            << c;
}

namespace
{
// Loads a thousand blocks damaged in the given ways into one instance; each must load in well
// under a second and leave every value in range, and the instance must decode afterwards.
void loadDamagedBlocks(const std::vector<int>& kinds)
{
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    const auto hostState = hosted->saveState();
    const auto good = qfhost::StateStreams::pluginBlock(hostState);
    juce::Random random(3);
    double slowest = 0.0;
    for (int n = 0; n < 1000; ++n)
    {
        const int kind = kinds[(size_t)n % kinds.size()];
        const auto state =
            qfhost::StateStreams::withPluginBlock(hostState, mutated(good, random, kind));
        const double start = juce::Time::getMillisecondCounterHiRes();
        hosted->loadState(state);
        slowest = juce::jmax(slowest, juce::Time::getMillisecondCounterHiRes() - start);
        SCOPED_TRACE("mutation " + juce::String(n) + " of kind " + juce::String(kind));
        expectAllValuesSane(*hosted);
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_LT(slowest, 500.0);
    auto io = bundle::hostBuffer(*hosted, qfhost::planeWaveAFormat(4800, 0.0f, 0.0f));
    hosted->process(io, {480});
    EXPECT_TRUE(bundle::allFinite(io));
}
} // namespace

TEST(BundleState, DamagedBlocksLoadQuicklyAndLeaveEveryValueInRange)
{
    loadDamagedBlocks({0, 2, 3, 4, 5});
}

// Text that is not valid UTF-8 (a bit flip, random bytes) is refused without reading past it.
TEST(BundleState, BlocksThatAreNotUtf8LoadSafely)
{
    loadDamagedBlocks({1, 6});
}
