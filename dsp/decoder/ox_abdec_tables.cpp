// Constant format and layout tables and their queries.
#include "ox_abdec_tables.h"

#include <stddef.h>

// The tables are data of the library's C interface; names and contents are
// shared with the plug-in, which fills its menus and parameter texts from them.

const char* const formatNameIn[OX_ABDEC_NUM_INPUT_FORMATS] = {
    "A-Format",        "B-Format FuMa", "B-Format AmbiX",   "Schoeps Triple MS",
    "Dolby Triple MS", "A.1-Format",    "Schoeps Double MS"};
const char* const channelOrderIn[OX_ABDEC_NUM_INPUT_FORMATS] = {
    "LF RF LB RB", "W X Y Z", "W Y Z X", "MF S MR Z", "MF S MR Z", "LF RF LB RB Omni", "MF S MR Z"};
const int32_t formatNchanIn[OX_ABDEC_NUM_INPUT_FORMATS] = {4, 4, 4, 4, 4, 5, 3};
const int32_t formatIndexIn[OX_ABDEC_NUM_INPUT_FORMATS] = {0, 1, 2, 4, 5, 6, 3};

const char* const xoverOrder[OX_ABDEC_NUM_XOVER_TYPES] = {"Linkwitz-Riley 2nd", "Butterworth 3rd",
                                                          "Linkwitz-Riley 4th"};

const char* const micSpacingString[OX_ABDEC_NUM_MIC_SPACINGS] = {
    "Coincident",     "10 mm", "12 mm", "13 mm", "14 mm (Ambeo)",   "15 mm", "16 mm",
    "17 mm",          "18 mm", "19 mm", "20 mm", "21 mm (SPS 200)", "22 mm", "23 mm",
    "24 mm (NT-SF1)", "25 mm", "26 mm", "27 mm", "28 mm",           "29 mm", "30 mm"};
const float micSpacingValue[OX_ABDEC_NUM_MIC_SPACINGS] = {
    0.0f,  10.0f, 12.0f, 13.0f, 14.0f, 15.0f, 16.0f, 17.0f, 18.0f, 19.0f, 20.0f,
    21.0f, 22.0f, 23.0f, 24.0f, 25.0f, 26.0f, 27.0f, 28.0f, 29.0f, 30.0f};

const char* const output_formats_names[OX_ABDEC_NUM_LAYOUTS] = {
    "A-Format",                    // 0
    "B-Format FuMa",               // 1
    "B-Format AmbiX",              // 2
    "Mono",                        // 3
    "Stereo",                      // 4
    "Quad (ITU/SMPTE)",            // 5
    "Quad (Film)",                 // 6
    "5.1 (ITU/SMPTE)",             // 7
    "5.1 (Film)",                  // 8
    "7.1 (ITU/SMPTE)",             // 9
    "7.1 (Film)",                  // 10
    "8.0",                         // 11
    "12.0",                        // 12
    "4+4 (ITU/SMPTE)",             // 13
    "4+4 (Film)",                  // 14
    "5.1 + 2H (ITU/SMPTE)",        // 15
    "5.1 + 2H (Film)",             // 16
    "7.1 + 2H (ITU/SMPTE)",        // 17
    "7.1 + 2H (Film)",             // 18
    "5.1 + 4H (ITU/SMPTE)",        // 19
    "5.1 + 4H (Film)",             // 20
    "7.1 + 4H (ITU/SMPTE)",        // 21
    "7.1 + 4H (Film)",             // 22
    "Cube",                        // 23
    "Cube + Center",               // 24
    "Cube + Center + Side",        // 25
    "Cube + Center + Side + Back", // 26
    "Icosahedron",                 // 27
    "Dodecahedron",                // 28
    "2nd Ambisonics",              // 29
    "3rd Ambisonics",              // 30
    "7.1 (ITU/SMPTE alt)",         // 31
    "7.1 + 2H (ITU/SMPTE alt)",    // 32
    "7.1 + 4H (ITU/SMPTE alt)",    // 33
};

