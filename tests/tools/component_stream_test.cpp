// The component stream a host stores for the plug-in, as the framework's VST3 wrapper writes it,
// and damaged streams handed to the wrapper: each is refused or loads whole, never read past its
// end, and the instance keeps decoding.
#include "Bundle.h"
#include "TestSignals.h"

#include <pluginterfaces/vst/ivstcomponent.h>
#include <public.sdk/source/common/memorystream.h>

namespace
{
constexpr size_t headerBytes = 16 + 160; // "VstW" header, VST2 bank record
const char* const privateDataTag = "JUCEPrivateData";

void appendBigEndian(juce::MemoryBlock& m, juce::uint32 v)
{
    const juce::uint8 b[] = {(juce::uint8)(v >> 24), (juce::uint8)(v >> 16), (juce::uint8)(v >> 8),
                             (juce::uint8)v};
    m.append(b, 4);
}

void appendLittleEndian(juce::MemoryBlock& m, juce::uint64 v, int bytes = 8)
{
    for (int i = 0; i < bytes; ++i)
    {
        const auto byte = (juce::uint8)(v >> (8 * i));
        m.append(&byte, 1);
    }
}

void appendText(juce::MemoryBlock& m, const char* text, bool withZero)
{
    m.append(text, std::strlen(text) + (withZero ? 1 : 0));
}

// The VST2-compatible headers in front of a chunk of `chunkSize` bytes, bypass off.
juce::MemoryBlock expectedHeaders(juce::uint32 chunkSize, juce::uint32 versionCode)
{
    juce::MemoryBlock m;
    appendText(m, "VstW", false);
    for (juce::uint32 v : {8u, 1u, 0u}) appendBigEndian(m, v); // header size, version, bypass
    appendText(m, "CcnK", false);
    appendBigEndian(m, 152 + chunkSize); // bytes after this field
    appendText(m, "FBCh", false);
    appendBigEndian(m, 2);
    appendText(m, "qfld", false); // the plug-in code
    appendBigEndian(m, versionCode);
    appendBigEndian(m, 0); // programs
    m.append(juce::MemoryBlock(128, true).getData(), 128);
    appendBigEndian(m, chunkSize);
    return m;
}

// The private data the wrapper writes: a tree "JUCEPrivateData" whose one property is "Bypass".
juce::MemoryBlock bypassTree(bool bypassed)
{
    juce::MemoryBlock tree;
    appendText(tree, privateDataTag, true);
    tree.append("\x01\x01", 2); // one property
    appendText(tree, "Bypass", true);
    tree.append(bypassed ? "\x01\x01\x02" : "\x01\x01\x03",
                3);         // a value of one byte: true or false
    tree.append("\x00", 1); // no children
    return tree;
}

// After the plug-in's block: eight zero bytes, the private data, its size and the tag.
juce::MemoryBlock expectedTrailer(const juce::MemoryBlock& privateData = bypassTree(false))
{
    juce::MemoryBlock m(8, true);
    m.append(privateData.getData(), privateData.getSize());
    appendLittleEndian(m, privateData.getSize());
    appendText(m, privateDataTag, false);
    return m;
}

// A preset file as a host may hand it over whole: "VST3", a version, the class identifier, the
// chunk list's offset, the component's data, then the list: one "Comp" entry (offset, size).
juce::MemoryBlock presetFile(const juce::MemoryBlock& component, juce::uint64 offset,
                             juce::uint64 size)
{
    juce::MemoryBlock m;
    appendText(m, "VST3", false);
    appendLittleEndian(m, 1, 4);
    m.append(juce::String::repeatedString("0", 32).toRawUTF8(), 32);
    appendLittleEndian(m, 48 + component.getSize());
    m.append(component.getData(), component.getSize());
    appendText(m, "List", false);
    appendLittleEndian(m, 1, 4);
    appendText(m, "Comp", false);
    appendLittleEndian(m, offset);
    appendLittleEndian(m, size);
    return m;
}

juce::uint32 versionCode(const juce::String& version)
{
    const auto parts = juce::StringArray::fromTokens(version, ".", "");
    return (juce::uint32)(parts[0].getIntValue() << 16 | parts[1].getIntValue() << 8 |
                          parts[2].getIntValue());
}

// One prepared instance and two valid component streams saved from it with different random
// values; it is left holding the second. Damaged streams go in through the host's own state.
class StreamLoader
{
  public:
    StreamLoader()
    {
        hosted = bundle::load();
        if (hosted == nullptr) return;
        first = savedWithRandomValues(1);
        second = savedWithRandomValues(2);
    }

