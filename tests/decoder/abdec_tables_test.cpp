// The decoder's format tables and the queries on them.
#include "ox_abdec_tables.h"
#include "ox_test_util.h"

#include <climits>
#include <cstddef>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace
{

std::vector<std::string> tokens(const char* text)
{
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Map entry of every channel of a record with its label.
std::multimap<int, std::string> labels(int r)
{
    const ox_abdec_speakerlayout& l = output_formats_layouts[r];
    const auto tok = tokens(output_formats_channels[r]);
    std::multimap<int, std::string> m;
    for (int c = 0; c < l.num_channels; ++c) m.insert({l.channel_map[c], tok[c]});
    return m;
}

} // namespace

// Thirty distinct records behind the output menu (unlisted ones left out), answered from the
// record; any index out of range gets empty answers, never a read past the tables.
TEST(AbdecTables, QueriesAnswerFromTheRecords)
{
    std::set<int> used;
    std::vector<int> indices = {INT_MIN, INT_MAX};
    for (int i = -1; i < OX_ABDEC_NUM_OUTPUT_FORMATS + 4; ++i) indices.push_back(i);
    for (int side : {0, 1})
        for (int i : indices)
        {
            SCOPED_TRACE(testing::Message() << "side " << side << " index " << i);
            const int n = side ? OX_ABDEC_NUM_OUTPUT_FORMATS : OX_ABDEC_NUM_INPUT_FORMATS;
            const bool ok = i >= 0 && i < n;
            const int r = ok && side ? output_formats_menu[i] : 0;
            ox_abdec_formatinfo info{"stale", "stale", 17};
            ASSERT_EQ(ox_abdec_getformatinfo(&info, i, side), &info);
            EXPECT_STREQ(info.name, !ok ? "" : side ? output_formats_names[r] : formatNameIn[i]);
            EXPECT_STREQ(info.channels, !ok    ? ""
                                        : side ? output_formats_channels[r]
                                               : channelOrderIn[i]);
            EXPECT_EQ(info.num_channels, !ok    ? 0
                                         : side ? output_formats_layouts[r].num_channels
                                                : formatNchanIn[i]);
            if (!side) continue;
            EXPECT_EQ(abdec_getformatinfo(i, &info, nullptr), ok ? 0 : -8);
            EXPECT_EQ(ox_abdec_getlayout(i), ok ? &output_formats_layouts[r] : nullptr);
            if (ok) used.insert(r);
        }
    EXPECT_EQ(used.size(), 30u);
    EXPECT_EQ(used.count(11) + used.count(12) + used.count(27) + used.count(28), 0u);
    EXPECT_EQ(ox_abdec_getformatinfo(nullptr, 0, 0), nullptr);
    EXPECT_EQ(abdec_getformatinfo(0, nullptr, nullptr), 0);
    for (int index : {-1, 3, INT_MIN}) EXPECT_STREQ(ox_abdec_getxoverinfo(index), "");
    for (int index : {-1, 21, INT_MAX})
        EXPECT_TRUE(*ox_abdec_getmicspacinginfo(index).label == 0 &&
                    ox_abdec_getmicspacinginfo(index).spacing_mm == 0.0f);
}

TEST(AbdecTables, LayoutRecordsAreConsistent)
{
    for (int r = 0; r < OX_ABDEC_NUM_LAYOUTS; ++r)
    {
        SCOPED_TRACE(output_formats_names[r]);
        const ox_abdec_speakerlayout& l = output_formats_layouts[r];
        const std::string name = output_formats_names[r];
        ASSERT_TRUE(l.num_speakers >= 1 && l.num_speakers <= OX_ABDEC_MAX_SPEAKERS);
        ASSERT_TRUE(l.num_channels >= 1 && l.num_channels <= OX_ABDEC_MAX_SPEAKERS);
        EXPECT_EQ(l.mode, name.find("(") != std::string::npos || r == 4 ? 1 : 0);
        // Directions in range, class flags set, layer flags agreeing with elevation, nothing past.
        for (int s = 0; s < OX_ABDEC_MAX_SPEAKERS; ++s)
        {
            const float az = l.azimuth[s], el = l.elevation[s];
            const int f = l.flags[s];
            EXPECT_TRUE(s < l.num_speakers || (az == 0.0f && el == 0.0f && f == 0)) << s;
            EXPECT_TRUE(s >= l.num_speakers ||
                        (az >= -180.0f && az <= 180.0f && f != 0 && (f & ~0x3FFE) == 0 &&
                         (!(f & OX_SPK_UPPER) || el > 0.0f) && (!(f & OX_SPK_LOWER) || el < 0.0f) &&
                         (!(el > 0.0f && el <= 89.0f && l.mode == 1) || (f & OX_SPK_UPPER))))
                << s;
        }
        // One map entry per speaker (ambisonic maps may be longer than the channels); others < 0.
        const int len = std::max(l.num_speakers, l.num_channels);
        std::vector<int> fed(l.num_speakers, 0);
        for (int c = 0; c < OX_ABDEC_MAX_SPEAKERS; ++c)
        {
            const int m = l.channel_map[c];
            ASSERT_TRUE(c < len ? m >= -2 && m < l.num_speakers : m == 0) << c;
            if (c < len && m >= 0) ++fed[m];
        }
        EXPECT_EQ(fed, std::vector<int>(l.num_speakers, 1));
        // Texts mark LFE and silent entries; 4+4 sends the LFE out of its second unused slot.
        if (name == output_formats_channels[r]) continue;
        const auto tok = tokens(output_formats_channels[r]);
        ASSERT_EQ(int(tok.size()), l.num_channels);
        const bool fourPlusFour = name.rfind("4+4", 0) == 0;
        std::vector<int> unused;
        for (int c = 0; c < l.num_channels; ++c)
        {
            const int m = l.channel_map[c];
            const bool lfe = m == OX_CHMAP_LFE && !fourPlusFour;
            EXPECT_TRUE(m >= 0 ? tok[c] != "x" && tok[c] != "LFE" : tok[c] == (lfe ? "LFE" : "x"))
                << c;
            if (tok[c] == "x") unused.push_back(m);
        }
        EXPECT_TRUE(!fourPlusFour || unused == (std::vector<int>{OX_CHMAP_SILENT, OX_CHMAP_LFE}));
    }
    // The A-format capsules sit at the tetrahedron's elevation asin(1/sqrt 3).
    for (int s = 0; s < 4; ++s)
        EXPECT_NEAR(std::fabs(output_formats_layouts[0].elevation[s]),
                    std::asin(1.0 / std::sqrt(3.0)) * 180.0 / M_PI, 1e-4);
}

// Film and alt orders hold the ITU record's speakers, labels, unused and LFE positions.
TEST(AbdecTables, ChannelOrderVariantsHoldTheSameSpeakers)
{
    std::map<std::string, int> record;
    for (int r = 0; r < OX_ABDEC_NUM_LAYOUTS; ++r) record[output_formats_names[r]] = r;
    int pairs = 0;
    for (const auto& [name, r] : record)
    {
        if (name.find(" (Film)") == std::string::npos && name.find(" alt)") == std::string::npos)
            continue;
        SCOPED_TRACE(name);
        const auto itu = record.find(name.substr(0, name.find(" (")) + " (ITU/SMPTE)");
        ASSERT_NE(itu, record.end());
        // Mode, counts, directions and flags: everything before the channel map.
        EXPECT_EQ(memcmp(&output_formats_layouts[itu->second], &output_formats_layouts[r],
                         offsetof(ox_abdec_speakerlayout, channel_map)),
                  0);
        EXPECT_EQ(labels(itu->second), labels(r));
        ++pairs;
    }
    EXPECT_EQ(pairs, 11);
}

// One token per input channel (but double mid-side); spacings rise, labels start in mm.
TEST(AbdecTables, InputAndSpacingTables)
{
    std::set<int> engineFormats(formatIndexIn, formatIndexIn + OX_ABDEC_NUM_INPUT_FORMATS);
    EXPECT_EQ(engineFormats, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    for (int i = 0; i < OX_ABDEC_NUM_INPUT_FORMATS; ++i)
        EXPECT_TRUE(formatIndexIn[i] == 3 ||
                    int(tokens(channelOrderIn[i]).size()) == formatNchanIn[i]);
    for (int i = 1; i < OX_ABDEC_NUM_MIC_SPACINGS; ++i)
    {
        EXPECT_GT(micSpacingValue[i], micSpacingValue[i - 1]);
        const std::string mm = std::to_string(int(micSpacingValue[i])) + " mm";
        EXPECT_EQ(std::string(micSpacingString[i]).rfind(mm, 0), 0u);
        EXPECT_EQ(ox_abdec_getmicspacinginfo(i).spacing_mm, micSpacingValue[i]);
    }
}
