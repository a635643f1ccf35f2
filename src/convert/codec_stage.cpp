#include "convert/codec_stage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("Intconv");

namespace {

constexpr uint32_t kTranscodeBlock = 40;  // a tag 0x0120 block at 4000 bytes/s
constexpr uint32_t kTranscodedBlock = 24;  // the same block at 2400 bytes/s

// A codec stream header for one buffer: size field 124, everything not
// named zero.
ACMSTREAMHEADER stream_header(const uint8_t* src, uint32_t srcBytes, uint8_t* dst, uint32_t dstBytes) {
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof(ACMSTREAMHEADER);
    h.pbSrc = const_cast<uint8_t*>(src);  // the codec reads the source only
    h.cbSrcLength = srcBytes;
    h.pbDst = dst;
    h.cbDstLength = dstBytes;
    return h;
}

uint32_t invalid_parameter(const char* text) {
    VKT_TRACE_ERROR(VKT_ERR_INVALID_PARAM, text);
    return VKT_ERR_INVALID_PARAM;
}

uint32_t invalid_type() {
    VKT_TRACE_ERROR(VKT_ERR_CODEC, "Invalid conversion type");
    return VKT_ERR_CODEC;
}

bool is_codec_type(uint32_t convType) {
    return convType == intconv::XFMT_PCM_CONV || convType == intconv::PCM_YFMT_CONV;
}

// What every forward size call traces and checks first; false when there
// is nowhere to put the size.
bool enter_size(uint32_t convType, uint32_t dwSrcSize_p, uint32_t* pdwDstSize_p) {
    VKT_TRACE_TEXT("-----CWavConvert::size_conv_stream(...)");
    VKT_TRACE_PARAM("convType", "%lu", convType);
    VKT_TRACE_PARAM("dwSrcSize_p", "%lu", dwSrcSize_p);
    VKT_TRACE_PARAM("pdwDstSize_p", "%p", pdwDstSize_p);
    if (!pdwDstSize_p) {
        invalid_parameter("pdwDstSize_p is NULL");
        return false;
    }
    return true;
}

// What every buffer call traces and checks before its engine is asked:
// false with *pdwResult set when the call ends here (an empty source gives
// 0 bytes and VKT_OK).
bool enter_process(uint32_t convType, const uint8_t* pbySrcBuffer, uint32_t dwSrcBufferSize,
                   const uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize, uint32_t* pdwDstSize_p,
                   uint32_t* pdwResult) {
    VKT_TRACE_TEXT("-----process_single_stream(...)");
    VKT_TRACE_PARAM("convType", "%lu", convType);
    VKT_TRACE_PARAM("dwSrcBufferSize", "%lu", dwSrcBufferSize);
    VKT_TRACE_PARAM("dwDstBufferSize", "%lu", dwDstBufferSize);
    if (!pdwDstSize_p) {
        *pdwResult = invalid_parameter("pdwDstSize_p is NULL");
        return false;
    }
    if (dwSrcBufferSize == 0) {
        *pdwDstSize_p = 0;
        *pdwResult = VKT_OK;
        return false;
    }
    if (!pbySrcBuffer || !pbyDstBuffer) {
        *pdwResult = invalid_parameter("buffer pointer is NULL");
        return false;
    }
    return true;
}

}  // namespace

uint32_t size_conv_stream(uint32_t convType, uint32_t dwSrcSize_p, uint32_t* pdwDstSize_p, AFC_HANDLE* phAfc) {
    if (!enter_size(convType, dwSrcSize_p, pdwDstSize_p)) return VKT_ERR_INVALID_PARAM;
    if (convType != intconv::AFC_CONV) return invalid_type();
    const uint16_t res = AFC_streamDestLength(phAfc, dwSrcSize_p, pdwDstSize_p);
    if (res != 0) {
        VKT_TRACE_ERROR(res, "Error AFC_streamDestLength");
        return VKT_ERR_CODEC;
    }
    VKT_TRACE_VALUE("*pdwDstSize_p: ", "%lu", *pdwDstSize_p);
    return VKT_OK;
}

uint32_t size_conv_stream(uint32_t convType, uint32_t dwSrcSize_p, uint32_t* pdwDstSize_p, HACMSTREAM hCodec) {
    if (!enter_size(convType, dwSrcSize_p, pdwDstSize_p)) return VKT_ERR_INVALID_PARAM;
    if (!is_codec_type(convType)) return invalid_type();
    const MMRESULT mmr = acmStreamSize(hCodec, dwSrcSize_p, pdwDstSize_p, ACM_STREAMSIZEF_SOURCE);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "Error acm stream size");
        return VKT_ERR_CODEC;
    }
    VKT_TRACE_VALUE("*pdwDstSize_p: ", "%lu", *pdwDstSize_p);
    return VKT_OK;
}