    bool ok() const { return hosted != nullptr; }

    // Loads the stream and decodes a block: the output must be finite and the component stream
    // the instance then saves the same, byte for byte, as `state` or `otherState`.
    testing::AssertionResult loadLeaves(const juce::MemoryBlock& stream,
                                        const juce::MemoryBlock& state)
    {
        return loadLeaves(stream, state, state);
    }
    testing::AssertionResult loadLeaves(const juce::MemoryBlock& stream,
                                        const juce::MemoryBlock& state,
                                        const juce::MemoryBlock& otherState)
    {
        hosted->loadState(qfhost::StateStreams::withComponentStream(hostState, stream));
        auto io = hosted->ioBuffer(input);
        hosted->process(io, {480});
        if (!bundle::allFinite(io)) return testing::AssertionFailure() << "output not finite";
        const auto now = current();
        if (now == state || now == otherState) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "the state is not the one expected";
    }

    juce::MemoryBlock current()
    {
        return qfhost::StateStreams::componentStream(hosted->saveState());
    }

    // The wrapper's own answer to a stream, asked directly as a host's setState does.
    bool setStateAccepts(const juce::MemoryBlock& stream)
    {
        struct : juce::ExtensionsVisitor
        {
            Steinberg::Vst::IComponent* component = nullptr;
            void visitVST3Client(const VST3Client& c) override { component = c.getIComponentPtr(); }
        } visitor;
        hosted->plugin().getExtensions(visitor);
        auto bytes = stream; // the stream reads from memory it may not own
        Steinberg::MemoryStream memory(bytes.getData(), (Steinberg::TSize)bytes.getSize());
        return visitor.component != nullptr &&
               visitor.component->setState(&memory) == Steinberg::kResultTrue;
    }

    juce::MemoryBlock first, second;

  private:
    juce::MemoryBlock savedWithRandomValues(int seed)
    {
        juce::Random random(seed);
        for (auto* p : hosted->plugin().getParameters())
            if (p->getName(64) != "Bypass") p->setValueNotifyingHost(random.nextFloat());
        auto io = hosted->ioBuffer(input);
        hosted->process(io, {480}); // delivers the values, as host automation does
        // Saved once loaded, so that the parameters come in the order every load leaves them in.
        hosted->loadState(hosted->saveState());
        hostState = hosted->saveState();
        return qfhost::StateStreams::componentStream(hostState);
    }

    std::unique_ptr<qfhost::HostedPlugin> hosted;
    juce::MemoryBlock hostState;
    const juce::AudioBuffer<float> input = qfhost::planeWaveAFormat(480, 30.0f, 0.0f);
};
} // namespace

// Byte for byte what the wrapper has always written: headers, the plug-in's block, trailer.
TEST(BundleComponentStream, FreshInstanceSavesTheVst2HeadersItsBlockAndThePrivateData)
{
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    const auto stream = qfhost::StateStreams::componentStream(hosted->saveState());
    const auto trailer = expectedTrailer();
    ASSERT_GT(stream.getSize(), headerBytes + trailer.getSize() + 9);
    const auto blockSize = stream.getSize() - headerBytes - trailer.getSize();
    juce::MemoryBlock block(stream.begin() + headerBytes, blockSize);
    const auto xmlLength = juce::ByteOrder::littleEndianInt(block.begin() + 4);
    EXPECT_TRUE(juce::String(block.begin(), 4) == "VC2!" && blockSize == 9 + xmlLength);

    auto expected = expectedHeaders((juce::uint32)(blockSize + trailer.getSize()),
                                    versionCode(hosted->plugin().getPluginDescription().version));
    expected.append(block.getData(), block.getSize());
    expected.append(trailer.getData(), trailer.getSize());
    EXPECT_TRUE(stream == expected);
}

