#include "PluginEditor.h"
#include "QuillfieldLogo.h"

#include "ox_abdec_tables.h"

#include <cstdint>

namespace
{

constexpr uint64_t bit(int row)
{
    return uint64_t{1} << row;
}

// A beam group's focus, angle (none for the centre) and gain.
constexpr uint64_t centerGroup = bit(centerFocusRow) | bit(centerGainRow);
constexpr uint64_t frontGroup = bit(frontFocusRow) | bit(frontAngleRow) | bit(frontGainRow);
constexpr uint64_t surroundGroup =
    bit(surroundFocusRow) | bit(surroundAngleRow) | bit(surroundGainRow);
constexpr uint64_t rearGroup = bit(rearFocusRow) | bit(rearAngleRow) | bit(rearGainRow);
constexpr uint64_t frontHGroup = bit(frontHFocusRow) | bit(frontHAngleRow) | bit(frontHGainRow);
constexpr uint64_t surroundHGroup =
    bit(surroundHFocusRow) | bit(surroundHAngleRow) | bit(surroundHGainRow);
constexpr uint64_t cubeAngles =
    bit(frontAngleRow) | bit(surroundAngleRow) | bit(frontHAngleRow) | bit(surroundHAngleRow);
constexpr uint64_t backRows =
    bit(backDelShRow) | bit(backDelayRow) | bit(backHSFreqRow) | bit(backHSGainRow);
constexpr uint64_t lfe = bit(lfeGainRow);
// Rows whose enabling follows the formats: rotation up to binaural, the cross-over excluded.
constexpr uint64_t layoutRows = ((bit(binauralRow) << 1) - 1) & ~(bit(rotationRow) - 1);

// Rows an output layout has no use for, by output menu index.
// clang-format off
constexpr uint64_t unusedRowsByOutput[OX_ABDEC_NUM_OUTPUT_FORMATS] = {
    frontGroup | surroundGroup | rearGroup | frontHGroup | surroundHGroup
        | bit(diffdecorrRow) | lfe | backRows,                                       // Mono
    centerGroup | surroundGroup | rearGroup | frontHGroup | surroundHGroup | lfe
        | backRows,                                                                  // Stereo
    centerGroup | rearGroup | frontHGroup | surroundHGroup | lfe,                    // Quad
    rearGroup | frontHGroup | surroundHGroup,                                        // 5.1
    frontHGroup | surroundHGroup,                                                    // 7.1
    centerGroup | rearGroup | lfe,                                                   // 4+4
    rearGroup | surroundHGroup,                                                      // 5.1 + 2H
    surroundHGroup,                                                                  // 7.1 + 2H
    rearGroup,                                                                       // 5.1 + 4H
    0,                                                                               // 7.1 + 4H
    centerGroup | rearGroup | frontHGroup | surroundHGroup | lfe,                    // film order
    rearGroup | frontHGroup | surroundHGroup, frontHGroup | surroundHGroup,
    centerGroup | rearGroup | lfe, rearGroup | surroundHGroup, surroundHGroup, rearGroup, 0,
    centerGroup | rearGroup | cubeAngles | lfe,                                      // Cube
    rearGroup | cubeAngles | lfe,                                                    // + Center
    cubeAngles | bit(rearAngleRow) | lfe,                                            // + Side
    0,                                                                               // + Back
    layoutRows, layoutRows, layoutRows, layoutRows, layoutRows,  // ambisonic, B- and A-format
    frontHGroup | surroundHGroup, surroundHGroup, 0,             // 7.1, 7.1 + 2H, + 4H (alt)
};
// clang-format on

// Where resized() puts each row: the control's rectangle and its label's top-left corner.
// A rotary slider's label sits 33 pixels left of and 20 above the slider; x < 0: not placed.
struct Placement
{
    int labelX, labelY, x, y, width, height;
};

constexpr Placement rotary(int x, int y)
{
    return {x - 33, y - 20, x, y, 65, 65};
}
constexpr Placement menu(int lx, int ly, int x, int y)
{
    return {lx, ly, x, y, 200, 24};
}
constexpr Placement toggle(int lx, int ly, int x, int y)
{
    return {lx, ly, x, y, 40, 40};
}

// clang-format off
constexpr Placement placements[numParameters] = {
    menu(720, 395, 820, 395), menu(720, 441, 820, 441), menu(850, 472, 855, 495),
    rotary(105, 100), rotary(240, 100),                  // rotation, elevation
    rotary(85, 187), rotary(185, 187), rotary(285, 187), // focus row 1
    rotary(85, 269), rotary(185, 269), rotary(285, 269), // focus row 2
    rotary(185, 368), rotary(285, 368),                  // angle row 1 (no centre angle)
    rotary(85, 450), rotary(185, 450), rotary(285, 450), // angle row 2
    rotary(105, 542), rotary(240, 542),                  // diffuse gain, de-correlation
    rotary(765, 106), rotary(865, 106), rotary(965, 106), // gain row 1
    rotary(765, 195), rotary(865, 195), rotary(965, 195), // gain row 2
    {700, 15, 760, 3, 145, 50},   // LFE gain: in the free strip above the outputs panel
    toggle(-1, -1, 725, 304),     // back_del_sh: the toggle has no label of its own
    rotary(760, 292), rotary(862, 292), rotary(979, 292), // back delay and shelving
    toggle(755, 487, 725, 487),                           // binaural
    toggle(480, 76, 450, 76),                             // cross-over on
    rotary(465, 122), rotary(570, 122),                   // cross-over gain, frequency
    menu(445, 189, 445, 215), toggle(480, 256, 450, 256), // cross-over order, invert
};
// clang-format on

const juce::Colour textBlack(0xff000000), transparent(0x00000000);

// Fixed texts: black editing colours on a transparent ground, not editable.
void styleFixedLabel(juce::Label& label, const juce::Font& font, juce::Justification justification)
{
    label.setFont(font);
    label.setJustificationType(justification);
    label.setEditable(false, false, false);
    label.setColour(juce::TextEditor::textColourId, textBlack);
    label.setColour(juce::TextEditor::backgroundColourId, transparent);
}
} // namespace

