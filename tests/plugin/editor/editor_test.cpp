// The editor on a processor without a host: controls, labels, formats, paint and undo.
#include "GroupWithBackground.h"
#include "PluginEditor.h"
#include "SliderWithEndPoints.h"
#include "image_test_util.h"
#include "ox_abdec_tables.h"

namespace
{
// Each row's kind of control: M menu, R rotary slider, E rotary slider with end words, T toggle.
constexpr char rowKinds[] = "MMMRRRRRRRRRRRRRRREEEEEEETEEETTRRMT";
static_assert(sizeof(rowKinds) == numParameters + 1);

bool isOfKind(juce::Component* c, char kind)
{
    auto* slider = dynamic_cast<juce::Slider*>(c);
    const bool rotary =
        slider != nullptr && slider->getSliderStyle() == juce::Slider::RotaryHorizontalVerticalDrag;
    const bool endPoints = dynamic_cast<SliderWithEndPoints*>(c) != nullptr;
    return kind == 'M'   ? dynamic_cast<juce::ComboBox*>(c) != nullptr
           : kind == 'T' ? dynamic_cast<juce::ToggleButton*>(c) != nullptr
                         : rotary && endPoints == (kind == 'E');
}

// The first child of the editor that is a T and matches, or null.
template <typename T> T* childWhere(juce::Component& parent, std::function<bool(T&)> match)
{
    for (auto* child : parent.getChildren())
        if (auto* t = dynamic_cast<T*>(child); t != nullptr && match(*t)) return t;
    return nullptr;
}

template <typename T> T* childAt(juce::Component& parent, juce::Rectangle<int> bounds)
{
    return childWhere<T>(parent, [bounds](T& t) { return t.getBounds() == bounds; });
}

// What a control shows, as one number.
double reading(juce::Component& c)
{
    if (auto* slider = dynamic_cast<juce::Slider*>(&c)) return slider->getValue();
    if (auto* box = dynamic_cast<juce::ComboBox*>(&c)) return box->getSelectedId();
    return dynamic_cast<juce::Button&>(c).getToggleState() ? 1.0 : 0.0;
}

// Moves a control to another of its values as a user would, through its own notifications.
void moveControl(juce::Component& c)
{
    if (auto* slider = dynamic_cast<juce::Slider*>(&c))
        slider->setValue(slider->getValue() < slider->getMaximum() ? slider->getMaximum()
                                                                   : slider->getMinimum(),
                         juce::sendNotificationSync);
    else if (auto* box = dynamic_cast<juce::ComboBox*>(&c))
        box->setSelectedId(box->getSelectedId() == 2 ? 1 : 2, juce::sendNotificationSync);
    else if (auto* button = dynamic_cast<juce::Button*>(&c))
        button->setToggleState(!button->getToggleState(), juce::sendNotificationSync);
}

class EditorTest : public ::testing::Test
{
  protected:
    PluginProcessor processor;
    std::unique_ptr<PluginEditor> editor{makeEditor()};

