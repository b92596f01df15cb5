#include "TARVEKLookAndFeel.h"
#include "PinnedFont.h"

#include <cmath>

namespace
{
// A colour chosen by a drawing method itself is dimmed to alpha 0x80 on a disabled component
// (isEnabled() is false also when a parent is disabled), so fixed colours fade together with
// the colours that come through colour ids.
juce::Colour fixedColour(bool enabled, juce::Colour colour)
{
    return enabled ? colour : colour.withAlpha((juce::uint8)0x80);
}

juce::Colour fixedColour(const juce::Component& component, juce::uint32 argb)
{
    return fixedColour(component.isEnabled(), juce::Colour(argb));
}

// Point on a circle, with angle 0 at twelve o'clock and growing clockwise, as the slider's
// rotary angles are.
juce::Point<float> onCircle(juce::Point<float> centre, float radius, float angle)
{
    return {centre.x + radius * std::sin(angle), centre.y - radius * std::cos(angle)};
}

// Adds an arc of the circle as a polyline of points 0.05 radians apart, ending exactly at
// the end angle.
void addPolylineArc(juce::Path& path, juce::Point<float> centre, float radius, float fromAngle,
                    float toAngle)
{
    for (float a = fromAngle; a < toAngle; a += 0.05f) path.lineTo(onCircle(centre, radius, a));
    path.lineTo(onCircle(centre, radius, toAngle));
}

bool isBarStyle(const juce::Slider& slider)
{
    return slider.getSliderStyle() == juce::Slider::LinearBar ||
           slider.getSliderStyle() == juce::Slider::LinearBarVertical;
}
// A rectangle whose corners are rounded only where neither of their two sides is flat.
juce::Path roundedOutline(juce::Rectangle<float> area, float cornerSize, bool flatOnLeft,
                          bool flatOnRight, bool flatOnTop, bool flatOnBottom)
{
    juce::Path outline;
    outline.addRoundedRectangle(area.getX(), area.getY(), area.getWidth(), area.getHeight(),
                                cornerSize, cornerSize, !(flatOnLeft || flatOnTop),
                                !(flatOnRight || flatOnTop), !(flatOnLeft || flatOnBottom),
                                !(flatOnRight || flatOnBottom));
    return outline;
}

// Light from the upper left: the base colour there, towards black at the lower right.
juce::ColourGradient shadeTowardsBlack(juce::Colour base, float x, float y, float diameter)
{
    const auto r = diameter * 0.5f;
    return juce::ColourGradient(base, x + r * 0.7f, y + r * 0.7f,
                                base.interpolatedWith(juce::Colours::black, 0.6f), x + diameter,
                                y + diameter, true);
}

juce::Colour thinOutline(juce::Colour base)
{
    return juce::Colours::black.withAlpha(0.5f * base.getFloatAlpha());
}
} // namespace

juce::Font TARVEKLookAndFeel::getLabelFont(juce::Label& label)
{
    return meters::pinnedFont(juce::LookAndFeel_V2::getLabelFont(label));
}

juce::Font TARVEKLookAndFeel::getComboBoxFont(juce::ComboBox& box)
{
    return meters::pinnedFont(juce::LookAndFeel_V2::getComboBoxFont(box));
}

juce::Font TARVEKLookAndFeel::getPopupMenuFont()
{
    return meters::pinnedFont(juce::LookAndFeel_V2::getPopupMenuFont());
}

juce::Font TARVEKLookAndFeel::getTextButtonFont(juce::TextButton& button, int buttonHeight)
{
    return meters::pinnedFont(juce::LookAndFeel_V2::getTextButtonFont(button, buttonHeight));
}

TARVEKLookAndFeel::SliderLabelComp::SliderLabelComp() : juce::Label({}, {}) {}

TARVEKLookAndFeel::TARVEKLookAndFeel()
{
    // The framework honours this only on the process's default look-and-feel, so every font
    // this class draws with is pinned as well.
    setDefaultSansSerifTypefaceName(meters::pinnedTypefaceName);

    const std::pair<int, juce::uint32> colours[] = {
        {juce::TextButton::buttonColourId, 0xff5d5d5d},
        {juce::TextButton::buttonOnColourId, accent},
        {juce::TextButton::textColourOnId, 0xffffffff},
        {juce::TextButton::textColourOffId, 0xffffffff},
        {juce::DocumentWindow::textColourId, 0xffffffff},
        {juce::GroupComponent::outlineColourId, 0xffffffff},
        {juce::GroupComponent::textColourId, 0xffffffff},
        {juce::ToggleButton::textColourId, 0xffffffff},
        {juce::Label::textColourId, 0xffffffff},
        {juce::Label::textWhenEditingColourId, 0xffffffff},
        {juce::Slider::textBoxTextColourId, 0xffffffff},
        {juce::Slider::textBoxOutlineColourId, 0x00222222},
        {juce::Slider::textBoxBackgroundColourId, 0x00222222},
        {juce::Slider::textBoxHighlightColourId, accent},
        {juce::Slider::trackColourId, accent},
        {juce::Slider::thumbColourId, 0xffffffff},
        {juce::TextEditor::highlightColourId, accent},
        {juce::TextEditor::highlightedTextColourId, 0xffffffff},
        {juce::TextEditor::backgroundColourId, 0xff5d5d5d},
        {juce::TextEditor::textColourId, 0xffffffff},
        {juce::TextEditor::outlineColourId, 0xff000000},
        {juce::TextEditor::focusedOutlineColourId, 0xffffffff},
        {juce::ComboBox::backgroundColourId, 0xff5d5d5d},
        {juce::ComboBox::buttonColourId, 0xffffffff},
        {juce::ComboBox::textColourId, 0xffffffff},
        {juce::PopupMenu::backgroundColourId, 0xff5d5d5d},
        {juce::PopupMenu::highlightedBackgroundColourId, 0xff505050},
        {juce::PopupMenu::textColourId, 0xffffffff},
        {juce::PopupMenu::headerTextColourId, 0xffffffff},
        {juce::ScrollBar::trackColourId, 0xff5d5d5d},
        {juce::ScrollBar::thumbColourId, 0xffffffff},
        {juce::AlertWindow::backgroundColourId, darkPanel},
        {juce::AlertWindow::textColourId, 0xffffffff},
        {juce::ProgressBar::backgroundColourId, accent},
        {juce::ProgressBar::foregroundColourId, 0xffffffff},
        {juce::ResizableWindow::backgroundColourId, 0xff000000},
    };

    for (const auto& [id, argb] : colours) setColour(id, juce::Colour(argb));
}

