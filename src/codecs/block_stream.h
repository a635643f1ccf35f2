// A codec stream that works on whole units: one codec block in, a fixed
// number of PCM bytes out (decoding), or the other way round (encoding).
#pragma once

#include <cstdint>

#include "platform/acm.h"

namespace vkt::codecs {

class BlockStream : public acm::CodecStream {
public:
    BlockStream(uint32_t in_unit, uint32_t out_unit, bool decoding)
        : in_unit_(in_unit), out_unit_(out_unit), decoding_(decoding) {}

    // Whole units only, in both directions: output bytes for `bytes` of input
    // (ACM_STREAMSIZEF_SOURCE), input bytes for `bytes` of output
    // (ACM_STREAMSIZEF_DESTINATION).
    MMRESULT size(uint32_t bytes, uint32_t flags, uint32_t* result) override;

    // Converts min(source units, destination units) units. When decoding, a
    // source shorter than one codec block (a stored frame handed over without
    // its trailing bytes) is taken as one block padded with zeros. The
    // output of the units follows on without gaps, also when a unit gives
    // less than a whole unit of output (see produced()).
    MMRESULT convert(const uint8_t* src, uint32_t src_length, uint8_t* dst, uint32_t dst_length,
                     uint32_t* src_used, uint32_t* dst_used) override;

protected:
    // Converts one unit: in_unit bytes at `in` into out_unit bytes at `out`.
    virtual MMRESULT convert_unit(const uint8_t* in, uint8_t* out) = 0;
    // Bytes the last convert_unit wrote: out_unit, or fewer while a codec
    // with a delay fills its pipeline (it hands the rest out in flush()).
    virtual uint32_t produced() const { return out_unit_; }

private:
    uint32_t in_unit_;
    uint32_t out_unit_;
    bool decoding_;
};

}  // namespace vkt::codecs
