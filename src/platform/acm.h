// The audio codec manager the converters talk to: the acm... calls with
// their Windows semantics, over a registry of codec drivers (src/codecs/).
// A stream keeps its codec state from one acmStreamConvert to the next.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "OrvaneVktapi.h"

// ---- the Windows-side types and constants ---------------------------------

using MMRESULT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
inline constexpr MMRESULT ACMERR_BUSY = 513;
inline constexpr MMRESULT ACMERR_UNPREPARED = 514;

inline constexpr uint32_t ACM_STREAMOPENF_QUERY = 0x00000001u;
inline constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004u;
inline constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000u;
inline constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001u;
inline constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004u;
inline constexpr uint32_t ACM_STREAMCONVERTF_START = 0x00000010u;
inline constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020u;
inline constexpr uint32_t ACM_METRIC_MAX_SIZE_FORMAT = 50;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000u;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000u;

struct AcmStream;
using HACMSTREAM = AcmStream*;

#pragma pack(push, 1)
struct ACMSTREAMHEADER {
    uint32_t cbStruct;  // 124
    uint32_t fdwStatus;
    uintptr_t dwUser;
    uint8_t* pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uintptr_t dwSrcUser;
    uint8_t* pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
    uintptr_t dwDstUser;
    uint32_t dwReservedDriver[15];
};
#pragma pack(pop)
static_assert(sizeof(ACMSTREAMHEADER) == 124, "the 64-bit header record is 124 bytes");

// The driver and filter arguments of the Windows calls are accepted and
// ignored (callers pass null); the callback arguments as well.
MMRESULT acmStreamOpen(HACMSTREAM* phas, void* had, const WAVEFORMATEX* pwfxSrc, const WAVEFORMATEX* pwfxDst,
                       void* pwfltr, uintptr_t dwCallback, uintptr_t dwInstance, uint32_t fdwOpen);
MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose);
MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes, uint32_t fdwSize);
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare);
// With ACM_STREAMCONVERTF_END the source is the last of the stream: after
// converting it, the stream appends what its codec still holds back (the
// tail that a filter or a look-ahead delays) to the destination.
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare);
MMRESULT acmMetrics(void* hao, uint32_t uMetric, void* pMetric);
MMRESULT acmFormatSuggest(void* had, const WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst, uint32_t cbwfxDst,
                          uint32_t fdwSuggest);

// ---- codec drivers ----------------------------------------------------------

namespace vkt::acm {

// One open conversion of a driver, with the codec's state.
class CodecStream {
public:
    virtual ~CodecStream() = default;
    // Bytes of output for `bytes` of input (ACM_STREAMSIZEF_SOURCE), or of
    // input for `bytes` of output (ACM_STREAMSIZEF_DESTINATION).
    virtual MMRESULT size(uint32_t bytes, uint32_t flags, uint32_t* result) = 0;
    // Converts as many whole units of src as fit into dst; reports what was used.
    virtual MMRESULT convert(const uint8_t* src, uint32_t src_length, uint8_t* dst, uint32_t dst_length,
                             uint32_t* src_used, uint32_t* dst_used) = 0;
    // At the end of the stream: writes what the codec still holds back (at
    // most one unit of output) and reports its size; nothing by default.
    // MMSYSERR_INVALPARAM when dst has too little room.
    virtual MMRESULT flush(uint8_t* /*dst*/, uint32_t /*dst_length*/, uint32_t* dst_used) {
        *dst_used = 0;
        return MMSYSERR_NOERROR;
    }
};

class Driver {
public:
    virtual ~Driver() = default;
    virtual const char* name() const = 0;
    // Opens a stream between the two formats; MMSYSERR_NOERROR and a stream,
    // or ACMERR_NOTPOSSIBLE when the driver cannot convert between them.
    virtual MMRESULT open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<CodecStream>* stream) = 0;
    // The PCM partner of a compressed format (18 bytes), or ACMERR_NOTPOSSIBLE.
    virtual MMRESULT suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) = 0;
    // The largest format record the driver uses.
    virtual uint32_t max_format_size() const { return sizeof(WAVEFORMATEX); }
};

// Drivers registered by a program (tests) are asked before the built-in
// ones, the latest first.
void register_driver(std::shared_ptr<Driver> driver);
void unregister_driver(const Driver* driver);

// Keeps a driver registered while it lives.
class ScopedDriver {
public:
    explicit ScopedDriver(std::shared_ptr<Driver> driver) : driver_(std::move(driver)) { register_driver(driver_); }
    ~ScopedDriver() { unregister_driver(driver_.get()); }
    ScopedDriver(const ScopedDriver&) = delete;
    ScopedDriver& operator=(const ScopedDriver&) = delete;

private:
    std::shared_ptr<Driver> driver_;
};

// Closes a stream when it goes out of scope.
struct StreamCloser {
    void operator()(AcmStream* s) const { acmStreamClose(s, 0); }
};
using UniqueStream = std::unique_ptr<AcmStream, StreamCloser>;

}  // namespace vkt::acm

namespace vkt::codecs {
// The drivers that come with the library (defined in src/codecs/).
std::vector<std::shared_ptr<acm::Driver>> builtin_drivers();
}  // namespace vkt::codecs