TARVEKLookAndFeel::~TARVEKLookAndFeel() = default;

//==============================================================================
void TARVEKLookAndFeel::drawScrollbar(juce::Graphics& g, juce::ScrollBar& bar, int x, int y,
                                      int width, int height, bool vertical, int thumbStart,
                                      int thumbSize, bool, bool)
{
    g.fillAll(bar.findColour(juce::ScrollBar::backgroundColourId));

    if (width <= 0 || height <= 0) return;

    // Narrow bars need every pixel for the track.
    const auto margin = juce::jmin(width, height) < 16 ? 0.0f : 1.0f;
    const auto area = juce::Rectangle<int>(x, y, width, height).toFloat().reduced(margin);
    const auto thickness = vertical ? area.getWidth() : area.getHeight();

    auto thumbArea = vertical ? area.withY((float)thumbStart).withHeight((float)thumbSize)
                              : area.withX((float)thumbStart).withWidth((float)thumbSize);
    thumbArea = thumbArea.reduced(1.0f).getIntersection(area);

    const auto track = bar.findColour(juce::ScrollBar::trackColourId);
    const auto thumb = bar.findColour(juce::ScrollBar::thumbColourId);
    const auto across = [&](juce::Colour from, juce::Colour to) {
        return vertical ? juce::ColourGradient::horizontal(from, area.getX(), to, area.getRight())
                        : juce::ColourGradient::vertical(from, area.getY(), to, area.getBottom());
    };

    juce::Path slot;
    slot.addRoundedRectangle(area, thickness * 0.5f);
    g.setGradientFill(across(track.darker(0.2f), track));
    g.fillPath(slot);
    g.setColour(fixedColour(bar, shadowLine));
    g.strokePath(slot, juce::PathStrokeType(1.0f));

    if (thumbSize > 0 && !thumbArea.isEmpty())
    {
        juce::Path thumbPath;
        thumbPath.addRoundedRectangle(thumbArea, (thickness - 2.0f) * 0.5f);
        g.setGradientFill(across(thumb, thumb.darker(0.25f)));
        g.fillPath(thumbPath);
        g.setColour(fixedColour(bar, shadowLine));
        g.strokePath(thumbPath, juce::PathStrokeType(1.0f));
    }
}

//==============================================================================
void TARVEKLookAndFeel::drawButtonBackground(juce::Graphics& g, juce::Button& button,
                                             const juce::Colour& backgroundColour, bool highlighted,
                                             bool down)
{
    const auto alphaScale = button.isEnabled() ? 0.9f : 0.5f;
    auto colour = backgroundColour.withAlpha(
        (juce::uint8)juce::roundToInt((float)backgroundColour.getAlpha() * alphaScale));

    if (down)
        colour = colour.contrasting(0.2f);
    else if (highlighted)
        colour = colour.contrasting(0.1f);

    const auto w = (float)button.getWidth() - 1.0f;
    const auto h = (float)button.getHeight() - 1.0f;

    if (w <= 0.0f || h <= 0.0f) return;

    // A corner stays square where the button is joined to a neighbour.
    const auto outline =
        roundedOutline({w, h}, 2.0f, button.isConnectedOnLeft(), button.isConnectedOnRight(),
                       button.isConnectedOnTop(), button.isConnectedOnBottom());

    g.setColour(colour);
    g.fillPath(outline);

    // The frame is stroked twice: once squeezed one pixel down (a thin shadow of the top edge)
    // and once in place.
    const auto s = (h - 1.6f) / h;
    g.setColour(fixedColour(button, accent));
    g.strokePath(outline, juce::PathStrokeType(1.0f), juce::AffineTransform(1, 0, 0, 0, s, s));
    g.strokePath(outline, juce::PathStrokeType(1.0f));
}

void TARVEKLookAndFeel::drawToggleButton(juce::Graphics& g, juce::ToggleButton& button,
                                         bool highlighted, bool down)
{
    const auto fontSize = juce::jmin(0.75f * (float)button.getHeight(), 15.0f);

    // The power-switch symbol fills the whole button.
    drawTickBox(g, button, 0.0f, 0.0f, (float)button.getWidth(), (float)button.getHeight(),
                button.getToggleState(), button.isEnabled(), highlighted, down);

    g.setColour(button.findColour(juce::ToggleButton::textColourId));
    g.setFont(meters::pinnedFont(fontSize));

    if (!button.isEnabled()) g.setOpacity(0.5f);

    // The text area starts past the symbol, so a toggle's text shows only where the button is
    // wider than the area that the symbol takes.
    g.drawFittedText(
        button.getButtonText(),
        button.getLocalBounds().withTrimmedLeft(button.getWidth() + 5).withTrimmedRight(2),
        juce::Justification::centredLeft, 10);
}

