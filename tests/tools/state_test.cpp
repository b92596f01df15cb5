// Saved state through the host: format, round trip, and damaged blocks that must load safely.
#include "Bundle.h"
#include "TestSignals.h"

namespace
{
// Every value is in range as the host sees it and a number as the plug-in saves it.
void expectAllValuesSane(qfhost::HostedPlugin& hosted)
{
    auto xml = juce::parseXML(bundle::stateXml(hosted));
    ASSERT_NE(xml, nullptr);
    for (int i = 0; i < 35; ++i)
    {
        const auto* id = bundle::parameters[i].id;
        const float shown = hosted.plugin().getParameters()[i]->getValue();
        auto* param = xml->getChildByAttribute("id", id);
        ASSERT_NE(param, nullptr) << id;
        const double saved = param->getDoubleAttribute("value", std::nan(""));
        EXPECT_TRUE(shown >= 0.0f && shown <= 1.0f && std::isfinite(saved))
            << id << ": " << shown << ", " << saved;
    }
}

juce::MemoryBlock mutated(const juce::MemoryBlock& good, juce::Random& random, int kind)
{
    auto block = good;
    auto* bytes = static_cast<juce::uint8*>(block.getData());
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
    default:
        for (size_t i = 8; i < block.getSize(); ++i) bytes[i] = (juce::uint8)random.nextInt(256);
    }
    return block;
}
} // namespace

// A fresh block is "VC2!", the text's length, one line of XML, a zero byte; random values
// saved come back in a fresh instance, which decodes alike.
TEST(BundleState, FreshBlockFormatAndRandomValuesComeBackInAFreshInstanceAndDecodeAlike)
{
    auto first = bundle::load();
    ASSERT_NE(first, nullptr);
    const auto block = qfhost::StateStreams::pluginBlock(first->saveState());
    const auto text = bundle::blockXml(block);
    const auto* bytes = static_cast<const char*>(block.getData());
    EXPECT_TRUE(juce::String(bytes, 4) == "VC2!" && bytes[block.getSize() - 1] == 0);
    EXPECT_TRUE(juce::ByteOrder::littleEndianInt(bytes + 4) == text.getNumBytesAsUTF8() &&
                block.getSize() == 9 + text.getNumBytesAsUTF8());
    EXPECT_TRUE(text.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Quillfield"));
    EXPECT_FALSE(text.containsChar('\n'));
    auto xml = juce::parseXML(text);
    ASSERT_TRUE(xml != nullptr && xml->hasTagName("Quillfield"));
    EXPECT_EQ(xml->getNumChildElements(), 35); // each by its id: expectAllValuesSane

    juce::Random random(42);
    for (int i = 0; i < 35; ++i)
        first->plugin().getParameters()[i]->setValueNotifyingHost(random.nextFloat());
    const auto input = qfhost::planeWaveAFormat(24000, 60.0f, 10.0f);
    auto io = first->ioBuffer(input);
    first->process(io, {480}); // delivers the values with a block, as host automation does
    const auto saved = first->saveState();

    auto second = bundle::load();
    ASSERT_NE(second, nullptr);
    second->loadState(saved);
    // The children's order is the framework's; each text and saved value is the same.
    auto reloaded = juce::parseXML(bundle::stateXml(*second));
    auto original = juce::parseXML(bundle::blockXml(qfhost::StateStreams::pluginBlock(saved)));
    ASSERT_TRUE(reloaded != nullptr && original != nullptr);
    for (const auto& [id, name, text] : bundle::parameters)
    {
        EXPECT_EQ(second->parameterText(id), first->parameterText(id)) << id;
        EXPECT_EQ(reloaded->getChildByAttribute("id", id)->getStringAttribute("value"),
                  original->getChildByAttribute("id", id)->getStringAttribute("value"))
            << id;
    }

    // Both rebuilt from scratch decode the same input to the same bits.
    juce::Thread::sleep(200);
    const auto decode = [&input](qfhost::HostedPlugin& hosted) {
        hosted.release();
        hosted.prepare(48000.0, 480);
        auto out = hosted.ioBuffer(input);
        hosted.process(out, {480});
        return out;
    };
    EXPECT_TRUE(bundle::sameBits(decode(*first), decode(*second)));
}

// Two thousand damaged blocks into one instance, some not even UTF-8 (a bit flip, random
// bytes: refused without reading past them): each loads quickly, the instance still decodes.
TEST(BundleState, DamagedBlocksLoadQuicklyAndLeaveEveryValueInRange)
{
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    const auto hostState = hosted->saveState();
    const auto good = qfhost::StateStreams::pluginBlock(hostState);
    juce::Random random(3);
    double slowest = 0.0;
    for (int n = 0; n < 2000; ++n)
    {
        const int kind = n % 4;
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
    auto io = hosted->ioBuffer(qfhost::planeWaveAFormat(4800, 0.0f, 0.0f));
    hosted->process(io, {480});
    EXPECT_TRUE(bundle::allFinite(io));
}
