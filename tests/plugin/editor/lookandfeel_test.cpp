#include "TARVEKLookAndFeel.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

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

// Snapshots at 4x put one-pixel rings over whole image pixels; probes take logical coordinates.
struct Shot
{
    juce::Image image;
    float zoom;
    Shot(juce::Component& c, float z = 4.0f)
        : image(c.createComponentSnapshot(c.getLocalBounds(), true, z)), zoom(z)
    {
    }
    juce::Colour at(float x, float y) const
    {
        return image.getPixelAt((int)std::floor(x * zoom), (int)std::floor(y * zoom));
    }
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

// Colours match within the rounding of premultiplied pixels.
testing::AssertionResult looksLike(juce::Colour got, juce::Colour want)
{
    const auto near = [](int a, int b) { return std::abs(a - b) <= 3; };
    if (near(got.getAlpha(), want.getAlpha()) &&
        (want.getAlpha() == 0 ||
         (near(got.getRed(), want.getRed()) && near(got.getGreen(), want.getGreen()) &&
          near(got.getBlue(), want.getBlue()))))
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << got.toDisplayString(true) << " is not " << want.toDisplayString(true);
}

// A top-level component on a stand-in window, so that a child can hold the keyboard focus
// without a display.
struct FocusHost : juce::Component
{
    struct Peer : juce::ComponentPeer
    {
        using ComponentPeer::ComponentPeer;
        void* getNativeHandle() const override { return nullptr; }
        void setVisible(bool) override {}
        void setTitle(const juce::String&) override {}
        void setBounds(const juce::Rectangle<int>&, bool) override {}
        juce::Rectangle<int> getBounds() const override { return component.getBounds(); }
        juce::Point<float> localToGlobal(juce::Point<float> p) override { return p; }
        juce::Point<float> globalToLocal(juce::Point<float> p) override { return p; }
        void setMinimised(bool) override {}
        bool isMinimised() const override { return false; }
        void setFullScreen(bool) override {}
        bool isFullScreen() const override { return false; }
        void setIcon(const juce::Image&) override {}
        bool contains(juce::Point<int>, bool) const override { return true; }
        OptionalBorderSize getFrameSizeIfPresent() const override { return {}; }
        juce::BorderSize<int> getFrameSize() const override { return {}; }
        bool setAlwaysOnTop(bool) override { return false; }
        void toFront(bool) override {}
        void toBehind(ComponentPeer*) override {}
        bool isFocused() const override { return true; }
        void grabFocus() override {}
        void repaint(const juce::Rectangle<int>&) override {}
        void performAnyPendingRepaintsNow() override {}
        void setAlpha(float) override {}
        juce::StringArray getAvailableRenderingEngines() override { return {}; }
        void textInputRequired(juce::Point<int>, juce::TextInputTarget&) override {}
    };
    juce::ComponentPeer* createNewPeer(int flags, void*) override { return new Peer(*this, flags); }
    ~FocusHost() override { removeFromDesktop(); }
};
} // namespace

TEST(TARVEKLookAndFeel, RotarySliderOf65PixelsHasKnobRadius21AndArcRadius23)
{
    Styled<juce::Slider> knob;
    knob.setSliderStyle(juce::Slider::RotaryHorizontalVerticalDrag);
    knob.setTextBoxStyle(juce::Slider::NoTextBox, false, 0, 0);
    knob.setBounds(0, 0, 65, 65);

    // Up from the centre (32.5, 32.5): knob, grey and accent rings, a gap, then the arc band.
    const auto probe = [&](bool disabled, juce::Colour arc) {
        const Shot shot(knob);
        const auto up = [&](float d) { return shot.at(32.5f, 32.5f - d); };
        EXPECT_TRUE(looksLike(up(10.0f), dim(knobGrey, disabled)));
        EXPECT_TRUE(looksLike(up(20.5f), over(knobGrey, ringGrey, disabled)));
        EXPECT_TRUE(looksLike(up(21.5f), dim(accent, disabled)));
        EXPECT_TRUE(looksLike(up(22.5f), {}));
        EXPECT_TRUE(looksLike(up(23.25f), arc));
        EXPECT_TRUE(looksLike(up(29.5f), arc));
        EXPECT_TRUE(looksLike(up(31.0f), {}));
    };
    // At the minimum the band is the bare track; at the maximum the value arc covers it.
    for (bool disabled : {false, true})
    {
        knob.setEnabled(!disabled);
        knob.setValue(knob.getMinimum());
        probe(disabled, dim(trackGrey, disabled));
        knob.setValue(knob.getMaximum());
        probe(disabled, over(trackGrey, accent, disabled));
    }
}