// Cut at every length (the first four bytes are "VstW" alone), the stream no longer holds the
// chunk its bank record announces: refused, the instance keeps the state it had.
TEST(BundleComponentStream, EveryTruncationIsRefusedAndTheStateKept)
{
    StreamLoader loader;
    ASSERT_TRUE(loader.ok());
    const auto& good = loader.first;
    for (size_t length = 0; length < good.getSize(); ++length)
    {
        SCOPED_TRACE("length " + juce::String((int)length));
        ASSERT_TRUE(loader.loadLeaves(juce::MemoryBlock(good.getData(), length), loader.second));
    }
    EXPECT_TRUE(loader.loadLeaves(good, loader.first));
}

// Each byte of the headers and the trailer set to 0x00, 0xFF and 0x80 in turn: each stream loads
// whole or not at all. A trailer that claims more private data than the stream, or than the
// chunk that holds it, is refused.
TEST(BundleComponentStream, DamagedHeadersAndTrailersLoadWholeOrNotAtAll)
{
    StreamLoader loader;
    ASSERT_TRUE(loader.ok());
    const auto& good = loader.first;
    const size_t trailerStart = good.getSize() - expectedTrailer().getSize();
    for (size_t i = 0; i < good.getSize(); i = (i + 1 == headerBytes ? trailerStart : i + 1))
        for (const juce::uint8 value : {0x00, 0xff, 0x80})
        {
            SCOPED_TRACE("byte " + juce::String((int)i) + " set to " + juce::String(value));
            auto damaged = good;
            damaged[i] = (char)value;
            ASSERT_TRUE(loader.loadLeaves(damaged, loader.first, loader.second));
        }

    ASSERT_TRUE(loader.loadLeaves(loader.second, loader.second));
    const size_t sizeField = good.getSize() - std::strlen(privateDataTag) - 8;
    for (const juce::uint64 size : {(juce::uint64)good.getSize() + 1, (juce::uint64)1 << 63,
                                    ~(juce::uint64)0, (juce::uint64)good.getSize() - 40})
    {
        SCOPED_TRACE("private data size " + juce::String((juce::int64)size));
        juce::MemoryBlock damaged(good.getData(), sizeField);
        appendLittleEndian(damaged, size);
        appendText(damaged, privateDataTag, false);
        ASSERT_TRUE(loader.loadLeaves(damaged, loader.second));
    }
    EXPECT_TRUE(loader.loadLeaves(good, loader.first));
}

// Random streams of up to 64 KiB, most behind a header the wrapper recognises ("VstW", "CcnK",
// "VST3") or before its trailer tag, so that its length fields are random too: none changes the
// state.
TEST(BundleComponentStream, RandomStreamsAreRefusedAndTheStateKept)
{
    StreamLoader loader;
    ASSERT_TRUE(loader.ok());
    juce::Random random(21);
    const char* const magics[] = {"VstW", "CcnK", "VST3", ""};
    for (int n = 0; n < 300; ++n)
    {
        juce::MemoryBlock stream((size_t)random.nextInt(64 * 1024 + 1));
        for (auto& byte : stream) byte = (char)random.nextInt(256);
        const auto* magic = magics[n % 4];
        if (stream.getSize() >= 4) stream.copyFrom(magic, 0, std::strlen(magic));
        if (n % 8 >= 4 && stream.getSize() >= 64)
            stream.copyFrom(privateDataTag, (int)stream.getSize() - 15, 15);
        SCOPED_TRACE("stream " + juce::String(n) + " of " + juce::String((int)stream.getSize()) +
                     " bytes");
        ASSERT_TRUE(loader.loadLeaves(stream, loader.second));
    }
    EXPECT_TRUE(loader.loadLeaves(loader.first, loader.first));
}