void TARVEKLookAndFeel::drawTickBox(juce::Graphics& g, juce::Component& component, float x, float y,
                                    float w, float h, bool ticked, bool isEnabled, bool, bool)
{
    // The unit follows the shorter side, so a toggle wider than high keeps a symbol of the
    // button's height instead of shrinking it.
    const auto unit = juce::jmin(w, h) / 7.0f;
    const auto radius = juce::jmin(w, h) * 0.5f - unit;

    if (!(radius > 0.0f) || !std::isfinite(x + y + w + h)) return;

    const juce::Point<float> centre(x + w * 0.5f, y + h * 0.5f);
    const auto disc = juce::Rectangle<float>(2.0f * radius, 2.0f * radius).withCentre(centre);
    const bool enabled = isEnabled && component.isEnabled();
    const auto fixed = [enabled](juce::uint32 argb) {
        return fixedColour(enabled, juce::Colour(argb));
    };

    g.setColour(fixed(knob));
    g.fillEllipse(disc);
    g.setColour(fixed(ring));
    g.drawEllipse(disc, 1.0f);

    const auto stroke = juce::jmax(1.0f, unit * 0.6f);
    const auto ringRadius = radius * 0.5f;
    const auto gapHalf = juce::degreesToRadians(30.0f);

    juce::Path symbol;
    symbol.startNewSubPath(onCircle(centre, ringRadius, gapHalf));
    addPolylineArc(symbol, centre, ringRadius, gapHalf,
                   juce::MathConstants<float>::twoPi - gapHalf);

    g.setColour(fixed(ticked ? accent : offState));
    g.strokePath(symbol, juce::PathStrokeType(stroke, juce::PathStrokeType::curved,
                                              juce::PathStrokeType::rounded));
    g.fillRoundedRectangle(centre.x - stroke * 0.5f, centre.y - radius * 0.7f, stroke,
                           radius * 0.7f, stroke * 0.5f);
}

//==============================================================================
void TARVEKLookAndFeel::drawAlertBox(juce::Graphics& g, juce::AlertWindow& alert,
                                     const juce::Rectangle<int>& textArea,
                                     juce::TextLayout& textLayout)
{
    g.fillAll(alert.findColour(juce::AlertWindow::backgroundColourId));

    int iconSpaceUsed = 0;
    const auto iconSize = juce::jmin(130, alert.getHeight() + 20);
    const juce::Rectangle<float> iconRect((float)iconSize / -10.0f, (float)iconSize / -10.0f,
                                          (float)iconSize, (float)iconSize);

    if (alert.getAlertType() != juce::MessageBoxIconType::NoIcon && iconSize > 0)
    {
        const bool warning = alert.getAlertType() == juce::MessageBoxIconType::WarningIcon;
        const bool info = alert.getAlertType() == juce::MessageBoxIconType::InfoIcon;
        juce::Path icon;

        if (warning)
        {
            icon.addTriangle(iconRect.getCentreX(), iconRect.getY(), iconRect.getRight(),
                             iconRect.getBottom(), iconRect.getX(), iconRect.getBottom());
            icon = icon.createPathWithRoundedCorners(5.0f);
        }
        else
        {
            icon.addEllipse(iconRect);
        }

        // The character is cut out of the icon (even-odd filling).
        juce::GlyphArrangement glyphs;
        glyphs.addFittedText(meters::pinnedFont(iconRect.getHeight() * 0.9f, juce::Font::bold),
                             warning ? "!" : (info ? "i" : "?"), iconRect.getX(), iconRect.getY(),
                             iconRect.getWidth(), iconRect.getHeight(),
                             juce::Justification::centred, 1);
        glyphs.createPath(icon);
        icon.setUsingNonZeroWinding(false);

        g.setColour(fixedColour(alert, accent));
        g.fillPath(icon);
        iconSpaceUsed = 80;
    }

    g.setColour(alert.findColour(juce::AlertWindow::textColourId));
    textLayout.draw(g, textArea.withTrimmedLeft(iconSpaceUsed).toFloat());

    g.setColour(alert.findColour(juce::AlertWindow::outlineColourId));
    g.drawRect(alert.getLocalBounds());
}

