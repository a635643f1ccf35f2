#include "codecs/block_stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vkt::codecs {

MMRESULT BlockStream::size(uint32_t bytes, uint32_t flags, uint32_t* result) {
    const uint64_t units = flags == ACM_STREAMSIZEF_SOURCE ? bytes / in_unit_ : bytes / out_unit_;
    const uint64_t out = units * (flags == ACM_STREAMSIZEF_SOURCE ? out_unit_ : in_unit_);
    if (out > UINT32_MAX) return MMSYSERR_INVALPARAM;
    *result = static_cast<uint32_t>(out);
    return MMSYSERR_NOERROR;
}

MMRESULT BlockStream::convert(const uint8_t* src, uint32_t src_length, uint8_t* dst, uint32_t dst_length,
                              uint32_t* src_used, uint32_t* dst_used) {
    *src_used = 0;
    *dst_used = 0;
    if ((src_length && !src) || (dst_length && !dst)) return MMSYSERR_INVALPARAM;
    const uint32_t out_units = dst_length / out_unit_;
    uint32_t units = std::min(src_length / in_unit_, out_units);
    for (uint32_t u = 0; u < units; ++u) {
        if (MMRESULT r = convert_unit(src + u * in_unit_, dst + *dst_used); r != MMSYSERR_NOERROR) return r;
        *src_used += in_unit_;
        *dst_used += produced();
    }
    // A lone short frame: the stored bytes without the zero tail of the block.
    if (decoding_ && units == 0 && src_length > 0 && src_length < in_unit_ && out_units > 0) {
        std::vector<uint8_t> block(in_unit_, 0);
        std::memcpy(block.data(), src, src_length);
        if (MMRESULT r = convert_unit(block.data(), dst); r != MMSYSERR_NOERROR) return r;
        *src_used = src_length;
        *dst_used = produced();
    }
    return MMSYSERR_NOERROR;
}

}  // namespace vkt::codecs