TEST(TARVEKLookAndFeel, TogglesShowTheirPowerSymbolInAccentWhenOnAndGreyWhenOff)
{
    Styled<juce::ToggleButton> square, wide;
    square.setBounds(0, 0, 40, 40);
    wide.setBounds(0, 0, 80, 30);

    // Square: ring right of the centre (20, 20) at half of radius 20 - 40/7, bar above it.
    const auto symbol = [&](bool disabled, uint32 colour) {
        const Shot shot(square);
        EXPECT_TRUE(looksLike(shot.at(27.1f, 20.0f), over(knobGrey, colour, disabled)));
        EXPECT_TRUE(looksLike(shot.at(20.0f, 15.0f), over(knobGrey, colour, disabled)));
        EXPECT_TRUE(looksLike(shot.at(20.0f, 20.0f - 12.0f), dim(knobGrey, disabled)));
    };
    symbol(false, offGrey);
    square.setToggleState(true, juce::dontSendNotification);
    symbol(false, accent);
    square.setEnabled(false);
    symbol(true, accent);

    // A toggle wider than high keeps its symbol centred in the button, at the button's height.
    EXPECT_TRUE(looksLike(Shot(wide).at(40.0f, 11.0f), dim(offGrey, false)));
    EXPECT_TRUE(looksLike(Shot(wide).at(40.0f, 15.0f + 8.0f), dim(knobGrey, false)));
}

TEST(TARVEKLookAndFeel, DisabledLabelTextIsDrawnAtAFifthOfItsAlpha)
{
    Styled<juce::Label> label;
    label.setText("I", juce::dontSendNotification);
    label.setFont(60.0f);
    label.setJustificationType(juce::Justification::centred);
    label.setBounds(0, 0, 60, 70);

    const auto strongestAlpha = [&] {
        const Shot shot(label, 1.0f);
        int alpha = 0;
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 60; ++x)
                alpha = std::max(alpha, (int)shot.image.getPixelAt(x, y).getAlpha());
        return alpha;
    };
    EXPECT_EQ(strongestAlpha(), 0xff);
    label.setEnabled(false);
    EXPECT_NEAR(strongestAlpha(), 0xff / 5, 1);
}

TEST(TARVEKLookAndFeel, FocusedComboBoxHasATwoPixelWhiteFrame)
{
    FocusHost host;
    Styled<juce::ComboBox> box;
    host.setBounds(0, 0, 200, 40);
    box.setBounds(0, 0, 150, 24);
    host.addAndMakeVisible(box);
    host.addToDesktop(0);
    host.setVisible(true);

    const auto frame = [&](uint32 outer, uint32 second) {
        const Shot shot(box, 1.0f);
        EXPECT_TRUE(looksLike(shot.at(0, 12), over(0xff5d5d5d, outer, false)));
        EXPECT_TRUE(looksLike(shot.at(1, 12), over(0xff5d5d5d, second, false)));
        EXPECT_TRUE(looksLike(shot.at(2, 12), dim(0xff5d5d5d, false)));
    };
    // Unfocused: one pixel in the framework's outline colour, which this style leaves alone.
    frame(box.findColour(juce::ComboBox::outlineColourId).getARGB(), 0xff5d5d5d);
    box.grabKeyboardFocus();
    ASSERT_TRUE(box.hasKeyboardFocus(false));
    frame(0xffffffff, 0xffffffff);
}

