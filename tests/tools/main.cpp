#include "Display.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// X must be made thread-safe before anything touches it; then one framework instance serves
// every test, with this thread as the message thread.
int main(int argc, char** argv)
{
    qfhost::prepareDisplayForThreads();
    juce::ScopedJuceInitialiser_GUI framework;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