uint32_t size_conv_stream(uint32_t* pdwSrcSize_p, uint32_t dwDstSize_p, HACMSTREAM hEncode) {
    VKT_TRACE_TEXT("-----CWavConvert::size_conv_stream(...)");
    VKT_TRACE_PARAM("pdwSrcSize_p", "%p", pdwSrcSize_p);
    VKT_TRACE_PARAM("dwDstSize_p", "%lu", dwDstSize_p);
    if (!pdwSrcSize_p) return invalid_parameter("pdwSrcSize_p is NULL");
    const MMRESULT mmr = acmStreamSize(hEncode, dwDstSize_p, pdwSrcSize_p, ACM_STREAMSIZEF_DESTINATION);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "Error acm stream size backwards");
        return VKT_ERR_CODEC;
    }
    VKT_TRACE_VALUE("*pdwSrcSize_p: ", "%lu", *pdwSrcSize_p);
    return VKT_OK;
}

uint32_t process_single_stream(uint32_t convType, const uint8_t* pbySrcBuffer, uint32_t dwSrcBufferSize,
                               uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize, uint32_t* pdwDstSize_p) {
    uint32_t result = VKT_OK;
    if (!enter_process(convType, pbySrcBuffer, dwSrcBufferSize, pbyDstBuffer, dwDstBufferSize, pdwDstSize_p,
                       &result))
        return result;
    if (convType != intconv::XFMT_BLOCK_CONV) return invalid_type();
    if (dwSrcBufferSize % kTranscodeBlock != 0) VKT_TRACE_WARNING("Warning: data in Buffer is not block aligned");
    const uint32_t blocks = dwSrcBufferSize / kTranscodeBlock;
    if (blocks > dwDstBufferSize / kTranscodedBlock) {
        VKT_TRACE_ERROR(VKT_ERR_CONVERSION, "Destination buffer too small for the transcoded blocks");
        return VKT_ERR_CONVERSION;
    }
    // Only the first 24 bytes of each block are kept.
    for (uint32_t b = 0; b < blocks; ++b)
        std::memcpy(pbyDstBuffer + b * kTranscodedBlock, pbySrcBuffer + b * kTranscodeBlock, kTranscodedBlock);
    *pdwDstSize_p = blocks * kTranscodedBlock;
    VKT_TRACE_VALUE("*pdwDstSize_p", "%lu", *pdwDstSize_p);
    return VKT_OK;
}

uint32_t process_single_stream(uint32_t convType, const uint8_t* pbySrcBuffer, uint32_t dwSrcBufferSize,
                               uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize, uint32_t* pdwDstSize_p,
                               AFC_HANDLE* phAfc) {
    uint32_t result = VKT_OK;
    if (!enter_process(convType, pbySrcBuffer, dwSrcBufferSize, pbyDstBuffer, dwDstBufferSize, pdwDstSize_p,
                       &result))
        return result;
    if (convType != intconv::AFC_CONV) return invalid_type();
    uint32_t taken = 0;
    const uint16_t res =
        AFC_streamConvert(phAfc, pbySrcBuffer, dwSrcBufferSize, &taken, pbyDstBuffer, dwDstBufferSize, pdwDstSize_p);
    if (res != 0) {
        VKT_TRACE_ERROR(res, "Error AFC_streamConvert");
        return VKT_ERR_CONVERSION;
    }
    VKT_TRACE_VALUE("*pdwDstSize_p: ", "%lu", *pdwDstSize_p);
    return VKT_OK;
}

uint32_t process_single_stream(uint32_t convType, const uint8_t* pbySrcBuffer, uint32_t dwSrcBufferSize,
                               uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize, uint32_t* pdwDstSize_p,
                               HACMSTREAM hCodec) {
    uint32_t result = VKT_OK;
    if (!enter_process(convType, pbySrcBuffer, dwSrcBufferSize, pbyDstBuffer, dwDstBufferSize, pdwDstSize_p,
                       &result))
        return result;
    if (!is_codec_type(convType)) return invalid_type();
    ACMSTREAMHEADER header = stream_header(pbySrcBuffer, dwSrcBufferSize, pbyDstBuffer, dwDstBufferSize);
    MMRESULT mmr = acmStreamPrepareHeader(hCodec, &header, 0);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "Error acm stream prepare");
        return VKT_ERR_CONVERSION;
    }
    mmr = acmStreamConvert(hCodec, &header, 0);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "Error acm stream convert");
        acmStreamUnprepareHeader(hCodec, &header, 0);
        return VKT_ERR_CONVERSION;
    }
    *pdwDstSize_p = header.cbDstLengthUsed;
    VKT_TRACE_VALUE("*pdwDstSize_p", "%lu", *pdwDstSize_p);
    mmr = acmStreamUnprepareHeader(hCodec, &header, 0);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "Error acm stream unprepare");
        return VKT_ERR_CONVERSION;
    }
    return VKT_OK;
}

