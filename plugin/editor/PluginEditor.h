#pragma once
#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include "BeamDisplay.h"
#include "GroupWithBackground.h"
#include "LevelMeter.h"
#include "ParameterTable.h"
#include "PluginProcessor.h"
#include "SliderWithEndPoints.h"
#include "TARVEKLookAndFeel.h"
#include "TARVEKMeterLookAndFeel.h"

#include <array>

// Fills a format menu with the decoder's input (isInput) or output formats, items from 1;
// input formats that need more channels than the host gives are disabled.
void fillFormatComboBox(juce::ComboBox& box, bool isInput, int inputChannelCount);
// Enables exactly the input formats that need no more channels than the host gives.
void enableInputFormats(juce::ComboBox& box, int inputChannelCount);

// The plug-in's window: one label and one control per parameter, each bound to its parameter
// by an attachment (the editor never writes a parameter itself), the beam display, the two
// level meters and the channel-order captions, at fixed positions in 1175 x 655 pixels.
class PluginEditor : public juce::AudioProcessorEditor,
                     private juce::Button::Listener,
                     private juce::Timer,
                     public juce::ChangeListener
{
  public:
    PluginEditor(PluginProcessor& processor, juce::AudioProcessorValueTreeState& state);
    ~PluginEditor() override;

    void paint(juce::Graphics& g) override;
    void resized() override;

    // Routes the undo, redo and channel-test buttons.
    void buttonClicked(juce::Button* button) override;
    // The processor changed a format, a back-channel or cross-over switch, or the channel count.
    void changeListenerCallback(juce::ChangeBroadcaster* source) override;
    // Every 500 ms: closes the undo transaction, so one undo step covers one period's edits.
    void timerCallback() override;

    // Enables exactly the controls that the input and output formats (0-based) make use of.
    void updateFormatControls(int inputFormat, int outputFormat);

    // The label and the control of a parameter table row (for layout and enabling by row).
    juce::Label& getRowLabel(int row) noexcept { return *rowLabels[(size_t)row]; }
    juce::Component& getRowControl(int row) noexcept { return *rowControls[(size_t)row]; }

    static constexpr int editorWidth = 1175, editorHeight = 655;

  private:
    PluginProcessor& pluginProcessor;
    juce::AudioProcessorValueTreeState& valueTreeState;

    // One of each per process, shared by every editor; declared before every component so
    // that they outlive the children that draw through them.
    juce::SharedResourcePointer<TARVEKLookAndFeel> sharedLookAndFeel;
    juce::SharedResourcePointer<TARVEKMeterLookAndFeel> sharedMeterLookAndFeel;

    juce::Label formatinLabel, formatoutLabel, micspacingLabel;
    juce::ComboBox formatinBox, formatoutBox, micspacingBox;
    juce::Label rotationLabel, elevationLabel;
    juce::Slider rotationSlider, elevationSlider;
    juce::Label center_focusLabel, front_focusLabel, surround_focusLabel, rear_focusLabel,
        frontH_focusLabel, surroundH_focusLabel;
    juce::Slider center_focusSlider, front_focusSlider, surround_focusSlider, rear_focusSlider,
        frontH_focusSlider, surroundH_focusSlider;
    juce::Label front_angleLabel, surround_angleLabel, rear_angleLabel, frontH_angleLabel,
        surroundH_angleLabel;
    juce::Slider front_angleSlider, surround_angleSlider, rear_angleSlider, frontH_angleSlider,
        surroundH_angleSlider;
    juce::Label diffgainLabel, diffdecorrLabel;
    juce::Slider diffgainSlider, diffdecorrSlider;
    juce::Label center_gainLabel, front_gainLabel, surround_gainLabel, rear_gainLabel,
        frontH_gainLabel, surroundH_gainLabel, lfe_gainLabel;
    SliderWithEndPoints center_gainSlider, front_gainSlider, surround_gainSlider, rear_gainSlider,
        frontH_gainSlider, surroundH_gainSlider, lfe_gainSlider;
    juce::Label back_del_shLabel;
    juce::ToggleButton back_del_shToggle;
    juce::Label back_delayLabel, back_HS_freqLabel, back_HS_gainLabel;
    SliderWithEndPoints back_delaySlider, back_HS_freqSlider, back_HS_gainSlider;
    juce::Label binauralLabel, xover_onLabel;
    juce::ToggleButton binauralToggle, xover_onToggle;
    juce::Label xover_gainLabel, xover_freqLabel;
    juce::Slider xover_gainSlider, xover_freqSlider;
    juce::Label xover_orderLabel;
    juce::ComboBox xover_orderBox;
    juce::Label xover_invLabel;
    juce::ToggleButton xover_invToggle;

    juce::TextButton channelTestButton;
    juce::Label channelTestLabel;
    juce::TextButton undoButton, redoButton;

    std::unique_ptr<GroupWithBackground> decodingGroup, formatsGroup, bassGroup, outputsGroup,
        channelOrderGroup, meterGroup;
    std::unique_ptr<BeamDisplay> beamDisplay;
    std::unique_ptr<juce::Drawable> logo;
    std::unique_ptr<juce::Label> inputCaption, inputChannelOrder, outputCaption, outputChannelOrder;
    juce::Label focusTitle, angleTitle, gainTitle;

    // Label and control of each table row, in table order (set before anything else runs).
    std::array<juce::Label*, numParameters> rowLabels;
    std::array<juce::Component*, numParameters> rowControls;

    using SliderAttachment = juce::AudioProcessorValueTreeState::SliderAttachment;
    using ComboBoxAttachment = juce::AudioProcessorValueTreeState::ComboBoxAttachment;
    using ButtonAttachment = juce::AudioProcessorValueTreeState::ButtonAttachment;
    std::array<std::unique_ptr<SliderAttachment>, numParameters> sliderAttachments;
    std::array<std::unique_ptr<ComboBoxAttachment>, numParameters> comboBoxAttachments;
    std::array<std::unique_ptr<ButtonAttachment>, numParameters> buttonAttachments;

    meters::LevelMeter inputMeter, outputMeter;

    void createPanelsAndDisplay();
    void createChannelOrderLabels();
    void createSectionTitles();
    void styleParameterLabels();
    void fillMenus();
    void setUpSliders();
    void setUpButtons();
    void createAttachments();
    void updateChannelOrderTexts();
    void updateOutputMenu(int inputFormat);
    void setRowEnabled(int row, bool enabled);
    void styleCaptionLabel(juce::Label& label);
    void styleControlLabel(juce::Label& label);
    void styleComboBox(juce::ComboBox& box);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(PluginEditor)
};
