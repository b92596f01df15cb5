#include "Display.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// X is made thread-safe first; one framework instance serves every test from this thread.
int main(int argc, char** argv)
{
    qfhost::prepareDisplayForThreads();
    juce::ScopedJuceInitialiser_GUI framework;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
