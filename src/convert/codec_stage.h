// The codec stream layer: one conversion stage run on one buffer, with the
// stage named by its conversion type. Each call gets the one engine its
// stage uses - the PCM-to-PCM converter handle, or the codec stream that
// decodes or encodes; the block cut needs none. The caller opens and keeps
// the engine. A type the engine does not serve is refused. Every call
// returns a library result code; nothing here throws.
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

// Output bytes that dwSrcSize_p input bytes of the stage produce: AFC_CONV
// by the converter handle, the two codec types by their codec stream.
uint32_t size_conv_stream(uint32_t convType, uint32_t dwSrcSize_p, uint32_t* pdwDstSize_p, AFC_HANDLE* phAfc);
uint32_t size_conv_stream(uint32_t convType, uint32_t dwSrcSize_p, uint32_t* pdwDstSize_p, HACMSTREAM hCodec);
// Backwards, for the encode stream: PCM input bytes needed for dwDstSize_p
// output bytes.
uint32_t size_conv_stream(uint32_t* pdwSrcSize_p, uint32_t dwDstSize_p, HACMSTREAM hEncode);
// Converts one buffer; *pdwDstSize_p receives the bytes produced. The
// engines keep their state from call to call; a converter handle that
// fails is closed (and set to null). The overload without an engine does
// the block cut.
uint32_t process_single_stream(uint32_t convType, const uint8_t* pbySrcBuffer, uint32_t dwSrcBufferSize,
                               uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize, uint32_t* pdwDstSize_p,
                               AFC_HANDLE* phAfc);
uint32_t process_single_stream(uint32_t convType, const uint8_t* pbySrcBuffer, uint32_t dwSrcBufferSize,
                               uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize, uint32_t* pdwDstSize_p,
                               HACMSTREAM hCodec);
uint32_t process_single_stream(uint32_t convType, const uint8_t* pbySrcBuffer, uint32_t dwSrcBufferSize,
                               uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize, uint32_t* pdwDstSize_p);
// Ends a codec stage (XFMT_PCM_CONV or PCM_YFMT_CONV): the bytes its codec
// still holds back (at most one output block) go to pbyDstBuffer and their
// count to *pdwDstSize_p. Other stages hold nothing back: 0 bytes.
uint32_t flush_single_stream(uint32_t convType, uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize,
                             uint32_t* pdwDstSize_p, HACMSTREAM hCodec);
// The PCM format the codec pairs with pwfxSrc, into pwfxDst (18 bytes).
uint32_t suggest_conv_format(const WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst);
// dwType 1: greatest common divisor, else least common multiple. Returns 1
// on success, 0 when a number is 0 (or the multiple exceeds 32 bits);
// *pdwReturn is written only on success.
uint32_t InternalEuklidAlgorithm(uint32_t dwNum1, uint32_t dwNum2, uint32_t dwType, uint32_t* pdwReturn);
