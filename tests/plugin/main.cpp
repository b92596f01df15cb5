#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// One framework instance for the whole program, before any component or message exists.
int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI framework;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