void TARVEKLookAndFeel::drawProgressBar(juce::Graphics& g, juce::ProgressBar& bar, int width,
                                        int height, double progress, const juce::String& text)
{
    const auto background = bar.findColour(juce::ProgressBar::backgroundColourId);
    const auto foreground = bar.findColour(juce::ProgressBar::foregroundColourId);

    g.fillAll(background);

    if (width <= 2 || height <= 2) return;

    const auto inner = juce::Rectangle<int>(width, height).toFloat().reduced(1.0f);

    if (progress >= 0.0 && progress <= 1.0)
    {
        drawShadedLozenge(g, inner.getX(), inner.getY(), inner.getWidth() * (float)progress,
                          inner.getHeight(), foreground, 0.0f, true, true, true, true);
    }
    else
    {
        // Unknown progress: diagonal stripes of the bar's image, moving with the clock.
        juce::Image stripeImage(juce::Image::ARGB, width, height, true);
        {
            juce::Graphics g2(stripeImage);
            drawShadedLozenge(g2, inner.getX(), inner.getY(), inner.getWidth(), inner.getHeight(),
                              foreground, 0.0f, true, true, true, true);
        }

        const auto stripe = (float)(height * 2);
        const auto position =
            (float)((juce::Time::getMillisecondCounter() / 15) % (juce::uint32)(height * 2));
        juce::Path stripes;

        for (auto sx = -position; sx < (float)width + stripe; sx += stripe)
            stripes.addQuadrilateral(sx, 0.0f, sx + stripe * 0.5f, 0.0f, sx, (float)height,
                                     sx - stripe * 0.5f, (float)height);

        g.setTiledImageFill(stripeImage, 0, 0, 0.85f);
        g.fillPath(stripes);
    }

    if (text.isNotEmpty())
    {
        g.setColour(juce::Colour::contrasting(background, foreground));
        g.setFont(meters::pinnedFont((float)height * 0.6f));
        g.drawText(text, 0, 0, width, height, juce::Justification::centred, false);
    }
}

void TARVEKLookAndFeel::drawTextEditorOutline(juce::Graphics& g, int width, int height,
                                              juce::TextEditor& editor)
{
    if (!editor.isEnabled()) return;

    const bool focused = editor.hasKeyboardFocus(true) && !editor.isReadOnly();
    g.setColour(editor.findColour(focused ? juce::TextEditor::focusedOutlineColourId
                                          : juce::TextEditor::outlineColourId));
    g.drawRect(0, 0, width, height);
}

//==============================================================================
void TARVEKLookAndFeel::drawPopupMenuBackground(juce::Graphics& g, int, int)
{
    const auto background = findColour(juce::PopupMenu::backgroundColourId);

    if (!background.isTransparent()) g.fillAll(background);
}

void TARVEKLookAndFeel::drawPopupMenuItem(juce::Graphics& g, const juce::Rectangle<int>& area,
                                          bool isSeparator, bool isActive, bool isHighlighted,
                                          bool isTicked, bool hasSubMenu, const juce::String& text,
                                          const juce::String& shortcutKeyText,
                                          const juce::Drawable* icon,
                                          const juce::Colour* textColour)
{
    if (isSeparator)
    {
        auto r = area.reduced(5, 0);
        r.removeFromTop(r.getHeight() / 2 - 1);
        g.setColour(juce::Colour(0x33000000));
        g.fillRect(r.removeFromTop(1));
        g.setColour(juce::Colour(0x66ffffff));
        g.fillRect(r.removeFromTop(1));
        return;
    }

    auto r = area.reduced(1);

    if (isHighlighted)
    {
        g.setColour(findColour(juce::PopupMenu::highlightedBackgroundColourId));
        g.fillRect(r);
        g.setColour(findColour(juce::PopupMenu::highlightedTextColourId));
    }
    else
    {
        g.setColour(textColour != nullptr ? *textColour
                                          : findColour(juce::PopupMenu::textColourId));
    }

    if (!isActive) g.setOpacity(0.3f);

    auto font = getPopupMenuFont();
    const auto maxFontHeight = (float)area.getHeight() / 1.3f;

    if (font.getHeight() > maxFontHeight) font.setHeight(juce::jmax(1.0f, maxFontHeight));

    g.setFont(font);

    const auto iconWidth = juce::jmax(6, juce::jmin((area.getHeight() * 5) / 4, r.getWidth()));
    const auto iconArea = r.removeFromLeft(iconWidth).reduced(3).toFloat();

    if (icon != nullptr)
    {
        icon->drawWithin(
            g, iconArea,
            juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize, 1.0f);
    }
    else if (isTicked && !iconArea.isEmpty())
    {
        const auto tick = getTickShape(1.0f);
        g.fillPath(tick, tick.getTransformToScaleToFit(iconArea, true));
    }

    if (hasSubMenu)
    {
        const auto arrowH = 0.6f * font.getHeight();
        const auto ax = (float)r.removeFromRight((int)arrowH + 3).getX();
        const auto cy = (float)r.getCentreY();
        juce::Path arrow;
        arrow.addTriangle(ax, cy - arrowH * 0.5f, ax, cy + arrowH * 0.5f, ax + arrowH * 0.6f, cy);
        g.fillPath(arrow);
    }

    r.removeFromRight(3);

    if (shortcutKeyText.isNotEmpty())
    {
        auto small = font;
        small.setHeight(font.getHeight() * 0.75f);
        g.setFont(small);
        const auto shortcutWidth = juce::roundToInt(small.getStringWidthFloat(shortcutKeyText));
        g.drawText(shortcutKeyText, r.removeFromRight(shortcutWidth + 4),
                   juce::Justification::centredRight, true);
        g.setFont(font);
    }

    g.drawFittedText(text, r, juce::Justification::centredLeft, 1);
}

void TARVEKLookAndFeel::drawMenuBarBackground(juce::Graphics& g, int width, int height, bool,
                                              juce::MenuBarComponent& menuBar)
{
    if (menuBar.isEnabled())
        drawShadedRectangle(g, -4.0f, 0.0f, (float)width + 8.0f, (float)height, 0.0f,
                            juce::Colour(darkPanel), 0.4f, true, true, true, true);
    else
        g.fillAll(juce::Colour(darkPanel));
}

