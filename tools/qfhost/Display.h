#pragma once
// The X display for programs that show the hosted editor in a real window.
#include <juce_graphics/juce_graphics.h>

namespace qfhost
{

// To be called first in main, before any other X or framework call: the framework and the
// plug-in talk to the display from several threads, and without a window manager (a bare Xvfb)
// some requests fail, which Xlib's default handler answers by ending the program.
void prepareDisplayForThreads();

// True when $DISPLAY names a display that accepts a connection.
bool displayAvailable();

// What the display shows inside the rectangle (screen coordinates), as a person would see it;
// a null image when it cannot be read.
juce::Image grabScreen(juce::Rectangle<int> area);

} // namespace qfhost
