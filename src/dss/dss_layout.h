// Every fact of the DSS/DS2 layout the library relies on: the byte offsets
// of the header fields (in a header block, or in the header image that
// holds header 1 at 0, header 2 at 512 and header 3 at 1024), the marker
// array of header 3, and one table of what each compression identifier
// means. Code elsewhere names these; it never writes the numbers again.
#pragma once

#include <cstdint>
#include <cstring>

#include "OrvaneVktapi.h"

namespace vkt::dss {

inline constexpr uint32_t kHeaderBlockSize = 512;

// ---- the header image ---------------------------------------------------------------
namespace image {
inline constexpr uint32_t kHeader2 = kHeaderBlockSize;       // header 2 in the image
inline constexpr uint32_t kHeader3 = 2 * kHeaderBlockSize;   // header 3 in the image
inline constexpr uint32_t kTwoHeaders = 2 * kHeaderBlockSize;
inline constexpr uint32_t kThreeHeaders = 3 * kHeaderBlockSize;
}  // namespace image

// ---- header block 1 ---------------------------------------------------------------------
namespace h1 {
inline constexpr uint32_t kHeaderCount = 0;   // u8: number of header blocks
inline constexpr uint32_t kSelfId = 1;        // 3 bytes: "dss", "ds2" or "enc"
inline constexpr uint32_t kSelfIdSize = 3;
inline constexpr uint32_t kFormatWord1 = 4;   // u16: 1 for "dss", 2 for "ds2"
inline constexpr uint32_t kFormatWord2 = 6;   // u16: 1 for "dss", 3 for "ds2"
inline constexpr uint32_t kFormatIdSize = 7;  // self-id and both format words
inline constexpr uint32_t kLicensee = 8;      // u32
inline constexpr uint32_t kText = 12;         // 16 bytes of text
inline constexpr uint32_t kTextSize = 16;
inline constexpr uint32_t kValue = 28;        // u32
inline constexpr uint32_t kMoreHeaders = 32;  // u16: 0xFFFD one header block, 0xFFFE more
inline constexpr uint32_t kFlags34 = 34;      // u16
inline constexpr uint32_t kFlags36 = 36;      // u16; bit 3 clear is reported in the record
inline constexpr uint32_t kStartDate = 38;    // "yymmdd"
inline constexpr uint32_t kStartTime = 44;    // "hhmmss"
inline constexpr uint32_t kEndDate = 50;      // "yymmdd"
inline constexpr uint32_t kEndTime = 56;      // "hhmmss"
inline constexpr uint32_t kLength = 62;       // "hhmmss"
inline constexpr uint32_t kDateTimeSize = 6;
inline constexpr uint32_t kByte68 = 68;
inline constexpr uint32_t kByte69 = 69;
inline constexpr uint32_t kShortIndex = 86;   // 16 entries of u16 block, u8 frame
inline constexpr uint32_t kShortIndexEntry = 3;
inline constexpr uint32_t kLongIndex = 134;   // 32 entries of u32 block, u16 frame (DS2 only)
inline constexpr uint32_t kLongIndexEntry = 6;
inline constexpr uint32_t kIndexEnd = 326;
inline constexpr uint32_t kEncryptionVersion = 326;  // u16
inline constexpr uint32_t kSalt = 328;               // 16 bytes
inline constexpr uint32_t kSaltSize = 16;
inline constexpr uint32_t kCheckValue = 344;         // 4 bytes
inline constexpr uint32_t kCheckValueSize = 4;
inline constexpr uint32_t kEncryptionEnd = 348;

inline constexpr uint16_t kOneHeaderBlock = 0xFFFD;
inline constexpr uint16_t kMoreHeaderBlocks = 0xFFFE;

// Writes the self-id and both format words of a DSS ("dss", 1, 1) or DS2
// ("ds2", 2, 3) file into header block 1.
inline void put_format_id(uint8_t* header1, bool ds2) {
    std::memcpy(header1 + kSelfId, ds2 ? "ds2\x02\x00\x03\x00" : "dss\x01\x00\x01\x00", kFormatIdSize);
}
}  // namespace h1

// ---- header block 2 ---------------------------------------------------------------------
namespace h2 {
inline constexpr uint32_t kVersion = 0;        // u16: 1 or 2 in the library's own files
inline constexpr uint32_t kWord2 = 2;          // u16
inline constexpr uint32_t kBytes4 = 4;         // 8 bytes
inline constexpr uint32_t kBytes12 = 12;       // 4 bytes
inline constexpr uint32_t kCompressionId = 16; // u16
inline constexpr uint32_t kLengthMs = 18;      // u32: recording length in milliseconds
inline constexpr uint32_t kField22 = 22;       // 6 bytes: date of a copy
inline constexpr uint32_t kField28 = 28;       // 6 bytes: time of a copy
inline constexpr uint32_t kTexts = 34;         // 11 texts of 30 bytes
inline constexpr uint32_t kTextCount = 11;
inline constexpr uint32_t kTextSize = 30;
inline constexpr uint32_t kTextExt1 = 364;     // 30 bytes
inline constexpr uint32_t kTextExt2 = 394;     // 30 bytes
inline constexpr uint32_t kTextsEnd = 424;
inline constexpr uint32_t kWord504 = 504;      // u32
inline constexpr uint32_t kWord508 = 508;      // u32
}  // namespace h2

// ---- header blocks of other licensees -----------------------------------------------------
// Grundig (licensee 1): H#3 and H#5 hold frame ranges counted from the
// start of the recording (u32 start, u32 end per entry); older recorders
// keep 16 starts in the index tables of header 1 and their lengths (u16
// blocks, u16 frames per entry) in H#2.
namespace grundig {
inline constexpr uint32_t kEntries = 16;
inline constexpr uint32_t kH2Lengths = 226;
inline constexpr uint32_t kH2LengthEntry = 4;
inline constexpr uint32_t kH3Starts = 229;
inline constexpr uint32_t kH3Ends = 238;
inline constexpr uint32_t kH3Entry = 18;
inline constexpr uint32_t kH5Starts = 18;
inline constexpr uint32_t kH5Ends = 27;
inline constexpr uint32_t kH5Entry = 13;
}  // namespace grundig
// Olympus (licensee 2): DS2 files of three or more header blocks hold 32
// verbal comments at the start of header block 3, 12 bytes each: u32 start
// block, u16 start frame, u32 end block, u16 end frame.
namespace olympus {
inline constexpr uint32_t kCommentTableAt = 2 * kHeaderBlockSize;  // file offset of header block 3
inline constexpr uint32_t kCommentEntries = 32;
inline constexpr uint32_t kCommentEntry = 12;
inline constexpr uint32_t kCommentTable = kCommentEntries * kCommentEntry;
inline constexpr uint32_t kStartBlock = 0, kStartFrame = 4, kEndBlock = 6, kEndFrame = 10;  // in an entry
// The flag byte Olympus recorders keep in their second header block, by
// file offset: 521 in DS2 files, 793 in DSS files. A header image carries
// it as the first byte of its second block.
inline constexpr uint32_t kFlagAtDs2 = 521;
inline constexpr uint32_t kFlagAtDss = 793;
}  // namespace olympus

// ---- the marker array of header block 3 -----------------------------------------------
// 32 spoken-instruction markers of (start, end) in milliseconds, u32
// little-endian each; unused entries are 0xFFFFFFFF in both fields and a
// reader stops at the first such start.
inline constexpr uint32_t kMarkerCount = 32;
inline constexpr uint32_t kMarkerArraySize = 256;
inline constexpr uint32_t kMarkerEntrySize = 8;
inline constexpr uint32_t kNoMarker = 0xFFFFFFFFu;

// ---- data blocks --------------------------------------------------------------------------
inline constexpr uint32_t kDataBlockHeaderSize = 6;  // frame pointer, 0xFF, frame count, 0xFF, id
namespace block {
inline constexpr uint32_t kFramePointer = 0;   // u16 big-endian: first frame start x 128 + 15
inline constexpr uint32_t kFrameCount = 3;     // frames that start in the block
inline constexpr uint32_t kFrameCountAlt = 4;  // 0xFF, or the count where byte 3 holds none
inline constexpr uint32_t kCompressionId = 5;
}  // namespace block
inline constexpr uint32_t kMaxFramesPerBlock = 13;   // for identifiers without long blocks
inline constexpr uint32_t kFramePointerLimit = 553;  // frame pointer + 41 x frames stays below

// ---- compression identifiers ------------------------------------------------------------
struct CompressionFormat {
    uint16_t format_tag;         // codec wave format tag
    uint32_t clock_rate;         // codec blocks are counted at this rate (nSamplesPerSec)
    uint32_t bytes_per_second;   // nAvgBytesPerSec of the codec format
    uint16_t block_align;        // codec block: stored frame + 1 byte; 0 for an identifier without codec
    uint32_t frame_bytes;        // stored frame (the uncompressed size for 1 and 3)
    uint32_t samples_per_frame;  // PCM samples of one frame at the clock rate
    uint32_t ms_per_frame;       // playing time of one frame
    bool long_blocks;            // a data block may hold more than 13 frames
    uint32_t short_frame_bytes;  // the compressed frame of 1 (9) and 3 (4); 0: frames of one size
    bool compression_flag;       // the codec block ends in 1 when handed to the decoder
    uint8_t family;              // identifiers of one family are read by one decoder (its first id)
    const char* family_name;     // the family's name in trace lines; null: no codec
};

// Indexed by identifier 0 to 7. 0, 1: standard play; 2, 3: long play
// (G.723.1); 4: standard play at the 8000 clock; 5: no codec, frames of
// 36 ms; 6, 7: quality play.
inline constexpr CompressionFormat kCompressionIds[8] = {
    {WAVE_FORMAT_DSS_SP, 12000, 1750, 42, 41, 288, 24, false, 0, false, 0, "GRUNDIG"},
    {WAVE_FORMAT_DSS_SP, 12000, 1750, 42, 41, 288, 24, false, 9, true, 0, "GRUNDIG"},
    {WAVE_FORMAT_DSS_LP, 8000, 834, 25, 24, 240, 30, true, 0, false, 2, "TRUESPEECH"},
    {WAVE_FORMAT_DSS_LP, 8000, 834, 25, 24, 240, 30, true, 4, true, 2, "TRUESPEECH"},
    {WAVE_FORMAT_DSS_SP, 8000, 1167, 42, 41, 288, 36, false, 0, false, 4, "GRUNDIG"},
    {0, 0, 0, 0, 0, 0, 36, false, 0, false, 5, nullptr},
    {WAVE_FORMAT_DSS_SP, 16000, 3563, 57, 56, 256, 16, false, 0, false, 6, "QUALITYPLAY"},
    {WAVE_FORMAT_DSS_SP, 16000, 3563, 57, 56, 256, 16, false, 0, true, 7, "QUALITYPLAY_WITH_COMPRESSION"},
};

inline constexpr uint8_t kIdStandardPlay = 0;
inline constexpr uint8_t kIdLongPlay = 2;
inline constexpr uint8_t kIdStandardPlay8k = 4;
inline constexpr uint8_t kIdQualityPlay = 6;

// The table row of a valid identifier (0 to 7 except 5), else null.
constexpr const CompressionFormat* compression_format(uint8_t id) {
    return id < 8 && kCompressionIds[id].block_align != 0 ? &kCompressionIds[id] : nullptr;
}

// Playing time of one frame in ms (also 36 for 5); 0 for 8 to 255.
constexpr uint32_t frame_duration_ms(uint8_t id) { return id < 8 ? kCompressionIds[id].ms_per_frame : 0; }

// Identifiers whose frames all have one size (no compression flag): the
// ones a file can be split at any frame (0, 2, 4, 6).
constexpr bool has_fixed_frames(uint8_t id) {
    const CompressionFormat* f = compression_format(id);
    return f && !f->compression_flag;
}

// Identifiers whose markers the index repair can place: fixed frames of at
// most 13 to a block (0, 4, 6).
constexpr bool has_placeable_markers(uint8_t id) { return has_fixed_frames(id) && !kCompressionIds[id].long_blocks; }

// Quality play (6, 7) and every identifier above it live only in DS2 files.
constexpr bool needs_dss_pro(uint8_t id) { return id >= kIdQualityPlay; }

// The identifier a standard- or quality-play codec format of this clock
// rate is written with (8000: 4, 12000: 0, 16000: 6); -1 for another rate.
constexpr int compression_id_for_clock(uint32_t clock_rate) {
    constexpr uint8_t kWritten[] = {kIdStandardPlay8k, kIdStandardPlay, kIdQualityPlay};
    for (uint8_t id : kWritten)
        if (kCompressionIds[id].clock_rate == clock_rate) return id;
    return -1;
}

// The identifier a codec format is written with: G.723.1 long play as 2,
// the standard- and quality-play formats by their clock rate; -1 for others.
constexpr int compression_id_for_format(uint16_t format_tag, uint32_t clock_rate) {
    if (format_tag == WAVE_FORMAT_DSS_LP)
        return clock_rate == kCompressionIds[kIdLongPlay].clock_rate ? kIdLongPlay : -1;
    return compression_id_for_clock(clock_rate);
}

}  // namespace vkt::dss