void fillFormatComboBox(juce::ComboBox& box, bool isInput, int inputChannelCount)
{
    const int count = isInput ? OX_ABDEC_NUM_INPUT_FORMATS : OX_ABDEC_NUM_OUTPUT_FORMATS;
    for (int i = 0; i < count; ++i)
    {
        ox_abdec_formatinfo info;
        ox_abdec_getformatinfo(&info, i, isInput ? 0 : 1);
        box.addItem(juce::String::fromUTF8(info.name), i + 1);
    }
    if (isInput) enableInputFormats(box, inputChannelCount);
}

void enableInputFormats(juce::ComboBox& box, int inputChannelCount)
{
    for (int i = 0; i < OX_ABDEC_NUM_INPUT_FORMATS; ++i)
    {
        ox_abdec_formatinfo info;
        ox_abdec_getformatinfo(&info, i, 0);
        box.setItemEnabled(i + 1, info.num_channels <= inputChannelCount);
    }
}

PluginEditor::PluginEditor(PluginProcessor& processor, juce::AudioProcessorValueTreeState& state)
    : juce::AudioProcessorEditor(processor), pluginProcessor(processor), valueTreeState(state),
      rowLabels{
          &formatinLabel,       &formatoutLabel,    &micspacingLabel,      &rotationLabel,
          &elevationLabel,      &center_focusLabel, &front_focusLabel,     &surround_focusLabel,
          &rear_focusLabel,     &frontH_focusLabel, &surroundH_focusLabel, &front_angleLabel,
          &surround_angleLabel, &rear_angleLabel,   &frontH_angleLabel,    &surroundH_angleLabel,
          &diffgainLabel,       &diffdecorrLabel,   &center_gainLabel,     &front_gainLabel,
          &surround_gainLabel,  &rear_gainLabel,    &frontH_gainLabel,     &surroundH_gainLabel,
          &lfe_gainLabel,       &back_del_shLabel,  &back_delayLabel,      &back_HS_freqLabel,
          &back_HS_gainLabel,   &binauralLabel,     &xover_onLabel,        &xover_gainLabel,
          &xover_freqLabel,     &xover_orderLabel,  &xover_invLabel},
      rowControls{&formatinBox,           &formatoutBox,          &micspacingBox,
                  &rotationSlider,        &elevationSlider,       &center_focusSlider,
                  &front_focusSlider,     &surround_focusSlider,  &rear_focusSlider,
                  &frontH_focusSlider,    &surroundH_focusSlider, &front_angleSlider,
                  &surround_angleSlider,  &rear_angleSlider,      &frontH_angleSlider,
                  &surroundH_angleSlider, &diffgainSlider,        &diffdecorrSlider,
                  &center_gainSlider,     &front_gainSlider,      &surround_gainSlider,
                  &rear_gainSlider,       &frontH_gainSlider,     &surroundH_gainSlider,
                  &lfe_gainSlider,        &back_del_shToggle,     &back_delaySlider,
                  &back_HS_freqSlider,    &back_HS_gainSlider,    &binauralToggle,
                  &xover_onToggle,        &xover_gainSlider,      &xover_freqSlider,
                  &xover_orderBox,        &xover_invToggle},
      inputMeter(meters::LevelMeter::Horizontal | meters::LevelMeter::Compact),
      outputMeter(meters::LevelMeter::Horizontal | meters::LevelMeter::Compact)
{
    for (int row = 0; row < numParameters; ++row)
    {
        rowLabels[(size_t)row]->setName(parameterTable[row].id);
        rowLabels[(size_t)row]->setText(parameterTable[row].name, juce::dontSendNotification);
        rowControls[(size_t)row]->setName(parameterTable[row].id);
    }
    back_del_shLabel.setName({}); // the switch explains itself by the controls it greys out
    back_del_shLabel.setText({}, juce::dontSendNotification);
    channelTestLabel.setName("label channel id");
    channelTestLabel.setText(TRANS("Channel Test"), juce::dontSendNotification);
    undoButton.setButtonText(TRANS("Undo"));
    redoButton.setButtonText(TRANS("Redo"));

    setLookAndFeel(&sharedLookAndFeel.getObject());
    inputMeter.setLookAndFeel(&sharedMeterLookAndFeel.getObject());
    outputMeter.setLookAndFeel(&sharedMeterLookAndFeel.getObject());
    for (auto* meter : {&inputMeter, &outputMeter})
    {
        // This style fills the meter's whole rectangle in an opaque colour, so its many repaints
        // need not redraw the editor behind it.
        meter->setOpaque(true);
        addAndMakeVisible(*meter);
    }
    inputMeter.setMeterSource(&pluginProcessor.inputMeterSource);
    outputMeter.setMeterSource(&pluginProcessor.outputMeterSource);

    if (auto svg = juce::XmlDocument::parse(quillfieldLogoSvg))
        logo = juce::Drawable::createFromSVG(*svg);

    setSize(editorWidth, editorHeight);

    createPanelsAndDisplay();
    createChannelOrderLabels();
    createSectionTitles();
    styleParameterLabels();
    fillMenus();
    if (pluginProcessor.isBeamDisplayActive()) pluginProcessor.updateBeamDisplay();
    setUpSliders();
    setUpButtons();
    createAttachments();

    pluginProcessor.undoManager.clearUndoHistory();
    pluginProcessor.addChangeListener(this);
    // A reopened window offers the same output formats as one that saw the input change.
    updateOutputMenu(pluginProcessor.getInputFormat());
    updateFormatControls(pluginProcessor.getInputFormat(), pluginProcessor.getOutputFormat());
    timerCallback();
    startTimer(500);
}

