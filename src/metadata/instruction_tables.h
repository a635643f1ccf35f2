// Spoken instructions that Olympus and Grundig recorders leave in their DSS
// headers, turned into the marker array. The tables count data blocks and
// frames; the markers count milliseconds.
//
// Block/frame table (the common intermediate form): 32 entries of 16 bytes,
// 0xFF when unused: u32 start block (0 = first data block), u16 start frame
// (counted from the first frame that starts in that block), 2 bytes 0xFF,
// u32 end block, u16 end frame, 2 bytes 0xFF.
#pragma once

#include <cstdint>

class CDssFile;

inline constexpr uint32_t kBlockFrameTableSize = 32 * 16;

// Walks the data blocks of an open file and fills the markers of the
// table's entries. Never fails: returns 0 with the markers as far as found.
uint32_t ConvertBlockFrameOffsetArrayToSpokenInstructions(CDssFile& dss, const uint8_t* table, uint8_t* markers);
// Olympus DS2 files (licensee 2, three or more header blocks): the first
// 384 bytes of header 3 hold 32 entries of u32 start block, u16 start frame,
// u32 end block, u16 end frame, in any order.
uint32_t ConvertOlympusSpokenInstructions(CDssFile& dss, uint8_t* markers);
// Grundig DSS files (licensee 1): frame ranges in H#3 and H#5, or block and
// frame starts in header 1 with lengths in H#2.
uint32_t ConvertGrundigSpokenInstructions(CDssFile& dss, uint8_t* markers);