    std::unique_ptr<PluginEditor> makeEditor()
    {
        return std::make_unique<PluginEditor>(processor, processor.parameters);
    }
    juce::RangedAudioParameter& param(const juce::String& id)
    {
        return *processor.parameters.getParameter(id);
    }
    void setPlain(const juce::String& id, float value)
    {
        param(id).setValueNotifyingHost(param(id).convertTo0to1(value));
    }
    float plain(const juce::String& id) { return param(id).convertFrom0to1(param(id).getValue()); }
    juce::Component& control(int row) { return editor->getRowControl(row); }
};

// Controls lie apart inside the window, each label touching its own control.
TEST_F(EditorTest, EveryParameterHasItsLabelAndABoundControlOfItsKind)
{
    EXPECT_EQ(editor->getBounds(), juce::Rectangle<int>(0, 0, 1175, 655));
    editor->resized(); // control-style labels are 3 pixels taller until the first re-layout
    const auto allValues = [this] {
        std::vector<float> values;
        for (auto& row : parameterTable) values.push_back(param(row.id).getValue());
        return values;
    };
    for (int row = 0; row < numParameters; ++row)
    {
        SCOPED_TRACE(parameterTable[row].id);
        auto* c = &control(row);
        EXPECT_TRUE(isOfKind(c, rowKinds[row]) && c->isVisible() &&
                    c->getParentComponent() == editor.get());
        EXPECT_TRUE(editor->getLocalBounds().contains(c->getBounds()));
        for (int other = 0; other < row; ++other)
            EXPECT_FALSE(
                c->getBounds().reduced(5).intersects(control(other).getBounds().reduced(5)))
                << other;
        auto& label = editor->getRowLabel(row);
        if (row != 25) // back_del_sh: the toggle has no label of its own
        {
            EXPECT_TRUE(label.isVisible() && editor->getLocalBounds().contains(label.getBounds()));
            EXPECT_EQ(label.getText(), parameterTable[row].name);
            EXPECT_TRUE(label.getBounds().intersects(c->getBounds().expanded(3)));
        }
        else
            EXPECT_TRUE(label.getText().isEmpty()); // though hosts see the parameter's title
        // The control moves its parameter and no other; the parameter moves the control back.
        const auto before = allValues();
        const double shownBefore = reading(*c);
        moveControl(*c);
        const auto after = allValues();
        for (int other = 0; other < numParameters; ++other)
            EXPECT_EQ(after[(size_t)other] != before[(size_t)other], other == row)
                << parameterTable[other].id;
        param(parameterTable[row].id).setValueNotifyingHost(before[(size_t)row]);
        EXPECT_DOUBLE_EQ(reading(*c), shownBefore);
    }
}

// Parameters each output layout has no use for: groups C F S R FH SH by id prefix, a-prefixed
// for the angle alone, dd diffuse de-correlation, back the back channels, all every layout row.
// clang-format off
const char* const unusedByOutput[30] = {
    "F S R FH SH dd lfe back", "C S R FH SH lfe back", "C R FH SH lfe", "R FH SH", "FH SH",
    "C R lfe", "R SH", "SH", "R", "", "C R FH SH lfe", "R FH SH", "FH SH", "C R lfe", "R SH", "SH",
    "R", "", "C R aF aS aFH aSH lfe", "R aF aS aFH aSH lfe", "aF aS aR aFH aSH lfe", "", "all",
    "all", "all", "all", "all", "FH SH", "SH", "",
};
// clang-format on

bool unusedBy(int outputFormat, int row)
{
    const juce::String id = parameterTable[row].id;
    // clang-format off
    const std::map<juce::String, juce::String> prefixes = {
        {"C", "center_"}, {"F", "front_"}, {"S", "surround_"}, {"R", "rear_"}, {"FH", "frontH_"},
        {"SH", "surroundH_"}, {"dd", "diffdecorr"}, {"lfe", "lfe_gain"}, {"back", "back_"}};
    // clang-format on
    for (auto& token : juce::StringArray::fromTokens(unusedByOutput[outputFormat], false))
        if (token == "all"          ? row >= 3 && row <= 29 // rotation .. binaural
            : token.startsWith("a") ? id == prefixes.at(token.substring(1)) + "angle"
                                    : id.startsWith(prefixes.at(token)))
            return true;
    return false;
}

TEST_F(EditorTest, FormatsEnableTheirMenuItemsControlsTitlesAndCaptions)
{
    auto& inBox = dynamic_cast<juce::ComboBox&>(control(0));
    auto& outBox = dynamic_cast<juce::ComboBox&>(control(1));
    // The input menu offers what the host's channels carry, from the start (four) and after the
    // change message of a new count.
    const int inputChannels[7] = {4, 4, 4, 4, 4, 5, 3}; // A-format .. Schoeps Double MS
    EXPECT_TRUE(inBox.isItemEnabled(5) && !inBox.isItemEnabled(6));
    for (int hostChannels = 2; hostChannels <= 5; ++hostChannels)
    {
        processor.numInputChannels = hostChannels;
        editor->changeListenerCallback(&processor);
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(inBox.isItemEnabled(i + 1), inputChannels[i] <= hostChannels) << i;
    }
    setPlain("back_del_sh", 1.0f);
    auto* bassPanel = childWhere<GroupWithBackground>(
        *editor, [](auto& panel) { return panel.getText().endsWith("Bass"); });
    auto* inputOrder = childAt<juce::Label>(*editor, {790, 555, 200, 30});
    auto* outputOrder = childAt<juce::Label>(*editor, {790, 585, 300, 30});
    for (int in = 0; in < 7; ++in)
        for (int out = 0; out < 30; ++out)
        {
            setPlain("formatin", (float)in + 1);
            setPlain("formatout", (float)out + 1);
            ASSERT_EQ(processor.getInputFormat(), in);
            ASSERT_EQ(processor.getOutputFormat(), out);
            editor->changeListenerCallback(&processor);
            juce::String wrong;
            for (int row = 0; row < numParameters; ++row)
            {
                const bool expected = row == 2 ? in == 0 || in == 5 : !unusedBy(out, row);
                if (control(row).isEnabled() != expected ||
                    editor->getRowLabel(row).isEnabled() != expected)
                    wrong << parameterTable[row].id << " ";
            }
            for (int item = 1; item <= 30; ++item)
            {
                const auto name = outBox.getItemText(item - 1);
                const bool aFormatOnly =
                    name == "B-Format FuMa" || name == "B-Format AmbiX" || name == "A-Format";
                if (outBox.isItemEnabled(item) != (in == 0 || !aFormatOnly))
                    wrong << "item " << name << " ";
            }
            EXPECT_TRUE(wrong.isEmpty()) << wrong << "at input " << in << ", output " << out;
            EXPECT_EQ(bassPanel->getText(), in == 5 ? "Omni Microphone Bass" : "W Signal Bass");
            ox_abdec_formatinfo info;
            EXPECT_EQ(inputOrder->getText(), ox_abdec_getformatinfo(&info, in, 0)->channels);
            EXPECT_EQ(outputOrder->getText(), ox_abdec_getformatinfo(&info, out, 1)->channels);
        }
    // The back-channel switch greys out its delay and shelf where the layout has them.
    setPlain("back_del_sh", 0.0f);
    editor->changeListenerCallback(&processor);
    for (int row : {26, 27, 28}) EXPECT_FALSE(control(row).isEnabled());
    EXPECT_TRUE(control(25).isEnabled());
}

TEST_F(EditorTest, PaintsWindowPanelsAndMenusAndNamesTheRangeEnds)
{
    auto* panel = childWhere<GroupWithBackground>(*editor, [](auto&) { return true; });
    EXPECT_TRUE(panel->getBounds().isEmpty()); // the panels take their places from the paint
    const auto image = editor->createComponentSnapshot(editor->getLocalBounds(), true, 1.0f);
    // Flat areas: the window left of the decoding panel and right of the meter panel, the
    // decoding panel beside the rotation knob, the bass panel below its last toggle, the focus,
    // angle and gain grids, the input menu face right of its text, the corners of the meter,
    // channel-order and outputs panels.
    const std::pair<juce::Point<int>, juce::uint32> probes[] = {
        {{10, 300}, 0xff000000},   {{1170, 300}, 0xff000000}, {{30, 150}, 0xff222222},
        {{500, 290}, 0xff222222},  {{380, 335}, 0xff444444},  {{380, 515}, 0xff444444},
        {{1060, 265}, 0xff444444}, {{960, 400}, 0xff5d5d5d},  {{1155, 182}, 0xff222222},
        {{710, 610}, 0xff222222},  {{1070, 350}, 0xff222222}};
    for (auto& [point, argb] : probes)
        EXPECT_EQ(image.getPixelAt(point.x, point.y), juce::Colour(argb)) << point.toString();
    // No control straddles a panel's edge (the panels take their places from the paint).
    for (auto* panel : editor->getChildren())
        if (dynamic_cast<GroupWithBackground*>(panel) != nullptr)
            for (int row = 0; row < numParameters; ++row)
            {
                const auto c = control(row).getBounds(), p = panel->getBounds();
                EXPECT_TRUE(p.contains(c) || !p.intersects(c)) << parameterTable[row].id;
            }
    // The accent colour marks an enabled knob's value; a greyed-out knob shows none of it.
    const juce::Colour accent(0xff63a8ff);
    EXPECT_GT(imagetest::countPixels(image, control(3).getBounds(), accent), 20); // rotation
    EXPECT_EQ(imagetest::countPixels(image, control(26).getBounds(), accent), 0); // back delay

    // The gain and shelf sliders name their range ends, in any case, below the range too; the
    // shelf frequency has no end word.
    auto& gain = dynamic_cast<juce::Slider&>(control(19));
    auto& shelf = dynamic_cast<juce::Slider&>(control(28));
    const auto shown = [](juce::Slider& s) {
        return dynamic_cast<juce::Label*>(s.getChildComponent(0))->getText();
    };
    for (const auto& [gainDb, shelfDb, gainText, shelfText] :
         {std::tuple(-20.0f, 0.0f, "mute", "off"), {-19.9f, -0.1f, "-19.9 dB", "-0.1 dB"}})
    {
        setPlain("front_gain", gainDb);
        setPlain("back_HS_gain", shelfDb);
        EXPECT_EQ(shown(gain), gainText);
        EXPECT_EQ(shown(shelf), shelfText);
    }
    EXPECT_EQ(shown(dynamic_cast<juce::Slider&>(control(27))), "4 kHz");
    EXPECT_EQ(gain.getTextFromValue(-25.0), "mute");
    EXPECT_NE(gain.getValueFromText(" mute"), gain.getMinimum()); // the whole word only
    auto& surround = dynamic_cast<juce::Slider&>(control(20));
    surround.setValue(surround.getValueFromText("MUTE"), juce::sendNotificationSync);
    EXPECT_FLOAT_EQ(plain("surround_gain"), -20.0f);
}

TEST_F(EditorTest, EditsBetweenTwoTicksUndoTogether)
{
    const auto button = [this](const char* text) {
        return childWhere<juce::TextButton>(*editor,
                                            [text](auto& b) { return b.getButtonText() == text; });
    };
    auto *undo = button("Undo"), *redo = button("Redo");
    ASSERT_TRUE(undo != nullptr && redo != nullptr && undo->isVisible());
    EXPECT_FALSE(undo->isEnabled() || redo->isEnabled());
    const auto edit = [this](const char* id, float value) {
        setPlain(id, value);
        processor.parameters.copyState(); // the state tree takes pending values, as its timer would
    };
    const auto angles = [this] { return std::pair(plain("rotation"), plain("elevation")); };
    edit("rotation", 30.0f);
    edit("elevation", 10.0f);
    editor->timerCallback();
    edit("rotation", 60.0f);
    editor->timerCallback();
    EXPECT_TRUE(undo->isEnabled() && !redo->isEnabled());
    editor->buttonClicked(undo);
    EXPECT_EQ(angles(), std::pair(30.0f, 10.0f));
    editor->buttonClicked(undo);
    EXPECT_EQ(angles(), std::pair(0.0f, 0.0f));
    editor->timerCallback();
    EXPECT_TRUE(!undo->isEnabled() && redo->isEnabled());
    editor->buttonClicked(redo);
    EXPECT_EQ(angles(), std::pair(30.0f, 10.0f));
}

// The last editor to go frees the shared look-and-feels (ASan: no leak, no use after free).
TEST_F(EditorTest, EditorsShareTheLookAndFeelsAndLeaveNothingRegistered)
{
    EXPECT_TRUE(processor.isBeamDisplayActive());
    auto second = makeEditor();
    EXPECT_EQ(&second->getLookAndFeel(), &editor->getLookAndFeel());
    EXPECT_NE(dynamic_cast<TARVEKLookAndFeel*>(&editor->getLookAndFeel()), nullptr);
    EXPECT_EQ(juce::SharedResourcePointer<TARVEKMeterLookAndFeel>().getReferenceCount(), 3);
    editor.reset();
    const auto image = second->createComponentSnapshot({1090, 55, 70, 565}, true, 1.0f);
    EXPECT_GT(imagetest::countPixels(image, image.getBounds(), juce::Colour(0xff222222)), 100);
    second.reset();
    EXPECT_FALSE(processor.isBeamDisplayActive());
    processor.sendSynchronousChangeMessage(); // no listener left behind
    EXPECT_EQ(juce::SharedResourcePointer<TARVEKLookAndFeel>().getReferenceCount(), 1);
    EXPECT_EQ(juce::SharedResourcePointer<TARVEKMeterLookAndFeel>().getReferenceCount(), 1);
}
} // namespace
