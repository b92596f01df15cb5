// Writes a sheet of meters at chosen levels for each meter look-and-feel into
// reference-pictures/ (PNG), for a person to look at; the other tests probe pixels.
#include "meter_test_util.h"

using meters::LevelMeter;

namespace
{
struct Sheet : juce::Component
{
    void paint(juce::Graphics& g) override { g.fillAll(juce::Colour(0xff303030)); }

    void add(int flags, juce::Rectangle<int> area, std::vector<float> levelsDb)
    {
        auto& source = *sources.emplace_back(
            std::make_unique<meters::LevelMeterSource>(meter_test::stillClock));
        std::vector<float> levels;
        for (const float db : levelsDb) levels.push_back(meter_test::fromDecibels(db));
        meter_test::feed(source, levels);
        auto& meter = *meters.emplace_back(std::make_unique<LevelMeter>(flags));
        meter.setMeterSource(&source);
        meter.setBounds(area);
        addAndMakeVisible(meter);
    }

    std::vector<std::unique_ptr<meters::LevelMeterSource>> sources;
    std::vector<std::unique_ptr<LevelMeter>> meters;
};

void writeSheet(juce::LookAndFeel& laf, const juce::String& name)
{
    // Quiet, moderate, near the thresholds, at and above full scale (the last two clip).
    const std::vector<float> levels{-60.0f, -30.0f, -12.0f, -5.5f, -3.0f, -0.1f, 0.5f};
    std::vector<float> sixteen;
    for (int i = 0; i < 16; ++i) sixteen.push_back(-70.0f + 4.5f * (float)i);

    Sheet sheet;
    sheet.setSize(900, 640);
    sheet.setLookAndFeel(&laf);
    // The editor's input and output meters, then every other layout the look-and-feel has.
    const int compact = LevelMeter::Horizontal | LevelMeter::Compact;
    sheet.add(compact, {10, 10, 420, 100}, {-40.0f, -12.0f, -5.5f, -0.1f, 0.5f});
    sheet.add(compact, {10, 120, 420, 420}, sixteen);
    sheet.add(compact | LevelMeter::LabelOffset8, {10, 550, 420, 80}, {-20.0f, -3.0f});
    sheet.add(LevelMeter::Default, {440, 10, 450, 300}, levels);
    sheet.add(LevelMeter::Horizontal, {440, 320, 450, 120}, {-18.0f, 0.5f});
    sheet.add(LevelMeter::Compact, {440, 450, 200, 180}, levels);
    sheet.add(LevelMeter::Compact | LevelMeter::CompactMaxNumber | LevelMeter::Bordered,
              {650, 450, 150, 180}, {-6.0f, -0.2f, 1.0f});
    sheet.add(LevelMeter::SingleChannel | LevelMeter::Bordered, {810, 450, 80, 180}, {-4.0f});
    sheet.meters.back()->setSelectedChannel(0);

    const auto image = sheet.createComponentSnapshot(sheet.getLocalBounds(), true, 1.0f);
    sheet.setLookAndFeel(nullptr);
    const auto dir = juce::File::getCurrentWorkingDirectory().getChildFile("reference-pictures");
    ASSERT_TRUE(dir.createDirectory());
    const auto file = dir.getChildFile(name + ".png");
    file.deleteFile();
    juce::FileOutputStream out(file);
    juce::PNGImageFormat png;
    ASSERT_TRUE(out.openedOk() && png.writeImageToStream(image, out)) << file.getFullPathName();
}

TEST(MeterPictures, WritesOneSheetPerLookAndFeel)
{
    meters::LevelMeterLookAndFeel base;
    TARVEKMeterLookAndFeel tarvek;
    writeSheet(base, "meters-default");
    writeSheet(tarvek, "meters-tarvek");
}
} // namespace
