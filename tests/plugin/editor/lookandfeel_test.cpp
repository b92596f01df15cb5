// The editor's style painted offscreen and probed, and every override fed degenerate input.
#include "TARVEKLookAndFeel.h"
#include "TARVEKMeterLookAndFeel.h"
#include "image_test_util.h"

using namespace imagetest;

namespace
{
using juce::uint32;
constexpr uint32 accent = 0xff63a8ff, knobGrey = 0xff555555, ringGrey = 0xffaaaaaa;
constexpr uint32 offGrey = 0xff888888, trackGrey = 0xff777777;

// Holds the shared style while it lives and hands it back before it goes, as an editor does.
template <typename Base> struct Styled : Base
{
    juce::SharedResourcePointer<TARVEKLookAndFeel> style;
    Styled() { this->setLookAndFeel(&style.get()); }
    ~Styled() override { this->setLookAndFeel(nullptr); }
};

// A widget's own colour; disabled, at alpha 0x80.
juce::Colour dim(uint32 argb, bool disabled)
{
    return disabled ? juce::Colour(argb).withAlpha((juce::uint8)0x80) : juce::Colour(argb);
}

// A part drawn over another part: where both are dimmed, both show.
juce::Colour over(uint32 under, uint32 top, bool disabled)
{
    return dim(under, disabled).overlaidWith(dim(top, disabled));
}

// Probes of one snapshot at logical coordinates.
void expectProbes(const Shot& shot, std::initializer_list<std::tuple<float, float, juce::Colour>> p)
{
    for (auto& [x, y, want] : p) EXPECT_TRUE(looksLike(shot.at(x, y), want)) << x << "," << y;
}
} // namespace

TEST(TARVEKLookAndFeel, RotarySliderOf65PixelsHasKnobRadius21AndArcRadius23)
{
    Styled<juce::Slider> knob;
    knob.setSliderStyle(juce::Slider::RotaryHorizontalVerticalDrag);
    knob.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
    knob.setBounds(0, 0, 65, 65);
    // Up from the centre of 65 pixels: knob (radius 21), grey and accent rings, a gap, then the
    // arc band (radius 23), bare at the minimum and covered by the value arc at the maximum.
    const auto up = [](float d) { return 32.5f - d; };
    for (const bool disabled : {false, true})
        for (const bool atMax : {false, true})
        {
            knob.setEnabled(!disabled);
            knob.setValue(atMax ? knob.getMaximum() : knob.getMinimum());
            const auto arc = atMax ? over(trackGrey, accent, disabled) : dim(trackGrey, disabled);
            SCOPED_TRACE(juce::String(disabled ? "disabled" : "enabled") + (atMax ? " max" : ""));
            expectProbes(Shot(knob), {{32.5f, up(10.0f), dim(knobGrey, disabled)},
                                      {32.5f, up(20.5f), over(knobGrey, ringGrey, disabled)},
                                      {32.5f, up(21.5f), dim(accent, disabled)},
                                      {32.5f, up(22.5f), {}},
                                      {32.5f, up(23.25f), arc},
                                      {32.5f, up(29.5f), arc},
                                      {32.5f, up(31.0f), {}}});
        }
}

TEST(TARVEKLookAndFeel, TogglesShowTheirPowerSymbolInAccentWhenOnAndGreyWhenOff)
{
    Styled<juce::ToggleButton> square, wide;
    square.setBounds(0, 0, 40, 40);
    wide.setBounds(0, 0, 80, 30);
    // Square: ring right of the centre (20, 20) at half of radius 20 - 40/7, bar above it.
    for (const auto& [on, disabled] : {std::pair(false, false), {true, false}, {true, true}})
    {
        square.setToggleState(on, juce::dontSendNotification);
        square.setEnabled(!disabled);
        const auto symbol = over(knobGrey, on ? accent : offGrey, disabled);
        SCOPED_TRACE(juce::String((int)on) + juce::String((int)disabled));
        expectProbes(Shot(square), {{27.1f, 20.0f, symbol},
                                    {20.0f, 15.0f, symbol},
                                    {20.0f, 8.0f, dim(knobGrey, disabled)}});
    }
    // A toggle wider than high keeps its symbol centred in the button, at the button's height.
    expectProbes(Shot(wide),
                 {{40.0f, 11.0f, dim(offGrey, false)}, {40.0f, 23.0f, dim(knobGrey, false)}});
}

// One of every widget the style draws, disabled.
struct Widgets : Styled<juce::Component>
{
    juce::Slider rotary{juce::Slider::RotaryHorizontalVerticalDrag, juce::Slider::TextBoxBelow};
    juce::Slider linear{juce::Slider::LinearHorizontal, juce::Slider::TextBoxRight};
    juce::Slider range{juce::Slider::ThreeValueHorizontal, juce::Slider::NoTextBox};
    juce::ToggleButton on;
    juce::TextButton button{"Button"};
    juce::ComboBox combo;
    juce::Label label{{}, "Label"};
    juce::GroupComponent group{{}, "Group"};
    juce::ScrollBar scroll{false};
    double progress = 0.6;
    juce::ProgressBar bar{progress};
    juce::TextEditor text;
    juce::TabbedButtonBar tabs{juce::TabbedButtonBar::TabsAtTop};
    juce::MenuBarComponent menu;