const char* const output_formats_channels[OX_ABDEC_NUM_LAYOUTS] = {
    "FL FR BL BR",                                // 0
    "W X Y Z",                                    // 1
    "W Y Z X",                                    // 2
    "M",                                          // 3
    "L R",                                        // 4
    "L R x x Ls Rs",                              // 5
    "L x R Ls Rs x",                              // 6
    "L R C LFE Ls Rs",                            // 7
    "L C R Ls Rs LFE",                            // 8
    "L R C LFE Lss Rss Lsr Rsr",                  // 9
    "L C R Lss Rss Lsr Rsr LFE",                  // 10
    "8.0",                                        // 11
    "12.0",                                       // 12
    "L R x x Ls Rs Lts Rts Ltr Rtr",              // 13
    "L x R Ls Rs x Lts Rts Ltr Rtr",              // 14
    "L R C LFE Ls Rs Lts Rts",                    // 15
    "L C R Ls Rs LFE Lts Rts",                    // 16
    "L R C LFE Lss Rss Lsr Rsr Lts Rts",          // 17
    "L C R Lss Rss Lsr Rsr LFE Lts Rts",          // 18
    "L R C LFE Ls Rs Lts Rts Ltr Rtr",            // 19
    "L C R Ls Rs LFE Lts Rts Ltr Rtr",            // 20
    "L R C LFE Lss Rss Lsr Rsr Lts Rts Ltr Rtr",  // 21
    "L C R Lss Rss Lsr Rsr LFE Lts Rts Ltr Rtr",  // 22
    "L R x x Ls Rs Lts Rts Ltr Rtr",              // 23
    "L R C x Ls Rs Lts Rts Ltr Rtr",              // 24
    "L R C x Lside Rside Ls Rs Lts Rts Ltr Rtr",  // 25
    "L R C Cs Lside Rside Ls Rs Lts Rts Ltr Rtr", // 26
    "Icosahedron",                                // 27
    "Dodecahedron",                               // 28
    "W Y Z X V T R S U",                          // 29
    "W Y Z X V T R S U Q O M K L N P",            // 30
    "L R C LFE Lsr Rsr Lss Rss",                  // 31
    "L R C LFE Lsr Rsr Lss Rss Lts Rts",          // 32
    "L R C LFE Lsr Rsr Lss Rss Lts Rts Ltr Rtr",  // 33
};

const int32_t output_formats_menu[OX_ABDEC_NUM_OUTPUT_FORMATS] = {
    3,  4,  5,  7,  9,  13, 15, 17, 19, 21, 6, 8, 10, 14, 16,
    18, 20, 22, 23, 24, 25, 26, 29, 30, 1,  2, 0, 31, 32, 33};

