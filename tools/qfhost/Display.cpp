#include "Display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qfhost
{

namespace
{
int ignoreXError(::Display*, XErrorEvent*)
{
    return 0;
}
} // namespace

void prepareDisplayForThreads()
{
    XInitThreads();
    XSetErrorHandler(ignoreXError);
}

bool displayAvailable()
{
    ::Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XCloseDisplay(display);
    return true;
}

juce::Image grabScreen(juce::Rectangle<int> area)
{
    ::Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || area.isEmpty()) return {};
    XImage* shot =
        XGetImage(display, DefaultRootWindow(display), area.getX(), area.getY(),
                  (unsigned)area.getWidth(), (unsigned)area.getHeight(), AllPlanes, ZPixmap);
    juce::Image image;
    if (shot != nullptr)
    {
        image = juce::Image(juce::Image::RGB, area.getWidth(), area.getHeight(), false);
        juce::Image::BitmapData pixels(image, juce::Image::BitmapData::writeOnly);
        for (int y = 0; y < area.getHeight(); ++y)
            for (int x = 0; x < area.getWidth(); ++x)
            {
                const unsigned long p = XGetPixel(shot, x, y);
                pixels.setPixelColour(x, y,
                                      juce::Colour((juce::uint8)((p & shot->red_mask) >> 16),
                                                   (juce::uint8)((p & shot->green_mask) >> 8),
                                                   (juce::uint8)(p & shot->blue_mask)));
            }
        XDestroyImage(shot);
    }
    XCloseDisplay(display);
    return image;
}

} // namespace qfhost
