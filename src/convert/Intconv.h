// The codec stream layer: one conversion stage run on one buffer, with the
// stage named by its conversion type and driven by one of three engines
// that the caller opened beforehand (the PCM-to-PCM converter handle, the
// decoding codec stream, the encoding codec stream). The caller keeps the
// engines and passes all three to every call; each call uses the one its
// type names and returns a library result code. Nothing here throws.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"
#include "afc/afc_stream.h"
#include "platform/acm.h"

namespace intconv {
// Conversion types of a stage.
inline constexpr uint32_t AFC_CONV = 0;       // PCM to PCM (width and rate), by the AFC handle
inline constexpr uint32_t XFMT_PCM_CONV = 1;  // source format to PCM, by the decode stream
inline constexpr uint32_t PCM_YFMT_CONV = 2;  // PCM to destination format, by the encode stream
inline constexpr uint32_t XFMT_BLOCK_CONV = 3;  // 40-byte tag 0x0120 blocks cut to 24 bytes, here
}  // namespace intconv

// Output bytes that dwSrcSize_p input bytes of the stage produce.
uint32_t size_conv_stream(uint32_t convType, uint32_t dwSrcSize_p, uint32_t* pdwDstSize_p, AFC_HANDLE* phAfc,
                          HACMSTREAM hDecode, HACMSTREAM hEncode);
// Backwards, for the encode stream: PCM input bytes needed for dwDstSize_p
// output bytes.
uint32_t size_conv_stream(uint32_t* pdwSrcSize_p, uint32_t dwDstSize_p, AFC_HANDLE* phAfc, HACMSTREAM hDecode,
                          HACMSTREAM hEncode);
// Converts one buffer; *pdwDstSize_p receives the bytes produced. The
// engines keep their state from call to call.
uint32_t process_single_stream(uint32_t convType, const uint8_t* pbySrcBuffer, uint32_t dwSrcBufferSize,
                               uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize, uint32_t* pdwDstSize_p,
                               AFC_HANDLE* phAfc, HACMSTREAM hDecode, HACMSTREAM hEncode);
// Ends a codec stage (XFMT_PCM_CONV or PCM_YFMT_CONV): the bytes its codec
// still holds back (at most one output block) go to pbyDstBuffer and their
// count to *pdwDstSize_p. Other stages hold nothing back: 0 bytes.
uint32_t flush_single_stream(uint32_t convType, uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize,
                             uint32_t* pdwDstSize_p, HACMSTREAM hDecode, HACMSTREAM hEncode);
// The PCM format the codec pairs with pwfxSrc, into pwfxDst (18 bytes).
uint32_t suggest_conv_format(const WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst);
// dwType 1: greatest common divisor, else least common multiple. Returns 1
// on success, 0 when a number is 0 (or the multiple exceeds 32 bits);
// *pdwReturn is written only on success.
uint32_t InternalEuklidAlgorithm(uint32_t dwNum1, uint32_t dwNum2, uint32_t dwType, uint32_t* pdwReturn);