PluginEditor::~PluginEditor()
{
    // The shared look-and-feels outlive this editor: nothing may keep pointing at them.
    for (auto* child : getChildren()) child->setLookAndFeel(nullptr);
    setLookAndFeel(nullptr);
    stopTimer();
    channelTestButton.removeListener(this);
    undoButton.removeListener(this);
    redoButton.removeListener(this);
    pluginProcessor.removeChangeListener(this);
}

void PluginEditor::createPanelsAndDisplay()
{
    auto makePanel = [this](const juce::String& title) {
        auto panel = std::make_unique<GroupWithBackground>("new group", title);
        addAndMakeVisible(*panel);
        return panel;
    };
    decodingGroup = makePanel(TRANS("Decoding"));
    formatsGroup = makePanel(TRANS("Formats"));
    bassGroup = makePanel(TRANS("Omni Microphone Bass"));
    outputsGroup = makePanel(TRANS("Outputs"));
    channelOrderGroup = makePanel(TRANS("Channel ordering"));
    meterGroup = makePanel({});

    beamDisplay = std::make_unique<BeamDisplay>(pluginProcessor);
    addAndMakeVisible(*beamDisplay);
    beamDisplay->setName("BeamDisplay");
    beamDisplay->setBounds(410, 322, 280, 280);
}