uint32_t flush_single_stream(uint32_t convType, uint8_t* pbyDstBuffer, uint32_t dwDstBufferSize,
                             uint32_t* pdwDstSize_p, HACMSTREAM hCodec) {
    *pdwDstSize_p = 0;
    if (!is_codec_type(convType)) return VKT_OK;
    // No source: only what the codec holds back comes out.
    static const uint8_t kNothing = 0;
    ACMSTREAMHEADER header = stream_header(&kNothing, 0, pbyDstBuffer, dwDstBufferSize);
    MMRESULT mmr = acmStreamPrepareHeader(hCodec, &header, 0);
    if (mmr == MMSYSERR_NOERROR) {
        mmr = acmStreamConvert(hCodec, &header, ACM_STREAMCONVERTF_END);
        acmStreamUnprepareHeader(hCodec, &header, 0);
    }
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "Error acm stream end");
        return VKT_ERR_CONVERSION;
    }
    *pdwDstSize_p = header.cbDstLengthUsed;
    return VKT_OK;
}

uint32_t suggest_conv_format(const WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst) {
    VKT_TRACE_TEXT("-----suggest_conv_format(...)");
    VKT_TRACE_PARAM("pwfxSrc", "%p", pwfxSrc);
    VKT_TRACE_PARAM("pwfxDst", "%p", pwfxDst);
    if (!pwfxSrc || !pwfxDst) return invalid_parameter("format pointer is NULL");
    uint32_t maxSize = 0;
    MMRESULT mmr = acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &maxSize);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "Error acm acmMetrics");
        return VKT_ERR_CODEC;
    }
    // Room for the largest format any codec uses, aligned for the record.
    std::vector<uint64_t> storage;
    try {
        storage.assign((std::max<uint32_t>(maxSize, sizeof(WAVEFORMATEX)) + 7) / 8, 0);
    } catch (const std::bad_alloc&) {
        VKT_TRACE_ERROR(VKT_ERR_OUT_OF_MEMORY, "GetLastError() after HeapAlloc() maximum size suggested format");
        return VKT_ERR_OUT_OF_MEMORY;
    }
    auto* suggestion = reinterpret_cast<WAVEFORMATEX*>(storage.data());
    mmr = acmFormatSuggest(nullptr, pwfxSrc, suggestion, maxSize, 0);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "Error acm format suggest");
        return VKT_ERR_CODEC;
    }
    if (sizeof(WAVEFORMATEX) + suggestion->cbSize > sizeof(WAVEFORMATEX)) {
        VKT_TRACE_ERROR(VKT_ERR_CODEC, "Suggested format destination buffer too small");
        return VKT_ERR_CODEC;
    }
    std::memcpy(pwfxDst, suggestion, sizeof(WAVEFORMATEX));
    return VKT_OK;
}

uint32_t InternalEuklidAlgorithm(uint32_t dwNum1, uint32_t dwNum2, uint32_t dwType, uint32_t* pdwReturn) {
    VKT_TRACE_TEXT("-----InternalEuklidAlgorithm(...)");
    VKT_TRACE_PARAM("dwNum1", "%lu", dwNum1);
    VKT_TRACE_PARAM("dwNum2", "%lu", dwNum2);
    VKT_TRACE_PARAM("dwType", "%lu", dwType);
    if (dwNum1 == 0 || dwNum2 == 0) {
        VKT_TRACE_TEXT("one value is 0");
        return 0;
    }
    if (!pdwReturn) {
        invalid_parameter("pdwReturn is NULL");
        return 0;
    }
    uint32_t divisor = std::min(dwNum1, dwNum2);
    uint32_t remainder = std::max(dwNum1, dwNum2) % divisor;
    while (remainder != 0) {
        const uint32_t next = divisor % remainder;
        divisor = remainder;
        remainder = next;
    }
    const uint32_t gcd = divisor;
    if (dwType == 1) {
        *pdwReturn = gcd;
    } else {
        // Worked out in 64 bits: a multiple beyond 32 bits is refused rather
        // than wrapped.
        const uint64_t lcm = static_cast<uint64_t>(dwNum1 / gcd) * dwNum2;
        if (lcm > UINT32_MAX) {
            VKT_TRACE_MESSAGE("least common multiple exceeds 32 bits");
            return 0;
        }
        *pdwReturn = static_cast<uint32_t>(lcm);
    }
    VKT_TRACE_VALUE("*pdwReturn", "%lu", *pdwReturn);
    return 1;
}
