// The VST3 wrapper can stand in for an earlier VST2 build of the plug-in: it then derives the
// class identifiers from the plug-in code and name, and wraps the saved state in a VST2 bank
// header. Debian's copy of the VST3 SDK does not carry the VST2 bank declarations, so this
// header declares the one record the wrapper reads and writes, laid out as the wrapper
// expects it: six 32-bit fields, the program count, 128 reserved bytes, the chunk size at
// byte 156 and the chunk itself at byte 160.
//
// The wrapper includes this file inside its own namespace, so it must include nothing.
#pragma once

struct fxBank
{
    int chunkMagic;  // "CcnK", big-endian
    int byteSize;    // bytes that follow this field
    int fxMagic;     // "FBCh": the bank holds an opaque chunk
    int version;
    int fxID;        // the plug-in code
    int fxVersion;
    int numPrograms;
    char future[128];

    union
    {
        struct
        {
            int size;       // chunk size in bytes
            char chunk[8];  // the chunk starts here and runs on past the record
        } data;
    } content;
};

static_assert (sizeof (int) == 4, "the bank header has 32-bit fields");
static_assert (__builtin_offsetof (fxBank, content) == 156, "the chunk size sits at byte 156");