//==============================================================================
void TARVEKLookAndFeel::drawComboBox(juce::Graphics& g, int width, int height, bool, int buttonX,
                                     int buttonY, int buttonW, int buttonH, juce::ComboBox& box)
{
    g.fillAll(box.findColour(juce::ComboBox::backgroundColourId));

    if (box.isEnabled() && box.hasKeyboardFocus(false))
    {
        g.setColour(box.findColour(juce::ComboBox::buttonColourId));
        g.drawRect(0, 0, width, height, 2);
    }
    else
    {
        g.setColour(box.findColour(juce::ComboBox::outlineColourId));
        g.drawRect(0, 0, width, height);
    }

    const auto bx = (float)buttonX, by = (float)buttonY;
    const auto bw = (float)buttonW, bh = (float)buttonH;

    if (bw <= 0.0f || bh <= 0.0f) return;

    juce::Path chevron;
    chevron.startNewSubPath(bx + bw * 0.3f, by + bh * 0.3f);
    chevron.lineTo(bx + bw * 0.5f, by + bh * 0.7f);
    chevron.lineTo(bx + bw * 0.7f, by + bh * 0.3f);

    const auto arrow = box.isEnabled()
                           ? juce::Colours::white
                           : fixedColour(false, juce::Colours::white.withBrightness(0.5f));
    g.setColour(arrow);
    g.strokePath(chevron, juce::PathStrokeType(1.5f));
}

void TARVEKLookAndFeel::drawLabel(juce::Graphics& g, juce::Label& label)
{
    g.fillAll(label.findColour(juce::Label::backgroundColourId));

    if (!label.isBeingEdited())
    {
        const auto font = getLabelFont(label);
        const auto alpha = label.isEnabled() ? 1.0f : 0.2f;
        const auto textArea = getLabelBorderSize(label).subtractedFrom(label.getLocalBounds());

        g.setColour(label.findColour(juce::Label::textColourId).withMultipliedAlpha(alpha));
        g.setFont(font);
        g.drawFittedText(label.getText(), textArea, label.getJustificationType(),
                         juce::jmax(1, (int)((float)textArea.getHeight() / font.getHeight())),
                         label.getMinimumHorizontalScale());
    }
    else if (!label.isEnabled())
    {
        return;
    }

    g.setColour(label.findColour(juce::Label::outlineColourId));
    g.drawRect(label.getLocalBounds());
}

//==============================================================================
void TARVEKLookAndFeel::drawLinearSliderBackground(juce::Graphics& g, int x, int y, int width,
                                                   int height, float, float, float,
                                                   const juce::Slider::SliderStyle,
                                                   juce::Slider& slider)
{
    const auto thickness = (float)(getSliderThumbRadius(slider) - 2);
    const auto track = slider.findColour(juce::Slider::trackColourId);
    const auto shade = track.withBrightness(0.4f);
    juce::Rectangle<float> area;

    if (slider.isHorizontal())
    {
        area = {(float)x - thickness * 0.5f, (float)y + (float)height * 0.5f - thickness * 0.5f,
                (float)width + thickness, thickness};
        g.setGradientFill(
            juce::ColourGradient::vertical(shade, area.getY(), track, area.getBottom()));
    }
    else
    {
        area = {(float)x + (float)width * 0.5f - thickness * 0.5f, (float)y - thickness * 0.5f,
                thickness, (float)height + thickness};
        g.setGradientFill(
            juce::ColourGradient::horizontal(shade, area.getX(), track, area.getRight()));
    }

    if (area.isEmpty()) return;

    juce::Path indent;
    indent.addRoundedRectangle(area, juce::jmin(5.0f, thickness * 0.5f));
    g.fillPath(indent);
    g.setColour(fixedColour(slider, shadowLine));
    g.strokePath(indent, juce::PathStrokeType(1.0f));
}

void TARVEKLookAndFeel::drawLinearSliderThumb(juce::Graphics& g, int x, int y, int width,
                                              int height, float sliderPos, float minSliderPos,
                                              float maxSliderPos,
                                              const juce::Slider::SliderStyle style,
                                              juce::Slider& slider)
{
    using S = juce::Slider;
    const auto r = (float)(getSliderThumbRadius(slider) - 2);
    const auto thumb = slider.findColour(S::thumbColourId);
    const auto outline = fixedColour(slider, accent);
    const auto midX = (float)x + (float)width * 0.5f, midY = (float)y + (float)height * 0.5f;

    if (r <= 0.0f) return;

    if (style == S::LinearHorizontal || style == S::LinearVertical ||
        style == S::ThreeValueHorizontal || style == S::ThreeValueVertical)
    {
        const bool vertical = style == S::LinearVertical || style == S::ThreeValueVertical;
        const juce::Point<float> centre(vertical ? midX : sliderPos, vertical ? sliderPos : midY);
        drawShadedSphere(g, centre.x - r, centre.y - r, 2.0f * r, thumb, 1.0f);
        g.setColour(outline);
        g.drawEllipse(centre.x - r, centre.y - r, 2.0f * r, 2.0f * r, 1.0f);
    }

    // The range ends of the two- and three-value styles: pointers towards the track.
    if (style == S::TwoValueVertical || style == S::ThreeValueVertical)
    {
        drawShadedPointer(g, juce::jmax(0.0f, midX - 2.0f * r), minSliderPos - r, 2.0f * r, thumb,
                          1.0f, 1);
        drawShadedPointer(g, midX, maxSliderPos - r, 2.0f * r, thumb, 1.0f, 3);
    }
    else if (style == S::TwoValueHorizontal || style == S::ThreeValueHorizontal)
    {
        drawShadedPointer(g, minSliderPos - r, juce::jmax(0.0f, midY - 2.0f * r), 2.0f * r, thumb,
                          1.0f, 2);
        drawShadedPointer(g, maxSliderPos - r, midY, 2.0f * r, thumb, 1.0f, 0);
    }
}

