// Sizes and times that belong to a compression identifier, the plausibility
// test of a data block, and the check of a DSS file name to be written.
#pragma once

#include <cstdint>

// Sizes that belong to a compression identifier. Identifiers 0 and 4 carry
// 41-byte frames, 1 carries 9- or 41-byte frames (bit 7 of the first byte
// set: 41), 2 carries 24-byte frames, 3 carries 4- or 24-byte frames (bit 1
// of the second byte set: 4), 6 and 7 carry 56-byte frames; 5 and 8 to 255
// are invalid.

// Stored size of the frame at pbyFrame_p (block order). Reads the first byte
// for identifier 1 and the second byte for identifier 3. Returns 0, or 18
// for an invalid identifier (size 0). The first frame of each of six kinds
// is reported once as a warning.
uint32_t KRVDSS_get_size_of_frame(const uint8_t* pbyFrame_p, uint8_t byCompressionId_p, uint32_t* pdwSize_p);
// Codec block size (frame plus padding) of the identifier: 42, 25 or 57.
// Returns 0, or 18 for an invalid identifier (size 0).
uint32_t VKT_get_size_of_blockalign(uint8_t byCompressionId_p, uint32_t* pdwSize_p);
// One warning line naming the identifier.
void VKT_log_compressionId(uint8_t byCompressionId_p);
// Clears the six report-once flags of KRVDSS_get_size_of_frame, so that the
// next conversion reports each kind of frame again.
void VKT_clear_frame_size_reports();
// Playing time of one frame in milliseconds: 24 for identifiers 0 and 1
// (standard play), 30 for 2 and 3 (long play, G.723.1: 240 samples at
// 8000/s), 36 for 4 and 5 (standard play at the 8000 clock), 16 for 6 and 7
// (quality play); 0 for 8 to 255. The writer's length stamp, splitting,
// joining, index repair and the marker tables all take it from here.
uint32_t VKT_get_frame_duration_ms(uint8_t byCompressionId_p);

// The plausibility test of a data block's bookkeeping, shared by the reader
// and the block filter of verified copies: at most 13 frames start in a
// block, and frame pointer + 41 x frame count stays below 553. Long-play
// blocks (identifiers 2 and 3) are not tested: their frames are 24 bytes or
// less, so a block holds up to 21 of them.
enum class DataBlockFault { None, FrameCount, FramePointer };
DataBlockFault VKT_check_datablock(uint8_t byCompressionId_p, uint32_t dwNrOfFrames_p, uint32_t dwFramePointer_p);

// Checks the name of a DSS file to be written: its extension must begin with
// ".dss" or ".ds2" (else 10, "invalid file extension, must be .DSS or .DS2");
// when bNeedsDssPro_p is set (quality play, encryption) only ".ds2" will do
// (else 10, "QP/encryption requires DSS Pro"). Returns 0 or 10.
uint32_t check_dss_target_name(const char* pcszFileName_p, bool bNeedsDssPro_p);
