// Streams through the codec manager, sample and byte conversions.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/acm.h"
#include "support/riff_bytes.h"

namespace codec_test {

using riff_bytes::byte_samples;
using riff_bytes::sample_bytes;

inline vkt::acm::UniqueStream open_stream(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, MMRESULT* result = nullptr) {
    HACMSTREAM h = nullptr;
    MMRESULT r = acmStreamOpen(&h, nullptr, &src, &dst, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (result) *result = r;
    return vkt::acm::UniqueStream(r == 0 ? h : nullptr);
}

// A stream header over `n` source bytes and `room` destination bytes.
inline ACMSTREAMHEADER stream_header(const uint8_t* src, size_t n, uint8_t* dst, size_t room) {
    ACMSTREAMHEADER hdr{};
    hdr.cbStruct = sizeof hdr;
    hdr.pbSrc = const_cast<uint8_t*>(src);
    hdr.cbSrcLength = static_cast<uint32_t>(n);
    hdr.pbDst = dst;
    hdr.cbDstLength = static_cast<uint32_t>(room);
    return hdr;
}

// `per_call` input units at a time, as the converters do; a last call ends the stream.
inline std::vector<uint8_t> run_stream(HACMSTREAM h, const std::vector<uint8_t>& src, uint32_t in_unit,
                                       uint32_t out_unit, size_t per_call = 1) {
    std::vector<uint8_t> out, dst(out_unit * per_call);
    auto call = [&](const uint8_t* from, size_t n, uint32_t flags) {
        ACMSTREAMHEADER hdr = stream_header(from, n, dst.data(), dst.size());
        EXPECT_EQ(acmStreamPrepareHeader(h, &hdr, 0), 0u);
        EXPECT_EQ(acmStreamConvert(h, &hdr, flags), 0u);
        EXPECT_EQ(acmStreamUnprepareHeader(h, &hdr, 0), 0u);
        out.insert(out.end(), dst.begin(), dst.begin() + hdr.cbDstLengthUsed);
    };
    for (size_t pos = 0; pos < src.size(); pos += in_unit * per_call)
        call(src.data() + pos, std::min<size_t>(in_unit * per_call, src.size() - pos), 0);
    call(dst.data(), 0, ACM_STREAMCONVERTF_END);
    return out;
}


}  // namespace codec_test