void TARVEKLookAndFeel::drawRotarySlider(juce::Graphics& g, int x, int y, int width, int height,
                                         float position, float startAngle, float endAngle,
                                         juce::Slider& slider)
{
    const auto radius = (float)juce::jmin(width / 2, height / 2);
    const auto knobRadius = radius - 11.0f;
    const auto arcRadius = radius - 9.0f;

    // Too small a slider has no knob to draw.
    if (knobRadius <= 0.0f) return;

    const juce::Point<float> centre((float)x + (float)width * 0.5f,
                                    (float)y + (float)height * 0.5f);
    auto angle = startAngle + position * (endAngle - startAngle);

    if (!std::isfinite(angle)) angle = startAngle;

    const auto square = [centre](float side) {
        return juce::Rectangle<float>(side, side).withCentre(centre);
    };

    g.setColour(fixedColour(slider, knob));
    g.fillEllipse(square(2.0f * knobRadius));
    g.setColour(fixedColour(slider, accent));
    g.drawEllipse(square(2.0f * knobRadius + 1.0f), 1.0f);
    g.setColour(fixedColour(slider, ring));
    g.drawEllipse(square(2.0f * knobRadius - 1.0f), 1.0f);

    // The pie segments have an inner circle 1.3 times their own: the track and the value are
    // a band from the arc radius outwards, around the knob.
    juce::Path track;
    track.addPieSegment(square(2.0f * arcRadius), startAngle, endAngle, 1.3f);
    g.setColour(fixedColour(slider, arcTrack));
    g.fillPath(track);

    juce::Path pointer;
    pointer.addRoundedRectangle(-1.5f, -0.85f * knobRadius, 3.0f, 0.7f * knobRadius, 2.0f);
    g.setColour(fixedColour(slider, accent));
    g.fillPath(pointer, juce::AffineTransform::rotation(angle).translated(centre));

    juce::Path value;
    value.addPieSegment(square(2.0f * arcRadius), startAngle, angle, 1.3f);
    g.fillPath(value);
}

juce::Label* TARVEKLookAndFeel::createSliderTextBox(juce::Slider& slider)
{
    auto* label = new SliderLabelComp();
    const bool bar = isBarStyle(slider);
    const auto background = slider.findColour(juce::Slider::textBoxBackgroundColourId);
    const auto text = slider.findColour(juce::Slider::textBoxTextColourId);
    const auto font = meters::pinnedFont(13.0f);

    label->setJustificationType(juce::Justification::centred);
    label->setKeyboardType(juce::TextInputTarget::decimalKeyboard);
    label->setFont(font);

    label->setColour(juce::Label::textColourId, text);
    label->setColour(juce::TextEditor::textColourId, text);
    label->setColour(juce::Label::backgroundColourId,
                     bar ? juce::Colours::transparentBlack : background);
    label->setColour(juce::Label::outlineColourId, juce::Colour(textBoxOutline));
    // Invisible in the slider, the box becomes an opaque field of the same shade while typing.
    label->setColour(juce::TextEditor::backgroundColourId,
                     background.withAlpha((juce::uint8)(bar ? 0xb2 : 0xff)));
    label->setColour(juce::TextEditor::outlineColourId,
                     slider.findColour(juce::Slider::textBoxOutlineColourId));
    label->setColour(juce::TextEditor::highlightColourId,
                     slider.findColour(juce::Slider::textBoxHighlightColourId));

    label->setSize(label->getWidth(), juce::roundToInt(font.getHeight()));
    return label;
}

juce::Slider::SliderLayout TARVEKLookAndFeel::getSliderLayout(juce::Slider& slider)
{
    using S = juce::Slider;
    const auto position = slider.getTextBoxPosition();
    const bool sideways = position == S::TextBoxLeft || position == S::TextBoxRight;
    const auto bounds = slider.getLocalBounds();
    const auto boxW = juce::jmax(
        0, juce::jmin(slider.getTextBoxWidth(), bounds.getWidth() - (sideways ? 30 : 0)));
    const auto boxH = juce::jmax(
        0, juce::jmin(slider.getTextBoxHeight(), bounds.getHeight() - (sideways ? 0 : 15)));
    const auto w = bounds.getWidth(), h = bounds.getHeight();

    S::SliderLayout layout;
    layout.sliderBounds = bounds;

    if (isBarStyle(slider))
    {
        if (position != S::NoTextBox) layout.textBoxBounds = bounds;
        layout.sliderBounds.reduce(1, 1);
        return layout;
    }

    switch (position)
    {
    case S::TextBoxLeft:
        layout.textBoxBounds = {0, (h - boxH) / 2, boxW, boxH};
        layout.sliderBounds.removeFromLeft(boxW);
        break;
    case S::TextBoxRight:
        layout.textBoxBounds = {w - boxW, (h - boxH) / 2, boxW, boxH};
        layout.sliderBounds.removeFromRight(boxW);
        break;
    case S::TextBoxAbove:
        layout.textBoxBounds = {(w - boxW) / 2, 0, boxW, boxH};
        layout.sliderBounds.removeFromTop(boxH);
        break;
    case S::TextBoxBelow:
        // Raised by a twentieth of the height, closer to the knob.
        layout.textBoxBounds = {(w - boxW) / 2, h - boxH - juce::roundToInt(0.05f * (float)h), boxW,
                                boxH};
        layout.sliderBounds.removeFromBottom(boxH);
        break;
    case S::NoTextBox:
    default:
        break;
    }

    const auto thumbIndent = getSliderThumbRadius(slider);

    if (slider.isHorizontal())
        layout.sliderBounds.reduce(thumbIndent, 0);
    else if (slider.isVertical())
        layout.sliderBounds.reduce(0, thumbIndent);

    return layout;
}

