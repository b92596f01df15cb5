// The bundle's editor in a real window on an X display (Xvfb in CI), as a host shows it.
#include "Bundle.h"
#include "Display.h"

TEST(BundleEditor, ShowsSomethingAndSurvivesManyCyclesWhileFormatsAreAutomated)
{
    if (!qfhost::displayAvailable()) GTEST_SKIP() << "no X display";
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    ASSERT_TRUE(hosted->plugin().hasEditor() && hosted->openEditor());
    auto* messages = juce::MessageManager::getInstance();
    // A drawn editor is not one flat colour. The window paints when the display gets to it (late
    // on a loaded machine under the sanitizers): grab until it shows, for up to ten seconds.
    const auto bounds = hosted->editorScreenBounds();
    juce::Image shot;
    std::set<juce::uint32> colours;
    for (int tries = 0; tries < 40 && colours.size() <= 3; ++tries)
    {
        messages->runDispatchLoopUntil(250);
        shot = qfhost::grabScreen(bounds);
        colours.clear();
        for (int y = 0; y < shot.getHeight(); y += 7)
            for (int x = 0; x < shot.getWidth(); x += 7)
                colours.insert(shot.getPixelAt(x, y).getARGB());
    }
    hosted->closeEditor();
    messages->runDispatchLoopUntil(50);
    ASSERT_TRUE(shot.isValid());
    EXPECT_EQ(shot.getBounds(), juce::Rectangle<int>(1175, 655));
    EXPECT_GT(colours.size(), 3u) << bounds.toString().toStdString();

    // Then opened and closed in quick succession while the audio thread changes the formats.
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
    int opened = 0;
    for (int cycle = 0; cycle < 200; ++cycle)
    {
        opened += hosted->openEditor() ? 1 : 0;
        messages->runDispatchLoopUntil(5);
        hosted->closeEditor();
    }
    stop = true;
    audio.join();
    EXPECT_EQ(opened, 200);
}