    Widgets()
    {
        range.setMinAndMaxValues(2.0, 8.0);
        on.setToggleState(true, juce::dontSendNotification);
        combo.addItem("Combo box", 1);
        tabs.addTab("Tab", juce::Colours::darkgrey, 0);
        for (auto* c : std::initializer_list<juce::Component*>{&rotary, &linear, &range, &on,
                                                               &button, &combo, &label, &group,
                                                               &scroll, &bar, &text, &tabs, &menu})
            addAndMakeVisible(c);
        setEnabled(false);
    }
};

TEST(TARVEKLookAndFeel, EveryOverrideDrawsZeroSizedAndDisabledWidgetsSafely)
{
    Widgets c;
    auto& lf = *c.style;
    juce::Image image(juce::Image::ARGB, 40, 40, true);
    juce::Graphics g(image);
    juce::DocumentWindow window("w", juce::Colours::black, 0, false);
    for (int s : {-3, 0, 1, 2, 12})
    {
        const auto f = (float)s;
        for (auto* child : c.getChildren()) child->setSize(std::max(s, 0), std::max(s, 0));
        lf.drawRotarySlider(g, 0, 0, s, s, std::nanf(""), 1.0f, 5.0f, c.rotary);
        lf.drawLinearSliderBackground(g, 0, 0, s, s, f, 0, f, c.range.getSliderStyle(), c.range);
        lf.drawLinearSliderThumb(g, 0, 0, s, s, f, 0, f, c.range.getSliderStyle(), c.range);
        lf.getSliderLayout(c.linear);
        delete lf.createSliderTextBox(c.linear);
        lf.drawButtonBackground(g, c.button, juce::Colours::red, true, true);
        lf.drawToggleButton(g, c.on, true, false);
        lf.drawTickBox(g, c.on, 0, 0, f, f, true, false, false, false);
        lf.drawComboBox(g, s, s, true, 0, 0, s, s, c.combo);
        lf.drawLabel(g, c.label);
        lf.drawGroupComponentOutline(g, s, s, "Group", juce::Justification::centred, c.group);
        lf.drawScrollbar(g, c.scroll, 0, 0, s, s, true, 0, s, false, false);
        lf.drawProgressBar(g, c.bar, s, s, -1.0, "50%");
        lf.drawTextEditorOutline(g, s, s, c.text);
        lf.drawPopupMenuBackground(g, s, s);
        lf.drawPopupMenuItem(g, {s, s}, false, false, true, true, true, "item", "Ctrl+A", nullptr,
                             nullptr);
        lf.drawPopupMenuItem(g, {s, s}, true, true, false, false, false, {}, {}, nullptr, nullptr);
        lf.drawMenuBarBackground(g, s, s, false, c.menu);
        lf.drawTabAreaBehindFrontButton(c.tabs, g, s, s);
        lf.fillTabButtonShape(*c.tabs.getTabButton(0), g, {}, false, false);
        lf.drawDocumentWindowTitleBar(window, g, s, s, 0, s, nullptr, true);
        lf.drawShadedRectangle(g, 0, 0, f, f, 3, juce::Colours::red, 1, false, false, false, false);
        lf.drawShadedPointer(g, 0, 0, f, juce::Colours::red, 1, s);
    }
}

// Both styles keep their typeface when the host's default sans changes (text in it does not);
// a disabled label draws its text at a fifth of its alpha.
TEST(TARVEKLookAndFeel, TextsKeepTheirTypefaceWhateverTheDefaultSansAndDimWhenDisabled)
{
    TARVEKMeterLookAndFeel meterStyle;
    const auto texts = [&](bool enabled) {
        Styled<juce::Label> label; // a new label's font resolves its typeface anew
        label.setBounds(0, 0, 120, 24);
        label.setText("Rotation 45", juce::dontSendNotification);
        label.setFont(juce::Font(13.0f));
        label.setEnabled(enabled);
        return render(120, 64, [&](juce::Graphics& g) {
            label.paintEntireComponent(g, false);
            meterStyle.drawMaxNumber(g, meters::LevelMeter::Default, {0, 24, 120, 20}, 0.5f);
            g.setFont(juce::Font(14.0f));
            g.drawText("-6.0 dB", 0, 44, 120, 20, juce::Justification::centred);
        });
    };
    const auto before = texts(true);
    auto& hostDefault = juce::LookAndFeel::getDefaultLookAndFeel();
    hostDefault.setDefaultSansSerifTypefaceName("DejaVu Serif");
    const auto after = texts(true);
    hostDefault.setDefaultSansSerifTypefaceName({});
    const juce::Rectangle<int> styled(0, 0, 120, 44), plain(0, 44, 120, 20);
    EXPECT_TRUE(sameImage(before.getClippedImage(styled), after.getClippedImage(styled)));
    EXPECT_FALSE(sameImage(before.getClippedImage(plain), after.getClippedImage(plain)));
    const auto strongestAlpha = [](const juce::Image& image) {
        int alpha = 0;
        countPixels(image, {0, 0, 120, 24}, [&](juce::Colour c) {
            alpha = std::max(alpha, (int)c.getAlpha());
            return false;
        });
        return alpha;
    };
    EXPECT_EQ(strongestAlpha(before), 0xff);
    EXPECT_NEAR(strongestAlpha(texts(false)), 0xff / 5, 1);
}