const ox_abdec_speakerlayout output_formats_layouts[OX_ABDEC_NUM_LAYOUTS] = {
    // 0: A-Format
    {0,
     4,
     4,
     {-45.0f, 45.0f, -135.0f, 135.0f},
     {35.2644f, -35.2644f, -35.2644f, 35.2644f},
     {512, 512, 512, 512},
     {0, 1, 2, 3}},
    // 1: B-Format FuMa
    {0,
     4,
     4,
     {0.0f, 0.0f, -90.0f, 0.0f},
     {0.0f, 0.0f, 0.0f, 90.0f},
     {1024, 2048, 4096, 8192},
     {0, 1, 2, 3}},
    // 2: B-Format AmbiX
    {0,
     4,
     4,
     {0.0f, 0.0f, -90.0f, 0.0f},
     {0.0f, 0.0f, 0.0f, 90.0f},
     {1024, 2048, 4096, 8192},
     {0, 2, 3, 1}},
    // 3: Mono
    {0, 1, 1, {0.0f}, {0.0f}, {258}, {0}},
    // 4: Stereo
    {1, 2, 2, {-45.0f, 45.0f}, {0.0f, 0.0f}, {260, 260}, {0, 1}},
    // 5: Quad (ITU/SMPTE)
    {1,
     4,
     6,
     {-45.0f, 45.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 0.0f, 0.0f},
     {260, 260, 8, 8},
     {0, 1, -2, -2, 2, 3}},
    // 6: Quad (Film)
    {1,
     4,
     6,
     {-45.0f, 45.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 0.0f, 0.0f},
     {260, 260, 8, 8},
     {0, -2, 1, 2, 3, -2}},
    // 7: 5.1 (ITU/SMPTE)
    {1,
     5,
     6,
     {-45.0f, 45.0f, 0.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
     {260, 260, 2, 8, 8},
     {0, 1, 2, -1, 3, 4}},
    // 8: 5.1 (Film)
    {1,
     5,
     6,
     {-45.0f, 45.0f, 0.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
     {260, 260, 2, 8, 8},
     {0, 2, 1, 3, 4, -1}},
    // 9: 7.1 (ITU/SMPTE)
    {1,
     7,
     8,
     {-45.0f, 45.0f, 0.0f, -100.0f, 100.0f, -150.0f, 150.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
     {260, 260, 2, 8, 8, 16, 16},
     {0, 1, 2, -1, 3, 4, 5, 6}},
    // 10: 7.1 (Film)
    {1,
     7,
     8,
     {-45.0f, 45.0f, 0.0f, -100.0f, 100.0f, -150.0f, 150.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
     {260, 260, 2, 8, 8, 16, 16},
     {0, 2, 1, 3, 4, 5, 6, -1}},
    // 11: 8.0
    {0,
     8,
     8,
     {45.0f, 90.0f, 135.0f, 180.0f, -135.0f, -90.0f, -45.0f, 0.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
     {260, 8, 8, 16, 8, 8, 260, 2},
     {6, 0, 7, 4, 2, 3, 5, 1}},
    // 12: 12.0
    {0,
     12,
     12,
     {30.0f, 60.0f, 90.0f, 120.0f, 150.0f, 180.0f, -150.0f, -120.0f, -90.0f, -60.0f, -30.0f, 0.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
     {260, 4, 8, 8, 8, 8, 16, 8, 8, 4, 260, 2},
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    // 13: 4+4 (ITU/SMPTE)
    {1,
     8,
     10,
     {-45.0f, 45.0f, -45.0f, 45.0f, -135.0f, 135.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 35.0f, 35.0f, 0.0f, 0.0f, 35.0f, 35.0f},
     {260, 260, 68, 68, 8, 8, 72, 72},
     {0, 1, -2, -1, 4, 5, 2, 3, 6, 7}},
    // 14: 4+4 (Film)
    {1,
     8,
     10,
     {-45.0f, 45.0f, -45.0f, 45.0f, -135.0f, 135.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 35.0f, 35.0f, 0.0f, 0.0f, 35.0f, 35.0f},
     {260, 260, 68, 68, 8, 8, 72, 72},
     {0, -2, 1, 4, 5, -1, 2, 3, 6, 7}},
    // 15: 5.1 + 2H (ITU/SMPTE)
    {1,
     7,
     8,
     {-45.0f, 45.0f, 0.0f, -135.0f, 135.0f, -45.0f, 45.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 68, 68},
     {0, 1, 2, -1, 3, 4, 5, 6}},
    // 16: 5.1 + 2H (Film)
    {1,
     7,
     8,
     {-45.0f, 45.0f, 0.0f, -135.0f, 135.0f, -45.0f, 45.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 68, 68},
     {0, 2, 1, 3, 4, -1, 5, 6}},
    // 17: 7.1 + 2H (ITU/SMPTE)
    {1,
     9,
     10,
     {-45.0f, 45.0f, 0.0f, -100.0f, 100.0f, -150.0f, 150.0f, -45.0f, 45.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 16, 16, 68, 68},
     {0, 1, 2, -1, 3, 4, 5, 6, 7, 8}},
    // 18: 7.1 + 2H (Film)
    {1,
     9,
     10,
     {-45.0f, 45.0f, 0.0f, -100.0f, 100.0f, -150.0f, 150.0f, -45.0f, 45.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 16, 16, 68, 68},
     {0, 2, 1, 3, 4, 5, 6, -1, 7, 8}},
    // 19: 5.1 + 4H (ITU/SMPTE)
    {1,
     9,
     10,
     {-45.0f, 45.0f, 0.0f, -135.0f, 135.0f, -45.0f, 45.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 68, 68, 72, 72},
     {0, 1, 2, -1, 3, 4, 5, 6, 7, 8}},
    // 20: 5.1 + 4H (Film)
    {1,
     9,
     10,
     {-45.0f, 45.0f, 0.0f, -135.0f, 135.0f, -45.0f, 45.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 68, 68, 72, 72},
     {0, 2, 1, 3, 4, -1, 5, 6, 7, 8}},
    // 21: 7.1 + 4H (ITU/SMPTE)
    {1,
     11,
     12,
     {-45.0f, 45.0f, 0.0f, -100.0f, 100.0f, -150.0f, 150.0f, -45.0f, 45.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 16, 16, 68, 68, 72, 72},
     {0, 1, 2, -1, 3, 4, 5, 6, 7, 8, 9, 10}},
    // 22: 7.1 + 4H (Film)
    {1,
     11,
     12,
     {-45.0f, 45.0f, 0.0f, -100.0f, 100.0f, -150.0f, 150.0f, -45.0f, 45.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 16, 16, 68, 68, 72, 72},
     {0, 2, 1, 3, 4, 5, 6, -1, 7, 8, 9, 10}},
    // 23: Cube
    {0,
     8,
     10,
     {-45.0f, 45.0f, -135.0f, 135.0f, -45.0f, 45.0f, -135.0f, 135.0f},
     {-35.0f, -35.0f, -35.0f, -35.0f, 35.0f, 35.0f, 35.0f, 35.0f},
     {388, 388, 136, 136, 68, 68, 72, 72},
     {0, 1, -2, -2, 2, 3, 4, 5, 6, 7}},
    // 24: Cube + Center
    {0,
     9,
     10,
     {-45.0f, 45.0f, 0.0f, -135.0f, 135.0f, -45.0f, 45.0f, -135.0f, 135.0f},
     {-35.0f, -35.0f, 0.0f, -35.0f, -35.0f, 35.0f, 35.0f, 35.0f, 35.0f},
     {388, 388, 2, 136, 136, 68, 68, 72, 72},
     {0, 1, 2, -2, 3, 4, 5, 6, 7, 8}},
    // 25: Cube + Center + Side
    {0,
     11,
     12,
     {-45.0f, 45.0f, 0.0f, -90.0f, 90.0f, -135.0f, 135.0f, -45.0f, 45.0f, -135.0f, 135.0f},
     {-35.0f, -35.0f, 0.0f, 0.0f, 0.0f, -35.0f, -35.0f, 35.0f, 35.0f, 35.0f, 35.0f},
     {388, 388, 2, 16, 16, 136, 136, 68, 68, 72, 72},
     {0, 1, 2, -2, 3, 4, 5, 6, 7, 8, 9, 10}},
    // 26: Cube + Center + Side + Back
    {0,
     12,
     12,
     {-45.0f, 45.0f, 0.0f, 0.0f, -90.0f, 90.0f, -135.0f, 135.0f, -45.0f, 45.0f, -135.0f, 135.0f},
     {-35.0f, -35.0f, 0.0f, 180.0f, 0.0f, 0.0f, -35.0f, -35.0f, 35.0f, 35.0f, 35.0f, 35.0f},
     {388, 388, 2, 2, 16, 16, 136, 136, 68, 68, 72, 72},
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    // 27: Icosahedron
    {0,
     12,
     12,
     {-90.0f, -90.0f, 90.0f, 90.0f, -58.0f, 58.0f, -121.0f, 121.0f, 0.0f, 0.0f, -180.0f, -180.0f},
     {58.0f, -58.0f, 58.0f, -58.0f, 0.0f, 0.0f, 0.0f, 0.0f, 32.0f, -32.0f, 32.0f, -32.0f},
     {72, 136, 72, 136, 4, 4, 16, 16, 66, 130, 96, 160},
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    // 28: Dodecahedron
    {0,
     20,
     20,
     {-45.0f, -45.0f, 45.0f,  45.0f, -135.0f, -135.0f, 135.0f, 135.0f, -90.0f,  -90.0f,
      90.0f,  90.0f,  -69.0f, 69.0f, -111.0f, 111.0f,  0.0f,   0.0f,   -180.0f, -180.0f},
     {35.0f, -35.0f, 35.0f, -35.0f, 35.0f, -35.0f, 35.0f, -35.0f, 69.0f, -69.0f,
      69.0f, -69.0f, 0.0f,  0.0f,   0.0f,  0.0f,   21.0f, -21.0f, 21.0f, -21.0f},
     {68, 132, 68, 132, 80, 144, 80, 144, 72, 136, 72, 136, 4, 4, 8, 8, 66, 130, 96, 160},
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
    // 29: 2nd Ambisonics
    {0,
     12,
     9,
     {-90.0f, -90.0f, 90.0f, 90.0f, -58.0f, 58.0f, -122.0f, 122.0f, 0.0f, 0.0f, -180.0f, -180.0f},
     {58.0f, -58.0f, 58.0f, -58.0f, 0.0f, 0.0f, 0.0f, 0.0f, 32.0f, -32.0f, 32.0f, -32.0f},
     {72, 136, 72, 136, 4, 4, 16, 16, 66, 130, 96, 160},
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    // 30: 3rd Ambisonics
    {0,
     20,
     16,
     {-45.0f, -45.0f, 45.0f,  45.0f, -135.0f, -135.0f, 135.0f, 135.0f, -90.0f,  -90.0f,
      90.0f,  90.0f,  -69.0f, 69.0f, -111.0f, 111.0f,  0.0f,   0.0f,   -180.0f, -180.0f},
     {35.0f, -35.0f, 35.0f, -35.0f, 35.0f, -35.0f, 35.0f, -35.0f, 69.0f, -69.0f,
      69.0f, -69.0f, 0.0f,  0.0f,   0.0f,  0.0f,   21.0f, -21.0f, 21.0f, -21.0f},
     {68, 132, 68, 132, 80, 144, 80, 144, 72, 136, 72, 136, 4, 4, 8, 8, 66, 130, 96, 160},
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
    // 31: 7.1 (ITU/SMPTE alt)
    {1,
     7,
     8,
     {-45.0f, 45.0f, 0.0f, -100.0f, 100.0f, -150.0f, 150.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
     {260, 260, 2, 8, 8, 16, 16},
     {0, 1, 2, -1, 5, 6, 3, 4}},
    // 32: 7.1 + 2H (ITU/SMPTE alt)
    {1,
     9,
     10,
     {-45.0f, 45.0f, 0.0f, -100.0f, 100.0f, -150.0f, 150.0f, -45.0f, 45.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 16, 16, 68, 68},
     {0, 1, 2, -1, 5, 6, 3, 4, 7, 8}},
    // 33: 7.1 + 4H (ITU/SMPTE alt)
    {1,
     11,
     12,
     {-45.0f, 45.0f, 0.0f, -100.0f, 100.0f, -150.0f, 150.0f, -45.0f, 45.0f, -135.0f, 135.0f},
     {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 35.0f, 35.0f, 35.0f, 35.0f},
     {260, 260, 2, 8, 8, 16, 16, 68, 68, 72, 72},
     {0, 1, 2, -1, 5, 6, 3, 4, 7, 8, 9, 10}},
};

static const char kEmpty[] = "";

int32_t abdec_getformatinfo(int32_t index, ox_abdec_formatinfo* info, const char** channels_out)
{
    // An index from a saved state or a host may be anything: never read past the menu.
    const int ok = index >= 0 && index < OX_ABDEC_NUM_OUTPUT_FORMATS;
    const int32_t record = ok ? output_formats_menu[index] : 0;
    if (info) info->name = ok ? output_formats_names[record] : kEmpty;
    if (channels_out) *channels_out = ok ? output_formats_channels[record] : kEmpty;
    return ok ? 0 : -8;
}

ox_abdec_formatinfo* ox_abdec_getformatinfo(ox_abdec_formatinfo* info, int32_t index,
                                            int32_t is_output)
{
    if (!info) return NULL;
    if (is_output)
    {
        const ox_abdec_speakerlayout* layout = ox_abdec_getlayout(index);
        abdec_getformatinfo(index, info, &info->channels);
        info->num_channels = layout ? layout->num_channels : 0;
    }
    else if (index >= 0 && index < OX_ABDEC_NUM_INPUT_FORMATS)
    {
        info->name = formatNameIn[index];
        info->channels = channelOrderIn[index];
        info->num_channels = formatNchanIn[index];
    }
    else
    {
        info->name = kEmpty;
        info->channels = kEmpty;
        info->num_channels = 0;
    }
    return info;
}

const ox_abdec_speakerlayout* ox_abdec_getlayout(int32_t index)
{
    if (index < 0 || index >= OX_ABDEC_NUM_OUTPUT_FORMATS) return NULL;
    return &output_formats_layouts[output_formats_menu[index]];
}

const char* ox_abdec_getxoverinfo(int32_t index)
{
    if (index < 0 || index >= OX_ABDEC_NUM_XOVER_TYPES) return kEmpty;
    return xoverOrder[index];
}

ox_abdec_micspacinginfo ox_abdec_getmicspacinginfo(int32_t index)
{
    ox_abdec_micspacinginfo info = {kEmpty, 0.0f};
    if (index >= 0 && index < OX_ABDEC_NUM_MIC_SPACINGS)
    {
        info.label = micSpacingString[index];
        info.spacing_mm = micSpacingValue[index];
    }
    return info;
}
