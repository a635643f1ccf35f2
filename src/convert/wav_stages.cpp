#include "convert/wav_stages.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "convert/codec_stage.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

// The stages are the inner workings of CWavConvert and trace as it does.
VKT_TRACE_UNIT("Cwavconv");

namespace vkt::convert {

namespace {

// The probe of the DSS encoder: one frame of PCM into one codec block.
constexpr uintptr_t kProbeUser = 18785;
constexpr uint32_t kProbePcmBytes = 576;
constexpr uint32_t kProbeCodecBytes = 42;
// Transcoded blocks of the tag 0x0120 pair.
constexpr uint32_t kTranscodeIn = 40;
constexpr uint32_t kTranscodeOut = 24;

constexpr const char* kDestinationBuffer = "GetLastError() after HeapAlloc() destination data buffer";
constexpr const char* kEncoderUnitError = "Error calculating destination block alignment at acm source side";

void allocate_bytes(std::vector<uint8_t>& bytes, uint32_t size, const char* what) {
    try {
        bytes.assign(size, 0);
    } catch (const std::bad_alloc&) {
        VKT_TRACE_ERROR(VKT_ERR_OUT_OF_MEMORY, what);
        vkt::raise(VKT_ERR_OUT_OF_MEMORY);
    }
}

WAVEFORMATEX head_of(const std::vector<uint8_t>& format) {
    WAVEFORMATEX head{};
    std::memcpy(&head, format.data(), std::min(format.size(), sizeof head));
    return head;
}

// Opens a codec stream from one format to another; VKT_ERR_CODEC when no
// codec takes the pair.
uint32_t open_codec(vkt::acm::UniqueStream* stream, const WAVEFORMATEX* from, const WAVEFORMATEX* to) {
    HACMSTREAM opened = nullptr;
    const MMRESULT mmr = acmStreamOpen(&opened, nullptr, from, to, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "Error opening acm_xfmt_pcm driver");
        return VKT_ERR_CODEC;
    }
    stream->reset(opened);
    return VKT_OK;
}

}  // namespace

// ---- common parts ------------------------------------------------------------

uint32_t ConversionStage::input_unit(uint32_t nextUnit, bool /*last*/, uint32_t* unit) {
    *unit = nextUnit;
    return VKT_OK;
}

void ConversionStage::allocate(bool last) {
    output_.allocate(last ? kDestinationBuffer : "GetLastError() after HeapAlloc() afc destination data buffer");
}

void ConversionStage::Buffer::allocate(const char* what) { allocate_bytes(bytes_, wanted_, what); }

void CarryBuffer::reset(uint32_t size) {
    size_ = size;
    fill_ = handedOn_ = 0;
    bytes_.clear();
}

void CarryBuffer::allocate(const char* what) {
    if (size_) allocate_bytes(bytes_, size_, what);
}

void CarryBuffer::drop_handed_on() {
    if (handedOn_ == 0) return;
    std::memmove(bytes_.data(), bytes_.data() + handedOn_, fill_ - handedOn_);
    fill_ -= handedOn_;
    handedOn_ = 0;
}

uint32_t CarryBuffer::room() const { return size_ - (fill_ - handedOn_); }

uint32_t CarryBuffer::take(const uint8_t* data, uint32_t length, uint32_t unit) {
    drop_handed_on();
    if (length) std::memcpy(bytes_.data() + fill_, data, length);
    fill_ += length;
    handedOn_ = fill_ / unit * unit;
    return handedOn_;
}

// ---- decode ------------------------------------------------------------------

DecodeStage::DecodeStage(std::vector<uint8_t> source, const WAVEFORMATEX& pcm)
    : source_(std::move(source)), sourceHead_(head_of(source_)), pcm_(pcm) {}

uint32_t DecodeStage::open() {
    return open_codec(&stream_, reinterpret_cast<const WAVEFORMATEX*>(source_.data()), &pcm_);
}

