// The audio thread allocates nothing, even while it automates the formats (which rebuild the
// decoder on the processor's own thread).
#include "processor_fixture.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <thread>

namespace
{
thread_local bool countAllocations = false;
std::atomic<int> audioThreadAllocations{0};
} // namespace

// The replacement pair allocates with malloc and frees with free, which g++ cannot see.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    if (countAllocations) ++audioThreadAllocations;
    if (auto* p = std::malloc(size > 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

TEST(Realtime, NoAllocationOnTheAudioThreadWhileAutomatingFormats)
{
    ProcessorFixture f;
    juce::AudioBuffer<float> block(16, 480);
    bool finite = true;
    std::thread audio([&] {
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        juce::uint32 seed = 1;
        countAllocations = true;
        for (int i = 0; i < 400; ++i)
        {
            // Host automation arrives with the block, on the audio thread.
            for (const char* id : {"formatin", "formatout", "binaural", "micspacing", "rotation"})
                if (i % 7 == 0) f.p.parameters.getParameter(id)->setValue(unit(rng));
            ProcessorFixture::fill(block, 4, seed);
            f.p.processBlock(block, f.midi);
            for (int ch = 0; ch < 16; ++ch)
                finite = finite && std::isfinite(block.getMagnitude(ch, 0, 480));
        }
        countAllocations = false;
    });
    audio.join();
    EXPECT_EQ(audioThreadAllocations.load(), 0);
    EXPECT_TRUE(finite);
}
