#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// The framework must be initialised before any component or message exists; one instance
// lives for the whole test program.
int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI framework;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