TEST(TARVEKLookAndFeel, SliderTextBoxIsInvisibleButItsEditorIsOpaque)
{
    Styled<juce::Slider> knob;
    knob.setSliderStyle(juce::Slider::RotaryHorizontalVerticalDrag);
    knob.setTextBoxStyle(juce::Slider::TextBoxBelow, false, 80, 25);
    knob.setBounds(0, 0, 80, 100);
    auto* box = dynamic_cast<juce::Label*>(knob.getChildComponent(0));
    ASSERT_NE(box, nullptr);

    // Raised by 5 % of the height; no fill of its own away from its text.
    EXPECT_EQ(box->getBounds(), juce::Rectangle<int>(0, 70, 80, 25));
    EXPECT_TRUE(looksLike(Shot(knob).at(4.0f, 82.0f), juce::Colour()));

    knob.showTextBox();
    auto* editor = box->getCurrentTextEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(looksLike(Shot(*editor).at(3.0f, 3.0f), dim(0xff222222, false)));
}

// One of every widget the style draws, laid out in a column of 200 x 560.
struct Column : Styled<juce::Component>
{
    juce::Slider rotary{juce::Slider::RotaryHorizontalVerticalDrag, juce::Slider::TextBoxBelow};
    juce::Slider linear{juce::Slider::LinearHorizontal, juce::Slider::TextBoxRight};
    juce::Slider range{juce::Slider::ThreeValueHorizontal, juce::Slider::NoTextBox};
    juce::ToggleButton off, on;
    juce::TextButton button{"Button"}, pressed{"On"};
    juce::ComboBox combo;
    juce::Label label{{}, "Label"};
    juce::GroupComponent group{{}, "Group"};
    juce::ScrollBar scroll{false};
    double progress = 0.6;
    juce::ProgressBar bar{progress};
    juce::TextEditor text;
    juce::TabbedButtonBar tabs{juce::TabbedButtonBar::TabsAtTop};
    juce::MenuBarComponent menu;

    Column()
    {
        for (auto* slider : {&rotary, &linear, &range})
            slider->setRange(0.0, 10.0, 0.1), slider->setValue(6.0);
        range.setMinAndMaxValues(2.0, 8.0);
        on.setToggleState(true, juce::dontSendNotification);
        pressed.setToggleState(true, juce::dontSendNotification);
        combo.addItem("Combo box", 1);
        combo.setSelectedId(1);
        text.setText("Text editor");
        scroll.setRangeLimits(0.0, 10.0);
        scroll.setCurrentRange(2.0, 3.0);
        tabs.addTab("Tab", juce::Colours::darkgrey, 0);
        tabs.addTab("Other", juce::Colours::darkgrey, 1);
        const std::pair<juce::Component*, juce::Rectangle<int>> places[] = {
            {&rotary, {10, 10, 80, 100}},   {&off, {110, 20, 30, 30}},
            {&on, {150, 20, 30, 30}},       {&linear, {10, 120, 180, 24}},
            {&range, {10, 150, 180, 24}},   {&button, {10, 180, 85, 24}},
            {&pressed, {105, 180, 85, 24}}, {&combo, {10, 210, 180, 24}},
            {&label, {10, 240, 180, 24}},   {&group, {10, 270, 180, 80}},
            {&scroll, {10, 360, 180, 14}},  {&bar, {10, 380, 180, 16}},
            {&text, {10, 402, 180, 24}},    {&tabs, {10, 432, 180, 26}},
            {&menu, {10, 464, 180, 20}}};
        for (auto& [component, area] : places)
            addAndMakeVisible(component), component->setBounds(area);
        setSize(200, 560);
    }
};

