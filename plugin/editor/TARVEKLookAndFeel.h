#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The editor's dark, flat style: dark grey controls, white text and one blue accent for
    values, selections and switched-on states.

    Colours that a drawing method picks itself (rather than through a colour id) are drawn at
    alpha 0x80 when the component, or one of its parents, is disabled.

    One instance is shared by every editor of the process: hold it through
    juce::SharedResourcePointer, never in a function-local static (that would be destroyed
    after the framework when the plug-in library unloads), and set every component's
    look-and-feel back to null before the component goes.
*/
class TARVEKLookAndFeel : public juce::LookAndFeel_V2
{
  public:
    /** The text box of every slider: a label that ignores the mouse wheel, so that the wheel
        over a slider's value neither edits it nor scrolls the editor. */
    class SliderLabelComp : public juce::Label
    {
      public:
        SliderLabelComp();
        void mouseWheelMove(const juce::MouseEvent&, const juce::MouseWheelDetails&) override {}
    };

    /** Everything this style draws in: the accent and the fixed greys. */
    enum FixedColours : juce::uint32
    {
        accent = 0xff63a8ff,
        knob = 0xff555555,
        ring = 0xffaaaaaa,
        offState = 0xff888888,
        arcTrack = 0xff777777,
        darkPanel = 0xff222222,
        shadowLine = 0xff444444,
        textBoxOutline = 0xff333333
    };

    TARVEKLookAndFeel();
    ~TARVEKLookAndFeel() override;

    juce::Font getLabelFont(juce::Label&) override;
    juce::Font getComboBoxFont(juce::ComboBox&) override;
    juce::Font getPopupMenuFont() override;
    juce::Font getTextButtonFont(juce::TextButton&, int buttonHeight) override;

    void drawScrollbar(juce::Graphics&, juce::ScrollBar&, int x, int y, int width, int height,
                       bool isScrollbarVertical, int thumbStartPosition, int thumbSize,
                       bool isMouseOver, bool isMouseDown) override;

    void drawButtonBackground(juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                              bool shouldDrawButtonAsHighlighted,
                              bool shouldDrawButtonAsDown) override;
    void drawToggleButton(juce::Graphics&, juce::ToggleButton&, bool shouldDrawButtonAsHighlighted,
                          bool shouldDrawButtonAsDown) override;
    void drawTickBox(juce::Graphics&, juce::Component&, float x, float y, float w, float h,
                     bool ticked, bool isEnabled, bool shouldDrawButtonAsHighlighted,
                     bool shouldDrawButtonAsDown) override;

    void drawAlertBox(juce::Graphics&, juce::AlertWindow&, const juce::Rectangle<int>& textArea,
                      juce::TextLayout&) override;
    void drawProgressBar(juce::Graphics&, juce::ProgressBar&, int width, int height,
                         double progress, const juce::String& textToShow) override;
    void drawTextEditorOutline(juce::Graphics&, int width, int height, juce::TextEditor&) override;

    void drawPopupMenuBackground(juce::Graphics&, int width, int height) override;
    void drawPopupMenuItem(juce::Graphics&, const juce::Rectangle<int>& area, bool isSeparator,
                           bool isActive, bool isHighlighted, bool isTicked, bool hasSubMenu,
                           const juce::String& text, const juce::String& shortcutKeyText,
                           const juce::Drawable* icon, const juce::Colour* textColour) override;
    void drawMenuBarBackground(juce::Graphics&, int width, int height, bool isMouseOverBar,
                               juce::MenuBarComponent&) override;

    void drawComboBox(juce::Graphics&, int width, int height, bool isMouseButtonDown, int buttonX,
                      int buttonY, int buttonW, int buttonH, juce::ComboBox&) override;
    void drawLabel(juce::Graphics&, juce::Label&) override;

    void drawLinearSliderBackground(juce::Graphics&, int x, int y, int width, int height,
                                    float sliderPos, float minSliderPos, float maxSliderPos,
                                    const juce::Slider::SliderStyle, juce::Slider&) override;
    void drawLinearSliderThumb(juce::Graphics&, int x, int y, int width, int height,
                               float sliderPos, float minSliderPos, float maxSliderPos,
                               const juce::Slider::SliderStyle, juce::Slider&) override;
    void drawRotarySlider(juce::Graphics&, int x, int y, int width, int height,
                          float sliderPosProportional, float rotaryStartAngle, float rotaryEndAngle,
                          juce::Slider&) override;
    juce::Label* createSliderTextBox(juce::Slider&) override;
    juce::Slider::SliderLayout getSliderLayout(juce::Slider&) override;

    void drawDocumentWindowTitleBar(juce::DocumentWindow&, juce::Graphics&, int w, int h,
                                    int titleSpaceX, int titleSpaceW, const juce::Image* icon,
                                    bool drawTitleTextOnLeft) override;
    void drawGroupComponentOutline(juce::Graphics&, int width, int height, const juce::String& text,
                                   const juce::Justification&, juce::GroupComponent&) override;
    void drawTabAreaBehindFrontButton(juce::TabbedButtonBar&, juce::Graphics&, int w,
                                      int h) override;
    void fillTabButtonShape(juce::TabBarButton&, juce::Graphics&, const juce::Path&,
                            bool isMouseOver, bool isMouseDown) override;

    /** A rounded lozenge filled with shades of the base colour, outlined at 1.5 pixels. */
    virtual void drawShadedLozenge(juce::Graphics&, float x, float y, float w, float h,
                                   juce::Colour baseColour, float cornerSize, bool flatOnLeft,
                                   bool flatOnRight, bool flatOnTop, bool flatOnBottom);
    /** A disc shaded from the base colour towards black, with a thin outline. */
    virtual void drawShadedSphere(juce::Graphics&, float x, float y, float diameter,
                                  juce::Colour baseColour, float outlineThickness);
    /** A pointer in a square of the given diameter, pointing up for direction 0 and turned
        by a quarter turn clockwise per step of direction; shaded like the sphere. */
    virtual void drawShadedPointer(juce::Graphics&, float x, float y, float diameter,
                                   juce::Colour baseColour, float outlineThickness, int direction);
    /** A flat panel: a faint vertical gradient of the base colour over a rectangle whose
        corners are rounded only where neither side is flat, with a shadow line at the bottom. */
    virtual void drawShadedRectangle(juce::Graphics&, float x, float y, float w, float h,
                                     float maxCornerSize, juce::Colour baseColour,
                                     float strokeWidth, bool flatOnLeft, bool flatOnRight,
                                     bool flatOnTop, bool flatOnBottom);

  private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(TARVEKLookAndFeel)
};
