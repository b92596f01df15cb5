#include "ox_abdec_tables.h"

#include <gtest/gtest.h>
#include <climits>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{

std::vector<std::string> tokens(const char* text)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string t; in >> t;) out.push_back(t);
    return out;
}

// Map entries that are meaningful: the channels, or every speaker in the
// ambisonic records whose map is longer than their channel count.
int mapLength(const ox_abdec_speakerlayout& l)
{
    return l.num_speakers > l.num_channels ? l.num_speakers : l.num_channels;
}

// Records whose channel-order text is just their name (they are in no menu).
bool hasChannelText(int record)
{
    return std::string(output_formats_channels[record]) != output_formats_names[record];
}

} // namespace

TEST(AbdecTables, QueriesAnswerTheDocumentedEntries)
{
    ox_abdec_formatinfo info{nullptr, nullptr, -99};
    EXPECT_EQ(ox_abdec_getformatinfo(&info, 4, 1), &info);
    EXPECT_STREQ(info.name, "7.1 (ITU/SMPTE)");
    EXPECT_STREQ(info.channels, "L R C LFE Lss Rss Lsr Rsr");
    EXPECT_EQ(info.num_channels, 8); // filled from the layout, not left as it was
    ox_abdec_getformatinfo(&info, 26, 1);
    EXPECT_STREQ(info.name, "A-Format");
    EXPECT_STREQ(info.channels, "FL FR BL BR");
    EXPECT_EQ(info.num_channels, 4);
    ox_abdec_getformatinfo(&info, 29, 1);
    EXPECT_STREQ(info.name, "7.1 + 4H (ITU/SMPTE alt)");
    EXPECT_EQ(info.num_channels, 12);

    ox_abdec_getformatinfo(&info, 6, 0);
    EXPECT_STREQ(info.name, "Schoeps Double MS");
    EXPECT_STREQ(info.channels, "MF S MR Z");
    EXPECT_EQ(info.num_channels, 3);
    EXPECT_EQ(formatIndexIn[6], 3);
    EXPECT_EQ(ox_abdec_getformatinfo(&info, 5, 0)->num_channels, 5);

    EXPECT_STREQ(ox_abdec_getmicspacinginfo(14).label, "24 mm (NT-SF1)");
    EXPECT_EQ(ox_abdec_getmicspacinginfo(14).spacing_mm, 24.0f);
    EXPECT_STREQ(ox_abdec_getmicspacinginfo(0).label, "Coincident");
    EXPECT_EQ(ox_abdec_getmicspacinginfo(0).spacing_mm, 0.0f);
    EXPECT_STREQ(ox_abdec_getxoverinfo(0), "Linkwitz-Riley 2nd");
    EXPECT_STREQ(ox_abdec_getxoverinfo(2), "Linkwitz-Riley 4th");

    EXPECT_EQ(output_formats_layouts[29].num_speakers, 12);
    EXPECT_EQ(output_formats_layouts[29].num_channels, 9);
    EXPECT_EQ(output_formats_layouts[30].num_speakers, 20);
    EXPECT_EQ(output_formats_layouts[30].num_channels, 16);
    EXPECT_EQ(ox_abdec_getlayout(22), &output_formats_layouts[29]);
}