void PluginEditor::createChannelOrderLabels()
{
    inputCaption = std::make_unique<juce::Label>("Input", TRANS("Input"));
    inputChannelOrder = std::make_unique<juce::Label>("Input", TRANS("Input"));
    outputCaption = std::make_unique<juce::Label>("Output", TRANS("Output"));
    outputChannelOrder = std::make_unique<juce::Label>("Output", TRANS("Output"));
    for (auto* label : {inputCaption.get(), inputChannelOrder.get(), outputCaption.get(),
                        outputChannelOrder.get()})
    {
        addAndMakeVisible(*label);
        styleFixedLabel(*label, juce::Font(15.0f, juce::Font::plain),
                        juce::Justification::centredLeft);
    }
    inputCaption->setBounds(720, 555, 200, 30);
    inputChannelOrder->setBounds(790, 555, 200, 30);
    outputCaption->setBounds(720, 585, 300, 30);
    outputChannelOrder->setBounds(790, 585, 300, 30);
    channelTestButton.setBounds(970, 560, 17, 17);
    // Wider than the space to the window's edge; the left-justified text stays inside.
    channelTestLabel.setBounds(990, 552, 200, 30);
    updateChannelOrderTexts();
}

void PluginEditor::createSectionTitles()
{
    const std::pair<juce::Label*, juce::String> titles[] = {
        {&focusTitle, TRANS("FOCUS")}, {&angleTitle, TRANS("ANGLE")}, {&gainTitle, TRANS("GAIN")}};
    for (auto& [label, text] : titles)
    {
        addAndMakeVisible(*label);
        label->setText(text, juce::dontSendNotification);
        styleFixedLabel(*label, juce::Font(18.0f, juce::Font::plain).withExtraKerningFactor(0.6f),
                        juce::Justification::centredLeft);
    }
}

void PluginEditor::styleCaptionLabel(juce::Label& label)
{
    addAndMakeVisible(label);
    styleFixedLabel(label, juce::Font(13.0f, juce::Font::plain).withTypefaceStyle("Regular"),
                    juce::Justification::centredLeft);
}

void PluginEditor::styleControlLabel(juce::Label& label)
{
    styleCaptionLabel(label);
    label.setJustificationType(juce::Justification::centred);
    label.setBounds(label.getX(), label.getY(), label.getWidth(), label.getHeight() + 3);
}

void PluginEditor::styleComboBox(juce::ComboBox& box)
{
    addAndMakeVisible(box);
    box.setEditableText(false);
    box.setJustificationType(juce::Justification::centredLeft);
    box.setTextWhenNothingSelected({});
    box.setTextWhenNoChoicesAvailable(TRANS("(no choices)"));
}

