// The marker array: 32 spoken-instruction markers of (start, end) in
// milliseconds, u32 little-endian each, 256 bytes; unused entries are
// 0xFFFFFFFF in both fields and a reader stops at the first such start.
// Stored in header block 3 of DSS files (licensee 3, three or more header
// blocks), in bytes 1024-1279 of the header image of MP3 files, and in the
// 280-byte IKEY sub-chunk of WAV files ("SpokenInstructionMarkers" + array).
#pragma once

#include <cstdint>

#include "dss/dss_layout.h"

inline constexpr char kSpokenInstructionKey[] = "SpokenInstructionMarkers";
inline constexpr uint32_t kSpokenInstructionKeyLength = 24;
static_assert(sizeof(kSpokenInstructionKey) == kSpokenInstructionKeyLength + 1);
using vkt::dss::kMarkerArraySize;
using vkt::dss::kMarkerCount;
using vkt::dss::kNoMarker;

struct SpokenInstructionMarker {
    uint32_t start;
    uint32_t end;
};

SpokenInstructionMarker MarkerAt(const uint8_t* markers, uint32_t index);
void SetMarker(uint8_t* markers, uint32_t index, SpokenInstructionMarker m);

uint32_t ReadSpokenInstructionMarkersToArray(const char* name, uint8_t* markers);
uint32_t WriteSpokenInstructionMarkersToFile(const char* name, const uint8_t* markers);
// Copies the markers of src into dst, creating dst as an empty WAV carrier
// (format 0x0121, 16000 Hz, no audio) when it cannot be opened.
uint32_t ExtractSpokenInstructionMarkers(const char* src, const char* dst);
