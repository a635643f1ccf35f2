// The dictation header image inside an MP3 file: a private frame (PRIV) of
// the ID3v2 tag at the start of the file whose body is our owner identifier,
// its terminating zero, a version byte 0 and the 1536-byte header image
// (header blocks 1, 2 and 3).
#pragma once

#include <cstdint>
#include "dss/dss_layout.h"
#include <vector>

// The owner identifier of the private frame: 32 characters in URL form.
inline constexpr char kDssPrivOwner[] = "https://orvane.example/dictation";
static_assert(sizeof(kDssPrivOwner) == 33, "the owner identifier is 32 characters");
inline constexpr uint32_t kDssPrivImageSize = vkt::dss::image::kThreeHeaders;
// Owner identifier, terminator, version.
inline constexpr uint32_t kDssPrivPrefixSize = 34;

class CMP3Helper {
public:
    // Overwrites the image inside every private frame of ours in the file's
    // ID3v2 tag and writes the tag back with its old length, so the audio
    // behind it does not move. size may be smaller than 1536 (only the first
    // header blocks change). 0 when at least one frame was rewritten, 47
    // when there is no tag or no frame that can take the image, 15 when the
    // tag cannot be written back. Never adds a frame.
    static uint32_t WriteDSSHeader(const char* filePath, const uint8_t* image, uint32_t size);

    // Picks our frame out of the values of the "ID3/PRIV" attribute and
    // copies min(size, 1536) bytes of its image into buffer. size must be a
    // positive multiple of 512 (else 25); no frame of ours, a frame of
    // another version or length: 47.
    static uint32_t SelectDSSHeaderImage(const std::vector<std::vector<uint8_t>>& privValues, uint8_t* buffer,
                                         uint32_t size);

    // The same for a file: reads its ID3v2 tag with our reader. A file that
    // cannot be opened gives 14, one without a tag 47.
    static uint32_t ReadDSSHeaders(const char* filePath, uint8_t* buffer, uint32_t size);
};
