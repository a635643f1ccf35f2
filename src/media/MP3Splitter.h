// CMP3Splitter: cuts an MP3 recording into pieces without re-encoding; each
// piece gets a copy of the source's ID3v2 tag. Loading that tag is also what
// rewrites the dictation header image inside an MP3 file (CMP3Helper).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/fileio.h"

class CMP3Splitter {
public:
    // Reads the whole ID3v2 tag at the start of a file (header included)
    // into tagBuffer. The file is opened for reading, or for reading and
    // writing when bWritable is set, existing files only. True when the whole
    // tag was read; the file then stays open in *file. On every failure the
    // file is closed and false is returned.
    static bool LoadID3v2Header(const char* fileName, std::vector<uint8_t>* tagBuffer, uint32_t* tagSize,
                                vkt::platform::UniqueFile* file, bool bWritable);
};
