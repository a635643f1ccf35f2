#include "platform/acm.h"

#include <algorithm>
#include <cstring>
#include <mutex>

struct AcmStream {
    std::unique_ptr<vkt::acm::CodecStream> codec;
    std::shared_ptr<vkt::acm::Driver> driver;  // kept alive while the stream is open
};

namespace vkt::acm {

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<Driver>> added;  // by programs, asked first (latest first)
    std::vector<std::shared_ptr<Driver>> builtin;
    bool builtin_loaded = false;

    std::vector<std::shared_ptr<Driver>> all() {
        std::lock_guard lock(mutex);
        if (!builtin_loaded) {
            builtin = codecs::builtin_drivers();
            builtin_loaded = true;
        }
        std::vector<std::shared_ptr<Driver>> list(added.rbegin(), added.rend());
        list.insert(list.end(), builtin.begin(), builtin.end());
        return list;
    }
};

Registry& registry() {
    static Registry r;
    return r;
}

bool header_ok(const ACMSTREAMHEADER* pash) {
    return pash && pash->cbStruct >= sizeof(ACMSTREAMHEADER);
}

}  // namespace

void register_driver(std::shared_ptr<Driver> driver) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.added.push_back(std::move(driver));
}

void unregister_driver(const Driver* driver) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.added.erase(std::remove_if(r.added.begin(), r.added.end(),
                                 [driver](const std::shared_ptr<Driver>& d) { return d.get() == driver; }),
                  r.added.end());
}

}  // namespace vkt::acm

using namespace vkt::acm;

MMRESULT acmStreamOpen(HACMSTREAM* phas, void* /*had*/, const WAVEFORMATEX* pwfxSrc, const WAVEFORMATEX* pwfxDst,
                       void* /*pwfltr*/, uintptr_t /*dwCallback*/, uintptr_t /*dwInstance*/, uint32_t fdwOpen) {
    const bool query = (fdwOpen & ACM_STREAMOPENF_QUERY) != 0;
    if (!pwfxSrc || !pwfxDst || (!query && !phas)) return MMSYSERR_INVALPARAM;
    if (phas) *phas = nullptr;
    for (const auto& driver : registry().all()) {
        std::unique_ptr<CodecStream> codec;
        if (driver->open(*pwfxSrc, *pwfxDst, &codec) != MMSYSERR_NOERROR || !codec) continue;
        if (query) return MMSYSERR_NOERROR;
        auto stream = std::make_unique<AcmStream>();
        stream->codec = std::move(codec);
        stream->driver = driver;
        *phas = stream.release();
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmStreamClose(HACMSTREAM has, uint32_t /*fdwClose*/) {
    if (!has) return MMSYSERR_INVALHANDLE;
    std::unique_ptr<AcmStream> owned(has);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes, uint32_t fdwSize) {
    if (!has) return MMSYSERR_INVALHANDLE;
    if (!pdwOutputBytes) return MMSYSERR_INVALPARAM;
    if (fdwSize != ACM_STREAMSIZEF_SOURCE && fdwSize != ACM_STREAMSIZEF_DESTINATION) return MMSYSERR_INVALFLAG;
    *pdwOutputBytes = 0;
    return has->codec->size(cbInput, fdwSize, pdwOutputBytes);
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t /*fdwPrepare*/) {
    if (!has) return MMSYSERR_INVALHANDLE;
    if (!header_ok(pash)) return MMSYSERR_INVALPARAM;
    if (pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) return MMSYSERR_INVALPARAM;
    pash->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert) {
    if (!has) return MMSYSERR_INVALHANDLE;
    if (!header_ok(pash)) return MMSYSERR_INVALPARAM;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    pash->cbSrcLengthUsed = 0;
    pash->cbDstLengthUsed = 0;
    MMRESULT r = has->codec->convert(pash->pbSrc, pash->cbSrcLength, pash->pbDst, pash->cbDstLength,
                                     &pash->cbSrcLengthUsed, &pash->cbDstLengthUsed);
    if (r == MMSYSERR_NOERROR && (fdwConvert & ACM_STREAMCONVERTF_END)) {
        uint32_t tail = 0;
        r = has->codec->flush(pash->pbDst + pash->cbDstLengthUsed, pash->cbDstLength - pash->cbDstLengthUsed, &tail);
        pash->cbDstLengthUsed += tail;
    }
    pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return r;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t /*fdwUnprepare*/) {
    if (!has) return MMSYSERR_INVALHANDLE;
    if (!header_ok(pash)) return MMSYSERR_INVALPARAM;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmMetrics(void* /*hao*/, uint32_t uMetric, void* pMetric) {
    if (!pMetric) return MMSYSERR_INVALPARAM;
    if (uMetric != ACM_METRIC_MAX_SIZE_FORMAT) return MMSYSERR_NOTSUPPORTED;
    uint32_t largest = sizeof(WAVEFORMATEX);
    for (const auto& driver : registry().all()) largest = std::max(largest, driver->max_format_size());
    std::memcpy(pMetric, &largest, sizeof largest);
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(void* /*had*/, const WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst, uint32_t cbwfxDst,
                          uint32_t /*fdwSuggest*/) {
    if (!pwfxSrc || !pwfxDst || cbwfxDst < sizeof(WAVEFORMATEX)) return MMSYSERR_INVALPARAM;
    for (const auto& driver : registry().all()) {
        WAVEFORMATEX suggestion{};
        if (driver->suggest(*pwfxSrc, &suggestion) != MMSYSERR_NOERROR) continue;
        std::memcpy(pwfxDst, &suggestion, sizeof suggestion);
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}