void PluginEditor::styleParameterLabels()
{
    for (auto* label : {&formatinLabel, &formatoutLabel, &micspacingLabel, &xover_onLabel})
        styleCaptionLabel(*label);
    styleControlLabel(xover_gainLabel);
    styleControlLabel(xover_freqLabel);
    styleCaptionLabel(xover_orderLabel);
    styleCaptionLabel(xover_invLabel);
    for (int row = rotationRow; row <= lfeGainRow; ++row) styleControlLabel(getRowLabel(row));
    for (int row = backDelayRow; row <= backHSGainRow; ++row) styleControlLabel(getRowLabel(row));
    styleCaptionLabel(binauralLabel);
    styleControlLabel(channelTestLabel);
    channelTestLabel.setJustificationType(juce::Justification::centredLeft);
}

void PluginEditor::fillMenus()
{
    styleComboBox(formatinBox);
    fillFormatComboBox(formatinBox, true, pluginProcessor.numInputChannels.load());
    styleComboBox(formatoutBox);
    fillFormatComboBox(formatoutBox, false, 0);
    styleComboBox(micspacingBox);
    styleComboBox(xover_orderBox);
    for (int i = 0; i < OX_ABDEC_NUM_XOVER_TYPES; ++i)
        xover_orderBox.addItem(juce::String::fromUTF8(ox_abdec_getxoverinfo(i)), i + 1);
    for (int i = 0; i < OX_ABDEC_NUM_MIC_SPACINGS; ++i)
        micspacingBox.addItem(juce::String::fromUTF8(ox_abdec_getmicspacinginfo(i).label), i + 1);
}

void PluginEditor::setUpSliders()
{
    const juce::String mute = TRANS("mute"), off = TRANS("off");
    const juce::String degrees = juce::String::charToString((juce::juce_wchar)0x02da);
    const juce::String percent = " %", decibels = " dB";
    for (int row = 0; row < numParameters; ++row)
    {
        auto* slider = dynamic_cast<juce::Slider*>(rowControls[(size_t)row]);
        if (slider == nullptr) continue;
        addAndMakeVisible(*slider);
        slider->setSliderStyle(juce::Slider::RotaryHorizontalVerticalDrag);
        slider->setTextBoxStyle(juce::Slider::TextBoxBelow, false, 80, 25);
        if (row == rotationRow || row == elevationRow ||
            (row >= frontAngleRow && row <= surroundHAngleRow))
            slider->setTextValueSuffix(degrees);
        else if ((row >= centerFocusRow && row <= surroundHFocusRow) || row == diffdecorrRow)
            slider->setTextValueSuffix(percent);
        else if (row == backDelayRow)
            slider->setTextValueSuffix(" ms");
        else if (row == backHSFreqRow)
            slider->setTextValueSuffix(" kHz");
        else if (row == xoverFreqRow)
            slider->setTextValueSuffix(" Hz");
        else
            slider->setTextValueSuffix(decibels);
    }
    // The LFE gain lies in a strip too low for a text box below the knob.
    lfe_gainSlider.setTextBoxStyle(juce::Slider::TextBoxRight, false, 80, 25);

    for (int row = centerGainRow; row <= lfeGainRow; ++row)
        static_cast<SliderWithEndPoints&>(getRowControl(row)).setMinimumText(mute);
    back_delaySlider.setMinimumText(off);
    back_HS_gainSlider.setMaximumText(off);
}

void PluginEditor::setUpButtons()
{
    for (auto* toggle : {&binauralToggle, &xover_onToggle, &xover_invToggle, &back_del_shToggle})
        addAndMakeVisible(*toggle);
    addAndMakeVisible(channelTestButton);
    channelTestButton.setButtonText(TRANS(""));
    channelTestButton.addListener(this);

    // Undo and redo sit in the free strip above the decoding panel.
    for (auto* button : {&undoButton, &redoButton})
    {
        addAndMakeVisible(*button);
        button->addListener(this);
    }
}