// Every layout the wrapper reads loads as before: the whole stream, the bank without the "VstW"
// header, the chunk (block and trailer) alone, the block alone, the stream in a preset file. A
// refused stream gets a "false" from the wrapper and leaves the state alone; so does a preset
// whose chunk lies outside the file (handed to the plug-in whole, which ignores it).
TEST(BundleComponentStream, ValidLayoutsLoadAndDamagedOnesAreRefused)
{
    StreamLoader loader;
    ASSERT_TRUE(loader.ok());
    const auto& good = loader.first;
    const auto chunk = juce::MemoryBlock(good.begin() + headerBytes, good.getSize() - headerBytes);
    const auto block =
        juce::MemoryBlock(chunk.getData(), chunk.getSize() - expectedTrailer().getSize());
    for (const auto& valid : {good, juce::MemoryBlock(good.begin() + 16, good.getSize() - 16),
                              chunk, block, presetFile(good, 48, good.getSize())})
    {
        ASSERT_TRUE(loader.loadLeaves(loader.second, loader.second));
        EXPECT_TRUE(loader.setStateAccepts(valid));
        EXPECT_TRUE(loader.current() == loader.first) << valid.getSize() << " bytes";
    }

    auto negativeChunk = good;
    negativeChunk[headerBytes - 4] = (char)0x80;
    auto longTrailer = good;
    longTrailer[good.getSize() - std::strlen(privateDataTag) - 2] = 0x01; // 2^48 bytes
    ASSERT_TRUE(loader.loadLeaves(loader.second, loader.second));
    for (const auto& damaged :
         {juce::MemoryBlock("VstW", 4), juce::MemoryBlock(good.getData(), good.getSize() - 1),
          negativeChunk, longTrailer})
    {
        EXPECT_FALSE(loader.setStateAccepts(damaged)) << damaged.getSize() << " bytes";
        EXPECT_TRUE(loader.current() == loader.second);
    }
    for (const juce::uint64 offset : {~(juce::uint64)15, (juce::uint64)48})
        EXPECT_TRUE(loader.loadLeaves(presetFile(good, offset, ~(juce::uint64)0 - offset + 17),
                                      loader.second));
}

// The private data loads only in the form the wrapper writes (bypass off or on, saved back the
// same). A tree nested 100,000 deep, or one that announces 2^31 - 1 properties, is refused at
// once: a general tree reader would run out of stack on the one and loop for minutes on the other.
TEST(BundleComponentStream, PrivateDataLoadsOnlyInTheWrappersOwnForm)
{
    StreamLoader loader;
    ASSERT_TRUE(loader.ok());
    const auto& good = loader.first;
    const auto blockSize = good.getSize() - headerBytes - expectedTrailer().getSize();
    const auto withPrivateData = [&](const juce::MemoryBlock& tree) {
        const auto trailer = expectedTrailer(tree);
        const auto chunkSize = (juce::uint32)(blockSize + trailer.getSize());
        auto s = expectedHeaders(chunkSize, juce::ByteOrder::bigEndianInt(good.begin() + 36));
        s.append(good.begin() + headerBytes, blockSize);
        s.append(trailer.getData(), trailer.getSize());
        return s;
    };
    ASSERT_TRUE(withPrivateData(bypassTree(false)) == good);

    auto bypassed = withPrivateData(bypassTree(true));
    EXPECT_TRUE(loader.setStateAccepts(bypassed));
    bypassed[15] = 1; // the "VstW" header tells it too
    EXPECT_TRUE(loader.current() == bypassed);

    std::string levels; // each: a type, no properties, one child
    for (int level = 0; level < 100000; ++level) levels.append("a\0\x00\x01\x01", 5);
    levels.append("a\0\x00\x00", 4); // the innermost: no properties, no children
    juce::MemoryBlock deep(levels.data(), levels.size()), counted;
    appendText(counted, privateDataTag, true);
    counted.append("\x04\xff\xff\xff\x7f", 5);
    for (const auto& tree : {deep, counted})
    {
        ASSERT_TRUE(loader.loadLeaves(loader.second, loader.second));
        EXPECT_FALSE(loader.setStateAccepts(withPrivateData(tree)));
        EXPECT_TRUE(loader.current() == loader.second);
    }
}