//==============================================================================
void TARVEKLookAndFeel::drawDocumentWindowTitleBar(juce::DocumentWindow& window, juce::Graphics& g,
                                                   int w, int h, int titleSpaceX, int titleSpaceW,
                                                   const juce::Image* icon,
                                                   bool drawTitleTextOnLeft)
{
    if (w <= 0 || h <= 0) return;

    const bool active = window.isActiveWindow();
    const auto background = window.getBackgroundColour();
    g.setGradientFill(juce::ColourGradient::vertical(
        background, 0.0f, background.contrasting(active ? 0.15f : 0.05f), (float)h));
    g.fillAll();

    const auto font = meters::pinnedFont((float)h * 0.65f, juce::Font::bold);
    g.setFont(font);

    int iconW = 0, iconH = 0;

    if (icon != nullptr && icon->getHeight() > 0)
    {
        iconH = (int)font.getHeight();
        iconW = icon->getWidth() * iconH / icon->getHeight() + 4;
    }

    auto textW = juce::jmin(titleSpaceW, font.getStringWidth(window.getName()) + iconW);
    auto textX = drawTitleTextOnLeft ? titleSpaceX : juce::jmax(titleSpaceX, (w - textW) / 2);
    textX = juce::jmin(textX, titleSpaceX + titleSpaceW - textW);

    if (iconW > 0)
    {
        g.setOpacity(active ? 1.0f : 0.6f);
        g.drawImageWithin(*icon, textX, (h - iconH) / 2, iconW, iconH,
                          juce::RectanglePlacement::centred, false);
        textX += iconW;
        textW -= iconW;
    }

    g.setColour(window.findColour(juce::DocumentWindow::textColourId));
    g.drawText(window.getName(), textX, 0, textW, h, juce::Justification::centredLeft, true);
}

void TARVEKLookAndFeel::drawGroupComponentOutline(juce::Graphics& g, int width, int height,
                                                  const juce::String& text,
                                                  const juce::Justification& justification,
                                                  juce::GroupComponent& group)
{
    const auto font = meters::pinnedFont(15.0f);
    const auto x = 3.0f;
    const auto y = font.getAscent() - 3.0f;
    const auto w = juce::jmax(0.0f, (float)width - 6.0f);
    const auto h = juce::jmax(0.0f, (float)height - y - 3.0f);
    const auto cs = juce::jmin(5.0f, w * 0.5f, h * 0.5f);

    const auto textW =
        text.isEmpty() ? 0.0f
                       : juce::jmin(juce::jmax(0.0f, w - 2.0f * cs - 8.0f),
                                    (float)juce::roundToInt(font.getStringWidthFloat(text)) + 8.0f);
    auto textX = cs + 4.0f;

    if (justification.testFlags(juce::Justification::horizontallyCentred))
        textX = cs + (w - 2.0f * cs - textW) * 0.5f;
    else if (justification.testFlags(juce::Justification::right))
        textX = w - cs - textW - 4.0f;

    // Clockwise from the right end of the title gap, corners as polylines.
    const auto halfPi = juce::MathConstants<float>::halfPi;
    juce::Path frame;
    frame.startNewSubPath(x + textX + textW, y);
    frame.lineTo(x + w - cs, y);
    addPolylineArc(frame, {x + w - cs, y + cs}, cs, 0.0f, halfPi);
    frame.lineTo(x + w, y + h - cs);
    addPolylineArc(frame, {x + w - cs, y + h - cs}, cs, halfPi, 2.0f * halfPi);
    frame.lineTo(x + cs, y + h);
    addPolylineArc(frame, {x + cs, y + h - cs}, cs, 2.0f * halfPi, 3.0f * halfPi);
    frame.lineTo(x, y + cs);
    addPolylineArc(frame, {x + cs, y + cs}, cs, 3.0f * halfPi, 4.0f * halfPi);
    frame.lineTo(x + textX, y);

    g.setColour(group.findColour(juce::GroupComponent::outlineColourId)
                    .withMultipliedAlpha(group.isEnabled() ? 1.0f : 0.5f));
    g.strokePath(frame, juce::PathStrokeType(1.0f));

    g.setColour(group.findColour(juce::GroupComponent::textColourId));
    g.setFont(font);
    g.drawText(text, juce::roundToInt(x + textX), 0, juce::roundToInt(textW), 15,
               juce::Justification::centred, true);
}

