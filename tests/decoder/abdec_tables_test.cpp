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

// The menu's queries answer from the layout records: thirty distinct records (the unlisted ones
// left out), names and channel texts from the record, channel counts from its layout.
TEST(AbdecTables, QueriesAnswerFromTheRecords)
{
    std::set<int> used;
    for (int i = 0; i < OX_ABDEC_NUM_OUTPUT_FORMATS; ++i)
    {
        ox_abdec_formatinfo info{nullptr, nullptr, -99};
        EXPECT_EQ(ox_abdec_getformatinfo(&info, i, 1), &info);
        const int record = output_formats_menu[i];
        EXPECT_STREQ(info.name, output_formats_names[record]);
        EXPECT_STREQ(info.channels, output_formats_channels[record]);
        EXPECT_EQ(info.num_channels, output_formats_layouts[record].num_channels);
        EXPECT_EQ(ox_abdec_getlayout(i), &output_formats_layouts[record]);
        used.insert(record);
    }
    EXPECT_EQ(used.size(), 30u);
    EXPECT_EQ(used.count(11) + used.count(12) + used.count(27) + used.count(28), 0u);
    for (int i = 0; i < OX_ABDEC_NUM_INPUT_FORMATS; ++i)
    {
        ox_abdec_formatinfo info{};
        ox_abdec_getformatinfo(&info, i, 0);
        EXPECT_EQ(info.num_channels, formatNchanIn[i]);
        EXPECT_STREQ(info.channels, channelOrderIn[i]);
    }
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

TEST(AbdecTables, LayoutRecordsAreConsistent)
{
    for (int r = 0; r < OX_ABDEC_NUM_LAYOUTS; ++r)
    {
        SCOPED_TRACE(output_formats_names[r]);
        const ox_abdec_speakerlayout& l = output_formats_layouts[r];
        ASSERT_TRUE(l.num_speakers >= 1 && l.num_speakers <= OX_ABDEC_MAX_SPEAKERS);
        ASSERT_TRUE(l.num_channels >= 1 && l.num_channels <= OX_ABDEC_MAX_SPEAKERS);
        const bool loudspeakers =
            std::string(output_formats_names[r]).find("(") != std::string::npos || r == 4;
        EXPECT_EQ(l.mode, loudspeakers ? 1 : 0);
        // Per speaker: a direction in range and at least one class flag; the layer flags agree
        // with the elevation. Nothing past the speakers.
        for (int s = 0; s < OX_ABDEC_MAX_SPEAKERS; ++s)
        {
            const float az = l.azimuth[s], el = l.elevation[s];
            const int f = l.flags[s];
            if (s >= l.num_speakers)
            {
                EXPECT_TRUE(az == 0.0f && el == 0.0f && f == 0) << s;
                continue;
            }
            EXPECT_TRUE(az >= -180.0f && az <= 180.0f && f != 0 && (f & ~0x3FFE) == 0) << s;
            EXPECT_TRUE(!(f & OX_SPK_UPPER) || el > 0.0f) << s;
            EXPECT_TRUE(!(f & OX_SPK_LOWER) || el < 0.0f) << s;
            EXPECT_TRUE(!(el > 0.0f && el <= 89.0f && l.mode == 1) || (f & OX_SPK_UPPER)) << s;
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
            ASSERT_TRUE(m >= -2 && m < l.num_speakers) << c;
            if (m >= 0) ++fed[m];
        }
        EXPECT_EQ(fed, std::vector<int>(l.num_speakers, 1));
        if (!hasChannelText(r)) continue;
        // Channel texts: "LFE" marks the LFE entry, "x" a silent one, except that a 4+4 layout
        // keeps its first unused position silent and sends the LFE out of the second.
        const auto tok = tokens(output_formats_channels[r]);
        ASSERT_EQ(int(tok.size()), l.num_channels);
        const bool fourPlusFour = std::string(output_formats_names[r]).rfind("4+4", 0) == 0;
        std::vector<int> unused;
        for (int c = 0; c < l.num_channels; ++c)
        {
            const int m = l.channel_map[c];
            EXPECT_TRUE(m != OX_CHMAP_SILENT || tok[c] == "x") << c;
            EXPECT_TRUE(tok[c] != "LFE" || m == OX_CHMAP_LFE) << c;
            EXPECT_TRUE(tok[c] != "x" || m < 0) << c;
            EXPECT_TRUE(m != OX_CHMAP_LFE || tok[c] == (fourPlusFour ? "x" : "LFE")) << c;
            if (tok[c] == "x") unused.push_back(m);
        }
        EXPECT_TRUE(!fourPlusFour || unused == (std::vector<int>{OX_CHMAP_SILENT, OX_CHMAP_LFE}));
    }
    // The A-format capsules sit at the tetrahedron's elevation asin(1/sqrt 3).
    const double tetra = std::asin(1.0 / std::sqrt(3.0)) * 180.0 / M_PI;
    for (int s = 0; s < 4; ++s)
        EXPECT_NEAR(std::fabs(output_formats_layouts[0].elevation[s]), tetra, 1e-4);
}

// Every "(Film)" and "(ITU/SMPTE alt)" record holds the speakers of its "(ITU/SMPTE)" record, each
// speaker with the same channel label, and as many unused and LFE positions.
TEST(AbdecTables, ChannelOrderVariantsHoldTheSameSpeakers)
{
    auto base_of = [](const std::string& n, const std::string& suffix) {
        const size_t k = n.size() - suffix.size();
        return n.size() > suffix.size() && n.compare(k, suffix.size(), suffix) == 0 ? n.substr(0, k)
                                                                                    : std::string();
    };
    std::map<std::string, int> itu;
    for (int r = 0; r < OX_ABDEC_NUM_LAYOUTS; ++r)
    {
        const std::string base = base_of(output_formats_names[r], " (ITU/SMPTE)");
        if (!base.empty()) itu[base] = r;
    }
    ASSERT_EQ(itu.size(), 8u);
    int pairs = 0;
    for (int r = 0; r < OX_ABDEC_NUM_LAYOUTS; ++r)
    {
        const std::string n = output_formats_names[r];
        const std::string base = base_of(n, " (Film)") + base_of(n, " (ITU/SMPTE alt)");
        if (base.empty()) continue;
        SCOPED_TRACE(n);
        ASSERT_EQ(itu.count(base), 1u);
        const ox_abdec_speakerlayout &a = output_formats_layouts[itu[base]],
                                     &b = output_formats_layouts[r];
        ASSERT_TRUE(a.mode == b.mode && a.num_speakers == b.num_speakers &&
                    a.num_channels == b.num_channels);
        const int ns = a.num_speakers;
        EXPECT_EQ(std::vector<float>(a.azimuth, a.azimuth + ns),
                  std::vector<float>(b.azimuth, b.azimuth + ns));
        EXPECT_EQ(std::vector<float>(a.elevation, a.elevation + ns),
                  std::vector<float>(b.elevation, b.elevation + ns));
        EXPECT_EQ(std::vector<int>(a.flags, a.flags + ns), std::vector<int>(b.flags, b.flags + ns));
        const auto ta = tokens(output_formats_channels[itu[base]]);
        const auto tb = tokens(output_formats_channels[r]);
        std::map<int, std::string> la, lb;
        std::multiset<int> ua, ub;
        for (int c = 0; c < a.num_channels; ++c)
        {
            const int ma = a.channel_map[c], mb = b.channel_map[c];
            ma >= 0 ? (void)(la[ma] = ta[c]) : (void)ua.insert(ma);
            mb >= 0 ? (void)(lb[mb] = tb[c]) : (void)ub.insert(mb);
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
    // Every format but the double mid-side array lists one token per channel.
    for (int i = 0; i < OX_ABDEC_NUM_INPUT_FORMATS; ++i)
        EXPECT_TRUE(formatIndexIn[i] == 3 ||
                    int(tokens(channelOrderIn[i]).size()) == formatNchanIn[i]);
    // Spacings rise, and each label starts with its own value in whole millimetres.
    for (int i = 1; i < OX_ABDEC_NUM_MIC_SPACINGS; ++i)
    {
        EXPECT_GT(micSpacingValue[i], micSpacingValue[i - 1]);
        const int mm = int(micSpacingValue[i]);
        EXPECT_EQ(std::string(micSpacingString[i]).rfind(std::to_string(mm) + " mm", 0), 0u);
        EXPECT_EQ(ox_abdec_getmicspacinginfo(i).spacing_mm, micSpacingValue[i]);
    }
}