uint32_t DecodeStage::size_for(uint32_t maxInput, uint32_t* maxOutput) {
    uint32_t decoded = 0;
    if (size_conv_stream(intconv::XFMT_PCM_CONV, maxInput, &decoded, stream_.get()) != VKT_OK) {
        VKT_TRACE_ERROR(VKT_ERR_CODEC, "by size_conv_stream()");
        return VKT_ERR_CODEC;
    }
    if (decoded > kBufferBudget) return kStageTooLarge;
    // A decoder with a filter delay gives less than its blocks' share at
    // first and the rest when the stream ends: room for one more decoded
    // block, and a carry buffer that evens out the pieces.
    uint32_t held_back = 0;
    if (size_conv_stream(intconv::XFMT_PCM_CONV, sourceHead_.nBlockAlign, &held_back, stream_.get()) != VKT_OK) {
        VKT_TRACE_ERROR(VKT_ERR_CODEC, "by size_conv_stream()");
        return VKT_ERR_CODEC;
    }
    if (held_back > kBufferBudget) return kStageTooLarge;
    output_.want(decoded + held_back);
    carry_.reset(handOnUnit_ ? decoded + held_back + 2 * handOnUnit_ : 0);
    *maxOutput = handOnUnit_ ? carry_.size() : output_.size_wanted();
    return VKT_OK;
}

void DecodeStage::allocate(bool last) {
    output_.allocate(last ? kDestinationBuffer : "GetLastError() after HeapAlloc() afc source data buffer");
    carry_.allocate("GetLastError() after HeapAlloc() additional data buffer");
}

uint32_t DecodeStage::run(const uint8_t* data, uint32_t length, bool lastStep, const uint8_t** out,
                          uint32_t* outLength) {
    uint32_t produced = 0;
    if (uint32_t rc = process_single_stream(intconv::XFMT_PCM_CONV, data, length, output_.data(),
                                            output_.size_wanted(), &produced, stream_.get())) {
        VKT_TRACE_ERROR(rc, "Error processing XFMT_PCM_CONV stream");
        return rc;
    }
    if (lastStep) {
        uint32_t held_back = 0;
        if (uint32_t rc = flush_single_stream(intconv::XFMT_PCM_CONV, output_.data() + produced,
                                              output_.size_wanted() - produced, &held_back, stream_.get()))
            return rc;
        produced += held_back;
    }
    if (!handOnUnit_) {
        *out = output_.data();
        *outLength = produced;
        return VKT_OK;
    }
    if (produced > carry_.room()) {
        VKT_TRACE_ERROR(VKT_ERR_CONVERSION, "additional data buffer too small");
        return VKT_ERR_CONVERSION;
    }
    *outLength = carry_.take(output_.data(), produced, handOnUnit_);
    *out = carry_.data();
    return VKT_OK;
}

// ---- rate and width ----------------------------------------------------------

RateStage::RateStage(const WAVEFORMATEX& in, const WAVEFORMATEX& out) : in_(in), out_(out) {}

RateStage::~RateStage() {
    if (converter_) AFC_streamClose(&converter_);
}

uint32_t RateStage::open() {
    const uint16_t res = AFC_streamOpen(&converter_, &in_, &out_);
    if (res != 0) {
        converter_ = nullptr;
        VKT_TRACE_ERROR(res, "Error opening afc_pcm_pcm driver");
        return VKT_ERR_CODEC;
    }
    return VKT_OK;
}

uint32_t RateStage::input_unit(uint32_t nextUnit, bool last, uint32_t* unit) {
    uint32_t divisor = 0;
    if (!InternalEuklidAlgorithm(in_.nSamplesPerSec, out_.nSamplesPerSec, 1, &divisor)) return VKT_ERR_INVALID_WAVFMT;
    // Block alignments and rates come from the file: the products are
    // formed in 64 bits and a unit beyond the buffer budget is refused.
    const uint64_t in_unit = uint64_t{in_.nBlockAlign} * (in_.nSamplesPerSec / divisor);
    uint64_t whole = in_unit;
    if (!last) {
        // The output of one input unit, rounded up to whole units of the
        // next stage.
        const uint64_t out_unit = uint64_t{out_.nBlockAlign} * (out_.nSamplesPerSec / divisor);
        uint32_t multiple = 0;
        if (out_unit == 0 || out_unit > UINT32_MAX ||
            !InternalEuklidAlgorithm(static_cast<uint32_t>(out_unit), nextUnit, 2, &multiple))
            return VKT_ERR_INVALID_WAVFMT;
        whole = in_unit * (multiple / out_unit);
    }
    if (whole > kBufferBudget) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "source block alignment too large");
        return VKT_ERR_INVALID_WAVFMT;
    }
    *unit = static_cast<uint32_t>(whole);
    return VKT_OK;
}

