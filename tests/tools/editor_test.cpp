// The bundle's editor in a real window on an X display (Xvfb in CI), as a host shows it.
#include "Bundle.h"
#include "Display.h"

#include <atomic>
#include <thread>

namespace
{
void runMessageLoop(int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}
} // namespace

TEST(BundleEditor, OpensInAWindowThatShowsSomethingAndCloses)
{
    if (!qfhost::displayAvailable()) GTEST_SKIP() << "no X display";
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    ASSERT_TRUE(hosted->plugin().hasEditor());
    ASSERT_TRUE(hosted->openEditor());
    runMessageLoop(500);
    const auto bounds = hosted->editorScreenBounds();
    const auto shot = qfhost::grabScreen(bounds);
    hosted->closeEditor();
    runMessageLoop(50);
    ASSERT_TRUE(shot.isValid());
    EXPECT_EQ(shot.getBounds(), juce::Rectangle<int>(1175, 655));
    // A drawn editor is not one flat colour.
    std::set<juce::uint32> colours;
    for (int y = 0; y < shot.getHeight(); y += 7)
        for (int x = 0; x < shot.getWidth(); x += 7)
            colours.insert(shot.getPixelAt(x, y).getARGB());
    EXPECT_GT(colours.size(), 3u) << bounds.toString().toStdString();
}

TEST(BundleEditor, SurvivesManyOpenAndCloseCyclesWhileFormatsAreAutomated)
{
    if (!qfhost::displayAvailable()) GTEST_SKIP() << "no X display";
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        juce::Random random(5);
        juce::AudioBuffer<float> io(16, 480);
        while (!stop.load())
        {
            hosted->parameter(random.nextBool() ? "formatin" : "formatout")
                ->setValueNotifyingHost(random.nextFloat());
            io.clear();
            hosted->process(io, {480});
        }
    });
    for (int cycle = 0; cycle < 200; ++cycle)
    {
        ASSERT_TRUE(hosted->openEditor()) << cycle;
        runMessageLoop(5);
        hosted->closeEditor();
    }
    stop = true;
    audio.join();
}
