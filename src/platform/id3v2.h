// Our ID3v2 tag reader: the tag at the start of an MP3 file and the list of
// its frames (versions 2.2, 2.3 and 2.4). The media reader reports a frame
// kind as the attribute "ID3/<id>" with the frame's body as its value; this
// reader gives the same values.
//
// Tag header: "ID3", major version, revision, flags, and the size of what
// follows the header as four 7-bit groups, most significant first.
// Frames of 2.3 and 2.4: 4-character id, 4-byte size (plain in 2.3,
// 7-bit groups in 2.4), 2 flag bytes; of 2.2: 3-character id, 3-byte size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/fileio.h"

namespace vkt::platform {

inline constexpr uint32_t kId3v2HeaderSize = 10;
// The largest size four 7-bit groups can state.
inline constexpr uint32_t kId3v2MaxSize = (1u << 28) - 1;

struct Id3v2Frame {
    std::string id;          // "PRIV", "TIT2"; 3 characters in 2.2 tags
    uint16_t flags = 0;      // the two flag bytes (0 in 2.2 tags)
    uint32_t offset = 0;     // of the frame header in the tag as stored (header at 0)
    uint32_t stored_size = 0;
    // The body as the frame means it: unsynchronisation undone and the
    // data-length indicator taken off. Empty when `readable` is false.
    std::vector<uint8_t> data;
    // False for compressed or encrypted frames, whose bytes we do not decode.
    bool readable = true;
};

struct Id3v2Tag {
    uint8_t major = 0;
    uint8_t revision = 0;
    uint8_t flags = 0;
    uint32_t size = 0;  // bytes behind the 10-byte header, as the header states
    std::vector<Id3v2Frame> frames;
    // The frames ran past the end of the tag or of the bytes at hand; the
    // frames before that point are listed.
    bool truncated = false;
};

enum class Id3v2Status {
    Ok,
    NoTag,       // no "ID3" header, a version byte of 255, or a size byte with its top bit set
    CannotOpen,  // the file could not be opened or read
};

// Checks a tag header; gives the size behind it.
bool parse_id3v2_header(const uint8_t* bytes, std::size_t n, uint32_t* size);

// Lists the frames of a whole tag (header included). Bytes missing at the
// end only shorten the list. Unknown major versions give no frames.
Id3v2Status parse_id3v2_tag(const uint8_t* bytes, std::size_t n, Id3v2Tag* out);

// Reads and parses the tag at the start of a file.
Id3v2Status read_id3v2_tag(const char* path, Id3v2Tag* out);

// The bodies of all readable frames with the given id, in tag order.
std::vector<std::vector<uint8_t>> id3v2_frame_values(const Id3v2Tag& tag, const std::string& id);

// Reads the whole ID3v2 tag at the start of a file (header included) into
// tagBuffer. The file is opened for reading, or for reading and writing when
// bWritable is set, existing files only. True when the whole tag was read;
// the file then stays open in *file. On every failure the file is closed and
// false is returned. Traced as part of the MP3 splitter.
bool LoadID3v2Header(const char* fileName, std::vector<uint8_t>* tagBuffer, uint32_t* tagSize, UniqueFile* file,
                     bool bWritable);

}  // namespace vkt::platform