uint32_t RateStage::size_for(uint32_t maxInput, uint32_t* maxOutput) {
    uint32_t converted = 0;
    if (uint32_t rc = size_conv_stream(intconv::AFC_CONV, maxInput, &converted, &converter_)) {
        VKT_TRACE_ERROR(rc, "by size_conv_stream()");
        return rc;
    }
    if (converted > kBufferBudget) return kStageTooLarge;
    output_.want(converted);
    *maxOutput = converted;
    return VKT_OK;
}

uint32_t RateStage::run(const uint8_t* data, uint32_t length, bool lastStep, const uint8_t** out,
                        uint32_t* outLength) {
    if (lastStep) {
        // The converter takes whole units of the rate ratio; a partial one
        // at the end is dropped.
        uint32_t divisor = 0;
        if (InternalEuklidAlgorithm(in_.nSamplesPerSec, out_.nSamplesPerSec, 1, &divisor)) {
            const uint32_t unit = in_.nBlockAlign * (in_.nSamplesPerSec / divisor);
            if (unit) length = length / unit * unit;
        }
    }
    uint32_t produced = 0;
    if (uint32_t rc = process_single_stream(intconv::AFC_CONV, data, length, output_.data(), output_.size_wanted(),
                                            &produced, &converter_)) {
        VKT_TRACE_ERROR(rc, "Error processing AFC_CONV stream");
        return rc;
    }
    *out = output_.data();
    *outLength = produced;
    return VKT_OK;
}

// ---- encode ------------------------------------------------------------------

EncodeStage::EncodeStage(const WAVEFORMATEX& pcm, std::vector<uint8_t> destination, bool afterRateChange,
                         bool probe)
    : pcm_(pcm),
      destination_(std::move(destination)),
      destinationHead_(head_of(destination_)),
      afterRateChange_(afterRateChange),
      probe_(probe) {}

uint32_t EncodeStage::open() {
    if (uint32_t rc = open_codec(&stream_, &pcm_, reinterpret_cast<const WAVEFORMATEX*>(destination_.data())))
        return rc;
    if (probe_) {
        // Preparing one header tells whether the encoder takes buffers of
        // one frame before any data is read.
        uint8_t pcm[kProbePcmBytes] = {};
        uint8_t codec[kProbeCodecBytes] = {};
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof header;
        header.dwUser = kProbeUser;
        header.pbSrc = pcm;
        header.cbSrcLength = sizeof pcm;
        header.pbDst = codec;
        header.cbDstLength = sizeof codec;
        if (MMRESULT prepared = acmStreamPrepareHeader(stream_.get(), &header, 0)) {
            VKT_TRACE_ERROR(prepared, "by acmStreamPrepareHeader(...)");
            return VKT_ERR_CODEC;
        }
        if (MMRESULT unprepared = acmStreamUnprepareHeader(stream_.get(), &header, 0)) {
            VKT_TRACE_ERROR(unprepared, "by acmStreamUnprepareHeader(..)");
            return VKT_ERR_CODEC;
        }
    }
    return VKT_OK;
}

uint32_t EncodeStage::input_per_block(uint32_t* bytes) {
    return size_conv_stream(bytes, destinationHead_.nBlockAlign, stream_.get());
}