TEST(AbdecTables, IndicesOutOfRangeGiveEmptyAnswers)
{
    const auto expectEmpty = [](int index, int side) {
        ox_abdec_formatinfo info{"stale", "stale", 17};
        ox_abdec_getformatinfo(&info, index, side);
        EXPECT_STREQ(info.name, "") << index << " side " << side;
        EXPECT_STREQ(info.channels, "") << index << " side " << side;
        EXPECT_EQ(info.num_channels, 0) << index << " side " << side;
    };
    for (int index : {-1, 7, 30, INT_MIN, INT_MAX}) expectEmpty(index, 0);
    for (int index : {-1, 30, 34, INT_MIN, INT_MAX})
    {
        expectEmpty(index, 1);
        const char* ch = "stale";
        ox_abdec_formatinfo info{"stale", "stale", 0};
        EXPECT_EQ(abdec_getformatinfo(index, &info, &ch), -8);
        EXPECT_STREQ(ch, "");
        EXPECT_EQ(ox_abdec_getlayout(index), nullptr);
    }
    EXPECT_EQ(ox_abdec_getformatinfo(nullptr, 0, 0), nullptr);
    EXPECT_EQ(abdec_getformatinfo(0, nullptr, nullptr), 0);
    for (int index : {-1, 3, INT_MIN}) EXPECT_STREQ(ox_abdec_getxoverinfo(index), "");
    for (int index : {-1, 21, INT_MAX})
    {
        EXPECT_STREQ(ox_abdec_getmicspacinginfo(index).label, "");
        EXPECT_EQ(ox_abdec_getmicspacinginfo(index).spacing_mm, 0.0f);
    }
}

TEST(AbdecTables, OutputMenuListsTheFormatsInOrder)
{
    const char* expected[OX_ABDEC_NUM_OUTPUT_FORMATS] = {"Mono",
                                                         "Stereo",
                                                         "Quad (ITU/SMPTE)",
                                                         "5.1 (ITU/SMPTE)",
                                                         "7.1 (ITU/SMPTE)",
                                                         "4+4 (ITU/SMPTE)",
                                                         "5.1 + 2H (ITU/SMPTE)",
                                                         "7.1 + 2H (ITU/SMPTE)",
                                                         "5.1 + 4H (ITU/SMPTE)",
                                                         "7.1 + 4H (ITU/SMPTE)",
                                                         "Quad (Film)",
                                                         "5.1 (Film)",
                                                         "7.1 (Film)",
                                                         "4+4 (Film)",
                                                         "5.1 + 2H (Film)",
                                                         "7.1 + 2H (Film)",
                                                         "5.1 + 4H (Film)",
                                                         "7.1 + 4H (Film)",
                                                         "Cube",
                                                         "Cube + Center",
                                                         "Cube + Center + Side",
                                                         "Cube + Center + Side + Back",
                                                         "2nd Ambisonics",
                                                         "3rd Ambisonics",
                                                         "B-Format FuMa",
                                                         "B-Format AmbiX",
                                                         "A-Format",
                                                         "7.1 (ITU/SMPTE alt)",
                                                         "7.1 + 2H (ITU/SMPTE alt)",
                                                         "7.1 + 4H (ITU/SMPTE alt)"};
    std::set<int> used;
    for (int i = 0; i < OX_ABDEC_NUM_OUTPUT_FORMATS; ++i)
    {
        ox_abdec_formatinfo info{};
        ox_abdec_getformatinfo(&info, i, 1);
        EXPECT_STREQ(info.name, expected[i]) << i;
        const int record = output_formats_menu[i];
        EXPECT_STREQ(info.channels, output_formats_channels[record]);
        EXPECT_EQ(info.num_channels, output_formats_layouts[record].num_channels);
        used.insert(record);
    }
    EXPECT_EQ(used.size(), 30u);
    EXPECT_EQ(used.count(11) + used.count(12) + used.count(27) + used.count(28), 0u);
}