TEST(TARVEKLookAndFeel, EveryOverrideDrawsZeroSizedAndDisabledWidgetsSafely)
{
    Column c;
    auto& lf = *c.style;
    juce::Image image(juce::Image::ARGB, 40, 40, true);
    juce::Graphics g(image);
    juce::DocumentWindow window("w", juce::Colours::black, 0, false);
    c.setEnabled(false);

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

// For a person to look at: every widget, enabled on the left and disabled on the right, and
// pop-up menu items; written to reference-pictures/ in the working directory.
TEST(TARVEKLookAndFeel, WritesAReferenceSheetOfEveryWidget)
{
    struct Sheet : juce::Component
    {
        Column enabled, disabled;
        Sheet()
        {
            addAndMakeVisible(enabled);
            addAndMakeVisible(disabled);
            disabled.setTopLeftPosition(200, 0);
            disabled.setEnabled(false);
            setSize(600, 560);
        }
        void paint(juce::Graphics& g) override
        {
            auto& lf = *enabled.style;
            g.fillAll(juce::Colour(0xff222222));
            juce::Rectangle<int> item(410, 10, 180, 24);
            g.reduceClipRegion(400, 0, 200, 170);
            lf.drawPopupMenuBackground(g, getWidth(), getHeight());
            const char* texts[] = {"Item", "Highlighted", "Ticked", "", "Inactive", "Sub-menu"};
            for (int i = 0; i < 6; ++i, item.translate(0, 26))
                lf.drawPopupMenuItem(g, item, i == 3, i != 4, i == 1, i == 2, i == 5, texts[i],
                                     i == 0 ? "Ctrl+I" : "", nullptr, nullptr);
        }
    } sheet;

    const auto picture = juce::File::getCurrentWorkingDirectory().getChildFile(
        "reference-pictures/tarvek-lookandfeel.png");
    ASSERT_TRUE(picture.getParentDirectory().createDirectory());
    picture.deleteFile();
    juce::FileOutputStream out(picture);
    ASSERT_TRUE(juce::PNGImageFormat().writeImageToStream(
        sheet.createComponentSnapshot(sheet.getLocalBounds()), out));
}

TEST(TARVEKLookAndFeel, OneInstanceIsSharedByTwoEditorsAndGoesWithTheLast)
{
    struct Editor : Styled<juce::Component>
    {
        juce::Slider knob;
        Editor() { addAndMakeVisible(knob); }
    };
    auto first = std::make_unique<Editor>(), second = std::make_unique<Editor>();
    EXPECT_EQ(&first->knob.getLookAndFeel(), &second->knob.getLookAndFeel());
    EXPECT_NE(dynamic_cast<TARVEKLookAndFeel*>(&first->knob.getLookAndFeel()), nullptr);
    EXPECT_EQ(first->style.getReferenceCount(), 2);

    // The typeface is pinned whatever the host process's default look-and-feel resolves the
    // default sans-serif name to: a label draws the same after that changes.
    const auto labelShot = [&] {
        juce::Label label({}, "Rotation 45");  // a new font object resolves its typeface anew
        label.setBounds(0, 0, 120, 24);
        label.setFont(juce::Font(13.0f));
        first->addChildComponent(label);
        auto image = Shot(label, 1.0f).image;
        first->removeChildComponent(&label);
        return image;
    };
    const auto before = labelShot();
    auto& hostDefault = juce::LookAndFeel::getDefaultLookAndFeel();
    hostDefault.setDefaultSansSerifTypefaceName("DejaVu Serif");
    const auto after = labelShot();
    hostDefault.setDefaultSansSerifTypefaceName({});
    int lit = 0, differing = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 120; ++x)
        {
            lit += before.getPixelAt(x, y).getAlpha() > 0;
            differing += before.getPixelAt(x, y) != after.getPixelAt(x, y);
        }
    EXPECT_GT(lit, 50);
    EXPECT_EQ(differing, 0);

    first.reset();
    second.reset();
    juce::SharedResourcePointer<TARVEKLookAndFeel> fresh;
    EXPECT_EQ(fresh.getReferenceCount(), 1);
}
