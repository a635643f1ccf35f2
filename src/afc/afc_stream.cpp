#include "afc/afc_stream.h"

#include <algorithm>
#include <memory>

#include "afc/format_chain.h"
#include "afc/support.h"

namespace {

constexpr uint32_t kRates[] = {8000, 11025, 12000, 16000, 22050, 32000, 44100, 64000, 88200, 176400};

bool accepted(const WAVEFORMATEX& f) {
    const uint32_t rate = f.nSamplesPerSec;  // by value: the record is packed
    return f.nChannels == 1 && (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.wFormatTag == 1 &&
           std::find(std::begin(kRates), std::end(kRates), rate) != std::end(kRates);
}

int32_t type_of(const WAVEFORMATEX& f) {
    switch (f.wFormatTag) {
        case 0x98:
            return afc_type::kCodec98;
        case 0x120:
            return f.nSamplesPerSec == 8000 ? afc_type::kCodec120At8000 : afc_type::kCodec120;
        default:
            return afc_type::kPCM;
    }
}

AudioFormatSide side_of(const WAVEFORMATEX& f) {
    AudioFormatSide s;
    s.type = type_of(f);
    s.rate = f.nSamplesPerSec;
    s.bits = f.wBitsPerSample;
    s.mono = f.nChannels == 1;
    return s;
}

// Ends the stream after a failure: the converter goes, the handle is null.
void end_stream(AFC_HANDLE* handle) {
    delete *handle;
    *handle = nullptr;
}

template <typename Work>
uint16_t guarded(AFC_HANDLE* handle, Work work) {
    try {
        work();
        return afc_result::kOk;
    } catch (const SException& e) {
        end_stream(handle);
        return e.Code();
    } catch (...) {
        end_stream(handle);
        return afc_result::kUnexpected;
    }
}

}  // namespace

uint16_t AFC_streamOpen(AFC_HANDLE* handle, const WAVEFORMATEX* src, const WAVEFORMATEX* dst) {
    if (!handle || !src || !dst) return afc_result::kNullArgument;
    if (!accepted(*src) || !accepted(*dst)) return afc_error::kNotSupportedWaveFormat;
    return guarded(handle, [&] {
        const SRPCMConverterParams pars(side_of(*src), side_of(*dst), 2);
        auto converter = std::make_unique<SRFreeInputAFConverter>(pars);
        *handle = converter.release();
    });
}

uint16_t AFC_streamConvert(AFC_HANDLE* handle, const uint8_t* src, uint32_t srcBytes, uint32_t* srcTaken,
                           uint8_t* dst, uint32_t dstBytes, uint32_t* dstWritten) {
    // The two count pointers are checked too: a null one would otherwise
    // end the process instead of the call.
    if (!handle || !*handle || !src || !srcTaken || !dst || !dstWritten) return afc_result::kNullArgument;
    if (srcBytes == 0 || dstBytes == 0) return afc_result::kZeroBytes;
    return guarded(handle, [&] {
        SRJBuffer in, out;
        // The source is only read; the buffer type has no read-only view.
        in.SetBuffer(const_cast<uint8_t*>(src), srcBytes);
        out.SetBuffer(dst, dstBytes);
        (*handle)->Convert(in, out);
        *srcTaken = in.GetSizeBytes();
        *dstWritten = out.GetSizeBytes();
    });
}

uint16_t AFC_streamDestLength(AFC_HANDLE* handle, uint32_t srcBytes, uint32_t* dstBytes) {
    if (!handle || !*handle || !dstBytes) return afc_result::kNullArgument;
    if (srcBytes == 0) return afc_result::kZeroBytes;
    return guarded(handle, [&] { *dstBytes = (*handle)->GetOutputSizeFor(srcBytes); });
}

uint16_t AFC_streamClose(AFC_HANDLE* handle) {
    if (handle && *handle) delete *handle;
    return afc_result::kOk;
}