uint32_t EncodeStage::input_unit(uint32_t /*nextUnit*/, bool /*last*/, uint32_t* unit) {
    // The MP3 encoder takes any whole number of PCM frames.
    if (destinationHead_.wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
        *unit = pcm_.nBlockAlign;
        return VKT_OK;
    }
    if (uint32_t rc = input_per_block(unit)) {
        VKT_TRACE_ERROR(rc, kEncoderUnitError);
        return rc;
    }
    return VKT_OK;
}

uint32_t EncodeStage::size_for(uint32_t maxInput, uint32_t* maxOutput) {
    blockInput_ = 0;
    carry_.reset(0);
    if (afterRateChange_) {
        // A rate change in several stages delivers its output in pieces
        // that need not be whole encoder blocks: room for one more block
        // that waits for the next step.
        if (input_per_block(&blockInput_) != VKT_OK || blockInput_ == 0) {
            VKT_TRACE_ERROR(VKT_ERR_CODEC, kEncoderUnitError);
            return VKT_ERR_CODEC;
        }
        if (blockInput_ > kBufferBudget) return kStageTooLarge;
    }
    const uint32_t most_input = maxInput + blockInput_;
    uint32_t encoded = 0;
    if (size_conv_stream(intconv::PCM_YFMT_CONV, most_input, &encoded, stream_.get()) != VKT_OK) {
        VKT_TRACE_ERROR(VKT_ERR_CODEC, "by size_conv_stream()");
        return VKT_ERR_CODEC;
    }
    if (encoded > kBufferBudget) return kStageTooLarge;
    // An encoder with a look-ahead hands out its last block when the stream
    // ends.
    output_.want(encoded + destinationHead_.nBlockAlign);
    if (blockInput_) carry_.reset(most_input);
    *maxOutput = output_.size_wanted();
    return VKT_OK;
}

void EncodeStage::allocate(bool last) {
    carry_.allocate("GetLastError() after HeapAlloc() encoder input buffer");
    ConversionStage::allocate(last);
}

uint32_t EncodeStage::run(const uint8_t* data, uint32_t length, bool lastStep, const uint8_t** out,
                          uint32_t* outLength) {
    if (blockInput_) {
        length = carry_.take(data, length, blockInput_);
        data = carry_.data();
    }
    if (lastStep) {
        uint32_t unit = 0;
        if (input_per_block(&unit) != VKT_OK || unit == 0)
            VKT_TRACE_ERROR(VKT_ERR_CODEC, kEncoderUnitError);
        else
            length = length / unit * unit;
    }
    uint32_t produced = 0;
    if (uint32_t rc = process_single_stream(intconv::PCM_YFMT_CONV, data, length, output_.data(),
                                            output_.size_wanted(), &produced, stream_.get())) {
        VKT_TRACE_ERROR(rc, "Error processing PCM_YFMT_CONV stream");
        return rc;
    }
    if (lastStep) {
        uint32_t held_back = 0;
        if (uint32_t rc = flush_single_stream(intconv::PCM_YFMT_CONV, output_.data() + produced,
                                              output_.size_wanted() - produced, &held_back, stream_.get()))
            return rc;
        produced += held_back;
    }
    *out = output_.data();
    *outLength = produced;
    return VKT_OK;
}

// ---- block cut ---------------------------------------------------------------

uint32_t TranscodeStage::size_for(uint32_t maxInput, uint32_t* maxOutput) {
    output_.want(maxInput / kTranscodeIn * kTranscodeOut);
    *maxOutput = output_.size_wanted();
    return VKT_OK;
}

uint32_t TranscodeStage::run(const uint8_t* data, uint32_t length, bool /*lastStep*/, const uint8_t** out,
                             uint32_t* outLength) {
    uint32_t produced = 0;
    if (uint32_t rc = process_single_stream(intconv::XFMT_BLOCK_CONV, data, length, output_.data(),
                                            output_.size_wanted(), &produced)) {
        VKT_TRACE_ERROR(rc, "Error processing XFMT_PCM_CONV stream");
        return rc;
    }
    *out = output_.data();
    *outLength = produced;
    return VKT_OK;
}

}  // namespace vkt::convert