void PluginEditor::createAttachments()
{
    for (int row = 0; row < numParameters; ++row)
    {
        auto* control = rowControls[(size_t)row];
        const auto& id = parameterTable[row].id;
        if (auto* slider = dynamic_cast<juce::Slider*>(control))
            sliderAttachments[(size_t)row] =
                std::make_unique<SliderAttachment>(valueTreeState, id, *slider);
        else if (auto* box = dynamic_cast<juce::ComboBox*>(control))
            comboBoxAttachments[(size_t)row] =
                std::make_unique<ComboBoxAttachment>(valueTreeState, id, *box);
        else if (auto* button = dynamic_cast<juce::Button*>(control))
            buttonAttachments[(size_t)row] =
                std::make_unique<ButtonAttachment>(valueTreeState, id, *button);
    }
}

void PluginEditor::paint(juce::Graphics& g)
{
    g.fillAll(getLookAndFeel().findColour(juce::ResizableWindow::backgroundColourId));

    g.setColour(juce::Colour(0xffffffff));
    g.setFont(meters::pinnedFont(20.0f));
    g.drawFittedText("Quillfield", 400, 25, 300, 40, juce::Justification::centredTop, 1, 0.0f);
    g.setFont(meters::pinnedFont(12.0f));
    g.drawFittedText(juce::String("Quillfield ") + JucePlugin_VersionString +
                         "  -  licensed under GPL-3.0-or-later",
                     230, getHeight() - 30, 600, 30, juce::Justification::centred, 1);

    // The panels take their bounds from here, so frame and fill can never drift apart.
    decodingGroup->setBoundsAndPaintBackground(20, 55, 380, 565, g);
    bassGroup->setBoundsAndPaintBackground(410, 55, 280, 245, g);
    formatsGroup->setBoundsAndPaintBackground(700, 365, 380, 170, g);
    outputsGroup->setBoundsAndPaintBackground(700, 55, 380, 305, g);
    meterGroup->setBoundsAndPaintBackground(1090, 55, 70, 565, g);

    juce::Path grids;
    grids.addRoundedRectangle(35.0f, 170.0f, 355.0f, 170.0f, 4.0f); // focus
    grids.addRoundedRectangle(35.0f, 350.0f, 355.0f, 170.0f, 4.0f); // angle
    grids.addRoundedRectangle(710.0f, 85.0f, 355.0f, 185.0f, 4.0f); // gain
    g.setColour(juce::Colour(0xff444444));
    g.fillPath(grids);

    if (logo != nullptr)
        logo->drawWithin(g,
                         juce::Rectangle<float>((float)(getWidth() - 220), -20.0f, 180.0f, 100.0f),
                         juce::RectanglePlacement::xRight | juce::RectanglePlacement::yMid, 1.0f);

    channelOrderGroup->setBoundsAndPaintBackground(700, 540, 380, 80, g);
}

void PluginEditor::resized()
{
    for (int row = 0; row < numParameters; ++row)
    {
        const auto& p = placements[row];
        getRowControl(row).setBounds(p.x, p.y, p.width, p.height);
        if (p.labelX >= 0) getRowLabel(row).setBounds(p.labelX, p.labelY, 130, 24);
    }
    lfe_gainLabel.setBounds(700, 15, 60, 24);
    undoButton.setBounds(20, 16, 60, 24);
    redoButton.setBounds(86, 16, 60, 24);

    // The section titles read upwards, left of their grids.
    focusTitle.setBounds(-25, 242, 130, 24);
    focusTitle.setTransform(
        juce::AffineTransform::rotation(-juce::MathConstants<float>::halfPi, 40.0f, 242.0f));
    angleTitle.setBounds(-25, 416, 130, 24);
    angleTitle.setTransform(
        juce::AffineTransform::rotation(-juce::MathConstants<float>::halfPi, 40.0f, 416.0f));
    gainTitle.setBounds(660, 151, 130, 24);
    gainTitle.setTransform(
        juce::AffineTransform::rotation(-juce::MathConstants<float>::halfPi, 720.0f, 151.0f));

    inputMeter.setBounds(1100, 75, 50, 100);
    outputMeter.setBounds(1100, 190, 50, 420);
}