void TARVEKLookAndFeel::drawTabAreaBehindFrontButton(juce::TabbedButtonBar& bar, juce::Graphics& g,
                                                     int w, int h)
{
    const auto shade = juce::Colours::black.withAlpha(bar.isEnabled() ? 0.25f : 0.15f);
    const auto fw = (float)w, fh = (float)h;
    juce::ColourGradient shadow(shade, 0, 0, juce::Colours::transparentBlack, 0, 0, false);
    juce::Rectangle<int> shadowArea, line;

    switch (bar.getOrientation())
    {
    case juce::TabbedButtonBar::TabsAtLeft:
        shadow.point1.x = fw;
        shadow.point2.x = fw * 0.8f;
        shadowArea = {(int)(fw * 0.8f), 0, w - (int)(fw * 0.8f), h};
        line = {w - 1, 0, 1, h};
        break;
    case juce::TabbedButtonBar::TabsAtRight:
        shadow.point2.x = fw * 0.2f;
        shadowArea = {0, 0, (int)(fw * 0.2f), h};
        line = {0, 0, 1, h};
        break;
    case juce::TabbedButtonBar::TabsAtTop:
        shadow.point1.y = fh;
        shadow.point2.y = fh * 0.8f;
        shadowArea = {0, (int)(fh * 0.8f), w, h - (int)(fh * 0.8f)};
        line = {0, h - 1, w, 1};
        break;
    case juce::TabbedButtonBar::TabsAtBottom:
    default:
        shadow.point2.y = fh * 0.2f;
        shadowArea = {0, 0, w, (int)(fh * 0.2f)};
        line = {0, 0, w, 1};
        break;
    }

    g.setGradientFill(shadow);
    g.fillRect(shadowArea);
    g.setColour(fixedColour(bar, shadowLine));
    g.fillRect(line);
}

void TARVEKLookAndFeel::fillTabButtonShape(juce::TabBarButton& button, juce::Graphics& g,
                                           const juce::Path& path, bool, bool)
{
    const bool front = button.isFrontTab();
    const auto tab = button.getTabBackgroundColour();

    g.setColour(front ? tab : tab.withMultipliedAlpha(0.9f));
    g.fillPath(path);
    g.setColour(button
                    .findColour(front ? juce::TabbedButtonBar::frontOutlineColourId
                                      : juce::TabbedButtonBar::tabOutlineColourId,
                                false)
                    .withMultipliedAlpha(button.isEnabled() ? 1.0f : 0.5f));
    g.strokePath(path, juce::PathStrokeType(1.0f));
}

//==============================================================================
void TARVEKLookAndFeel::drawShadedLozenge(juce::Graphics& g, float x, float y, float w, float h,
                                          juce::Colour base, float cornerSize, bool flatOnLeft,
                                          bool flatOnRight, bool flatOnTop, bool flatOnBottom)
{
    if (!(w > 1.5f && h > 1.5f)) return;

    const auto cs = juce::jmin(cornerSize, w * 0.5f, h * 0.5f);
    const auto outline =
        roundedOutline({x, y, w, h}, cs, flatOnLeft, flatOnRight, flatOnTop, flatOnBottom);

    juce::ColourGradient fill(base.brighter(0.15f), 0.0f, y, base.darker(0.3f), 0.0f, y + h, false);
    fill.addColour(0.5, base);
    g.setGradientFill(fill);
    g.fillPath(outline);

    g.setColour(base.darker(0.6f));
    g.strokePath(outline, juce::PathStrokeType(1.5f));
}

void TARVEKLookAndFeel::drawShadedSphere(juce::Graphics& g, float x, float y, float diameter,
                                         juce::Colour base, float outlineThickness)
{
    if (!(diameter > outlineThickness)) return;

    g.setGradientFill(shadeTowardsBlack(base, x, y, diameter));
    g.fillEllipse(x, y, diameter, diameter);
    g.setColour(thinOutline(base));
    g.drawEllipse(x, y, diameter, diameter, outlineThickness);
}

void TARVEKLookAndFeel::drawShadedPointer(juce::Graphics& g, float x, float y, float diameter,
                                          juce::Colour base, float outlineThickness, int direction)
{
    if (!(diameter > outlineThickness)) return;

    juce::Path p;
    p.startNewSubPath(x + diameter * 0.5f, y);
    p.lineTo(x + diameter, y + diameter * 0.6f);
    p.lineTo(x + diameter, y + diameter);
    p.lineTo(x, y + diameter);
    p.lineTo(x, y + diameter * 0.6f);
    p.closeSubPath();
    p.applyTransform(
        juce::AffineTransform::rotation((float)(direction % 4) * juce::MathConstants<float>::halfPi,
                                        x + diameter * 0.5f, y + diameter * 0.5f));

    g.setGradientFill(shadeTowardsBlack(base, x, y, diameter));
    g.fillPath(p);
    g.setColour(thinOutline(base));
    g.strokePath(p, juce::PathStrokeType(outlineThickness));
}

void TARVEKLookAndFeel::drawShadedRectangle(juce::Graphics& g, float x, float y, float w, float h,
                                            float maxCornerSize, juce::Colour base,
                                            float strokeWidth, bool flatOnLeft, bool flatOnRight,
                                            bool flatOnTop, bool flatOnBottom)
{
    if (!(w > strokeWidth * 1.1f && h > strokeWidth * 1.1f)) return;

    const auto cs = juce::jmin(maxCornerSize, w * 0.5f, h * 0.5f);
    const auto outline =
        roundedOutline({x, y, w, h}, cs, flatOnLeft, flatOnRight, flatOnTop, flatOnBottom);

    g.setGradientFill(juce::ColourGradient::vertical(
        base, y, base.overlaidWith(juce::Colour(0x070000ff)), y + h));
    g.fillPath(outline);

    g.setColour(juce::Colour(shadowLine));
    g.fillRect(0.0f, h - 1.0f, w, 1.0f);
}