TEST(AbdecTables, LayoutRecordsAreConsistent)
{
    for (int r = 0; r < OX_ABDEC_NUM_LAYOUTS; ++r)
    {
        SCOPED_TRACE(output_formats_names[r]);
        const ox_abdec_speakerlayout& l = output_formats_layouts[r];
        ASSERT_GE(l.num_speakers, 1);
        ASSERT_LE(l.num_speakers, OX_ABDEC_MAX_SPEAKERS);
        ASSERT_GE(l.num_channels, 1);
        ASSERT_LE(l.num_channels, OX_ABDEC_MAX_SPEAKERS);
        const bool loudspeakers =
            std::string(output_formats_names[r]).find("(") != std::string::npos || r == 4;
        EXPECT_EQ(l.mode, loudspeakers ? 1 : 0);

        // Per speaker: a direction in range and at least one class flag; the
        // layer flags agree with the elevation. Nothing past the speakers.
        for (int s = 0; s < OX_ABDEC_MAX_SPEAKERS; ++s)
        {
            if (s >= l.num_speakers)
            {
                EXPECT_EQ(l.azimuth[s], 0.0f);
                EXPECT_EQ(l.elevation[s], 0.0f);
                EXPECT_EQ(l.flags[s], 0);
                continue;
            }
            EXPECT_GE(l.azimuth[s], -180.0f);
            EXPECT_LE(l.azimuth[s], 180.0f);
            EXPECT_NE(l.flags[s], 0);
            EXPECT_EQ(l.flags[s] & ~0x3FFE, 0);
            if (l.flags[s] & OX_SPK_UPPER)
            {
                EXPECT_GT(l.elevation[s], 0.0f) << s;
            }
            if (l.flags[s] & OX_SPK_LOWER)
            {
                EXPECT_LT(l.elevation[s], 0.0f) << s;
            }
            if (l.elevation[s] > 0.0f && l.elevation[s] <= 89.0f && l.mode == 1)
            {
                EXPECT_TRUE(l.flags[s] & OX_SPK_UPPER) << s;
            }
        }

        // Every speaker is fed by exactly one map entry; other entries are LFE or silent.
        std::vector<int> fed(l.num_speakers, 0);
        for (int c = 0; c < OX_ABDEC_MAX_SPEAKERS; ++c)
        {
            const int m = l.channel_map[c];
            if (c >= mapLength(l))
            {
                EXPECT_EQ(m, 0) << c;
                continue;
            }
            ASSERT_GE(m, -2) << c;
            ASSERT_LT(m, l.num_speakers) << c;
            if (m >= 0) ++fed[m];
        }
        for (int s = 0; s < l.num_speakers; ++s) EXPECT_EQ(fed[s], 1) << "speaker " << s;

        if (!hasChannelText(r)) continue;
        const auto tok = tokens(output_formats_channels[r]);
        ASSERT_EQ(int(tok.size()), l.num_channels);
        const bool fourPlusFour = std::string(output_formats_names[r]).rfind("4+4", 0) == 0;
        for (int c = 0; c < l.num_channels; ++c)
        {
            const int m = l.channel_map[c];
            if (m == OX_CHMAP_SILENT)
            {
                EXPECT_EQ(tok[c], "x") << c;
            }
            if (tok[c] == "LFE")
            {
                EXPECT_EQ(m, OX_CHMAP_LFE) << c;
            }
            if (tok[c] == "x")
            {
                EXPECT_LT(m, 0) << c;
            }
            if (m == OX_CHMAP_LFE)
            {
                EXPECT_EQ(tok[c], fourPlusFour ? "x" : "LFE") << c;
            }
        }
        if (fourPlusFour)
        {
            // The first unused position stays silent, the second carries the LFE.
            std::vector<int> unused;
            for (int c = 0; c < l.num_channels; ++c)
                if (tok[c] == "x") unused.push_back(l.channel_map[c]);
            EXPECT_EQ(unused, (std::vector<int>{OX_CHMAP_SILENT, OX_CHMAP_LFE}));
        }
    }
    // The A-format capsules sit at the tetrahedron's elevation asin(1/sqrt 3).
    const double tetra = std::asin(1.0 / std::sqrt(3.0)) * 180.0 / M_PI;
    for (int s = 0; s < 4; ++s)
    {
        EXPECT_NEAR(std::fabs(output_formats_layouts[0].elevation[s]), tetra, 1e-4);
    }
}