void PluginEditor::buttonClicked(juce::Button* button)
{
    if (button == &undoButton)
        pluginProcessor.undoManager.undo();
    else if (button == &redoButton)
        pluginProcessor.undoManager.redo();
    else if (button == &channelTestButton)
        pluginProcessor.requestChannelTest(); // dropped by the processor while no decoder is ready
}

void PluginEditor::timerCallback()
{
    pluginProcessor.undoManager.beginNewTransaction();
    undoButton.setEnabled(pluginProcessor.undoManager.canUndo());
    redoButton.setEnabled(pluginProcessor.undoManager.canRedo());
}

void PluginEditor::updateChannelOrderTexts()
{
    ox_abdec_formatinfo info;
    ox_abdec_getformatinfo(&info, pluginProcessor.getInputFormat(), 0);
    inputChannelOrder->setText(juce::String::fromUTF8(info.channels), juce::dontSendNotification);
    ox_abdec_getformatinfo(&info, pluginProcessor.getOutputFormat(), 1);
    outputChannelOrder->setText(juce::String::fromUTF8(info.channels), juce::dontSendNotification);
}

void PluginEditor::changeListenerCallback(juce::ChangeBroadcaster*)
{
    // Several changes may arrive as one message: read the formats in effect now.
    const int inputFormat = pluginProcessor.getInputFormat();
    const int outputFormat = pluginProcessor.getOutputFormat();
    updateChannelOrderTexts();
    // The host may have given other channels: the input menu offers what they carry.
    enableInputFormats(formatinBox, pluginProcessor.numInputChannels.load());

    updateOutputMenu(inputFormat);
    updateFormatControls(inputFormat, outputFormat);
}

void PluginEditor::updateOutputMenu(int inputFormat)
{
    // Only an A-format input can be passed on as B-format or A-format.
    ox_abdec_formatinfo info;
    ox_abdec_getformatinfo(&info, inputFormat, 0);
    const bool aFormatInput = juce::String::fromUTF8(info.name) == "A-Format";
    for (int i = 0; i < formatoutBox.getNumItems(); ++i)
    {
        const auto text = formatoutBox.getItemText(i);
        if (text == "B-Format FuMa" || text == "B-Format AmbiX" || text == "A-Format")
            formatoutBox.setItemEnabled(i + 1, aFormatInput);
    }
}

void PluginEditor::setRowEnabled(int row, bool enabled)
{
    getRowLabel(row).setEnabled(enabled);
    getRowControl(row).setEnabled(enabled);
}

void PluginEditor::updateFormatControls(int inputFormat, int outputFormat)
{
    uint64_t enabled = layoutRows;
    const bool spacedCapsules = inputFormat == aFormatInput || inputFormat == aDotOneFormatInput;
    if (spacedCapsules) enabled |= bit(micspacingRow);
    // Titles are plain texts here: they name signals, not user-interface words.
    const juce::String bassTitle =
        inputFormat == aDotOneFormatInput ? "Omni Microphone Bass" : "W Signal Bass";
    if (bassGroup->getText() != bassTitle) bassGroup->setText(bassTitle);

    if (outputFormat >= 0 && outputFormat < OX_ABDEC_NUM_OUTPUT_FORMATS)
        enabled &= ~unusedRowsByOutput[outputFormat];
    // The parameter, not the toggle: the toggle may catch up with host automation only after
    // this change message.
    if (valueTreeState.getRawParameterValue(parameterTable[backDelShRow].id)->load() < 0.5f)
        enabled &= ~(bit(backDelayRow) | bit(backHSFreqRow) | bit(backHSGainRow));

    for (int row = micspacingRow; row <= binauralRow; ++row)
        setRowEnabled(row, (enabled & bit(row)) != 0);
}
