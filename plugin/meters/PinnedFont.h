#pragma once
// The typeface every text of the meters and the editor is drawn in, named outright. The
// framework resolves the default sans-serif name through the host process's default
// look-and-feel and whatever fonts the machine has, so another font package could change the
// pictures; "DejaVu Sans" (Debian's fonts-dejavu-core) does not move.
#include <juce_graphics/juce_graphics.h>

namespace meters
{
inline constexpr const char* pinnedTypefaceName = "DejaVu Sans";

inline juce::Font pinnedFont(float height, int styleFlags = juce::Font::plain)
{
    return juce::Font(pinnedTypefaceName, juce::jmax(0.0f, height), styleFlags);
}

// A font in the default sans-serif made explicit; any other typeface is kept.
inline juce::Font pinnedFont(const juce::Font& font)
{
    if (font.getTypefaceName() != juce::Font::getDefaultSansSerifFontName()) return font;
    auto pinned = font;
    pinned.setTypefaceName(pinnedTypefaceName);
    return pinned;
}
} // namespace meters
