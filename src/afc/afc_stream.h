// The four plain entry functions of the audio format conversion library. A
// handle is the caller's converter pointer, null before open. Results are
// 16-bit codes: 0 success, 1 an unexpected failure, 2 a null argument, 3 a
// zero byte count, 102 a wave format the library does not take, else the
// error number that stopped the operation. After a failure in open,
// convert or size query the handle is null: the stream has ended.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"

class SRFreeInputAFConverter;
using AFC_HANDLE = SRFreeInputAFConverter*;

namespace afc_result {
inline constexpr uint16_t kOk = 0;
inline constexpr uint16_t kUnexpected = 1;
inline constexpr uint16_t kNullArgument = 2;
inline constexpr uint16_t kZeroBytes = 3;
}  // namespace afc_result
// Any other result is an error number of afc/support.h (afc_error), such as
// 102 for a format the stream does not take or 303 for too small an output.

// Accepts mono PCM of 8 or 16 bits at 8000, 11025, 12000, 16000, 22050,
// 32000, 44100, 64000, 88200 or 176400 Hz on both sides.
uint16_t AFC_streamOpen(AFC_HANDLE* handle, const WAVEFORMATEX* src, const WAVEFORMATEX* dst);
// Takes all srcBytes (*srcTaken = srcBytes) and writes what they complete;
// dstBytes of AFC_streamDestLength(srcBytes) always suffice, fewer may
// give 303.
uint16_t AFC_streamConvert(AFC_HANDLE* handle, const uint8_t* src, uint32_t srcBytes, uint32_t* srcTaken,
                           uint8_t* dst, uint32_t dstBytes, uint32_t* dstWritten);
uint16_t AFC_streamDestLength(AFC_HANDLE* handle, uint32_t srcBytes, uint32_t* dstBytes);
// Destroys the converter; the handle keeps its value, which the caller
// discards. Bytes still held (less than one input unit) are dropped.
uint16_t AFC_streamClose(AFC_HANDLE* handle);