TEST(AbdecTables, ChannelOrderVariantsHoldTheSameSpeakers)
{
    // Pair every "(Film)" and "(ITU/SMPTE alt)" record with its "(ITU/SMPTE)" record.
    std::map<std::string, int> itu;
    const std::string tag = " (ITU/SMPTE)";
    for (int r = 0; r < OX_ABDEC_NUM_LAYOUTS; ++r)
    {
        const std::string n = output_formats_names[r];
        if (n.size() > tag.size() && n.compare(n.size() - tag.size(), tag.size(), tag) == 0)
            itu[n.substr(0, n.size() - tag.size())] = r;
    }
    ASSERT_EQ(itu.size(), 8u);
    int pairs = 0;
    for (int r = 0; r < OX_ABDEC_NUM_LAYOUTS; ++r)
    {
        const std::string n = output_formats_names[r];
        std::string base;
        for (const char* suffix : {" (Film)", " (ITU/SMPTE alt)"})
        {
            const std::string s = suffix;
            if (n.size() > s.size() && n.compare(n.size() - s.size(), s.size(), s) == 0)
                base = n.substr(0, n.size() - s.size());
        }
        if (base.empty()) continue;
        SCOPED_TRACE(n);
        ASSERT_EQ(itu.count(base), 1u);
        const ox_abdec_speakerlayout& a = output_formats_layouts[itu[base]];
        const ox_abdec_speakerlayout& b = output_formats_layouts[r];
        ASSERT_EQ(a.mode, b.mode);
        ASSERT_EQ(a.num_speakers, b.num_speakers);
        ASSERT_EQ(a.num_channels, b.num_channels);
        for (int s = 0; s < a.num_speakers; ++s)
        {
            EXPECT_EQ(a.azimuth[s], b.azimuth[s]);
            EXPECT_EQ(a.elevation[s], b.elevation[s]);
            EXPECT_EQ(a.flags[s], b.flags[s]);
        }
        // Each speaker carries the same channel label in both orders, and the
        // unused and LFE positions are the same in number.
        const auto ta = tokens(output_formats_channels[itu[base]]);
        const auto tb = tokens(output_formats_channels[r]);
        std::map<int, std::string> la, lb;
        std::multiset<int> ua, ub;
        for (int c = 0; c < a.num_channels; ++c)
        {
            if (a.channel_map[c] >= 0) la[a.channel_map[c]] = ta[c];
            if (b.channel_map[c] >= 0) lb[b.channel_map[c]] = tb[c];
            if (a.channel_map[c] < 0) ua.insert(a.channel_map[c]);
            if (b.channel_map[c] < 0) ub.insert(b.channel_map[c]);
        }
        EXPECT_EQ(la, lb);
        EXPECT_EQ(ua, ub);
        ++pairs;
    }
    EXPECT_EQ(pairs, 11);
}

TEST(AbdecTables, InputAndSpacingTables)
{
    std::set<int> engineFormats(formatIndexIn, formatIndexIn + OX_ABDEC_NUM_INPUT_FORMATS);
    EXPECT_EQ(engineFormats, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    for (int i = 0; i < OX_ABDEC_NUM_INPUT_FORMATS; ++i)
    {
        // Every format but the double mid-side array lists one token per channel.
        if (formatIndexIn[i] != 3)
        {
            EXPECT_EQ(int(tokens(channelOrderIn[i]).size()), formatNchanIn[i]) << i;
        }
    }
    for (int i = 1; i < OX_ABDEC_NUM_MIC_SPACINGS; ++i)
    {
        EXPECT_GT(micSpacingValue[i], micSpacingValue[i - 1]);
        const int mm = int(micSpacingValue[i]);
        EXPECT_EQ(std::string(micSpacingString[i]).rfind(std::to_string(mm) + " mm", 0), 0u);
    }
    EXPECT_EQ(micSpacingValue[1], 10.0f);
    EXPECT_EQ(micSpacingValue[2], 12.0f); // no 11 mm choice
    EXPECT_EQ(micSpacingValue[20], 30.0f);
    EXPECT_STREQ(micSpacingString[4], "14 mm (Ambeo)");
    EXPECT_STREQ(micSpacingString[11], "21 mm (SPS 200)");
    EXPECT_STREQ(micSpacingString[1], "10 mm");
}
