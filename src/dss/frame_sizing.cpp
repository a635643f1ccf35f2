#include "dss/frame_sizing.h"

#include <atomic>
#include <string>

#include "dss/dss_layout.h"
#include "platform/path.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("INTERNAL");

using namespace vkt::platform;


namespace {

// Each kind of frame is reported the first time it is met. The flags are
// process-wide; a lost or repeated line under concurrent use is harmless.
enum FrameKind {
    kGrundigPlain,
    kGrundigCompressed,
    kGrundigUncompressed,
    kTruespeechPlain,
    kTruespeechCompressed,
    kTruespeechUncompressed,
    kFrameKinds
};

std::atomic<bool> g_frame_reported[kFrameKinds];

void report_frame_once(FrameKind kind, const char* text) {
    if (g_frame_reported[kind].load(std::memory_order_relaxed)) return;
    if (!g_frame_reported[kind].exchange(true, std::memory_order_relaxed)) VKT_TRACE_WARNING(text);
}

}  // namespace

void VKT_clear_frame_size_reports() {
    for (auto& flag : g_frame_reported) flag.store(false, std::memory_order_relaxed);
}

uint32_t KRVDSS_get_size_of_frame(const uint8_t* pbyFrame_p, uint8_t byCompressionId_p, uint32_t* pdwSize_p) {
    using vkt::dss::kCompressionIds;
    *pdwSize_p = 0;
    switch (byCompressionId_p) {
        case 0:
        case 4:
            report_frame_once(kGrundigPlain, "HHH Frame GRUNDIG without Compression");
            *pdwSize_p = kCompressionIds[byCompressionId_p].frame_bytes;
            return 0;
        case 1:
            if ((pbyFrame_p[0] & 0x80) == 0) {
                report_frame_once(kGrundigCompressed, "HHH GRUNDIG with Compression, Frame compressed");
                *pdwSize_p = kCompressionIds[1].short_frame_bytes;
            } else {
                report_frame_once(kGrundigUncompressed, "HHH GRUNDIG with Compression, Frame   n o t   compressed");
                *pdwSize_p = kCompressionIds[1].frame_bytes;
            }
            return 0;
        case 2:
            report_frame_once(kTruespeechPlain, "HHH Frame TRUESPEECH without Compression");
            *pdwSize_p = kCompressionIds[2].frame_bytes;
            return 0;
        case 3:
            if ((pbyFrame_p[1] & 0x02) != 0) {
                report_frame_once(kTruespeechCompressed, "HHH TRUESPEECH with Compression, Frame compressed");
                *pdwSize_p = kCompressionIds[3].short_frame_bytes;
            } else {
                report_frame_once(kTruespeechUncompressed,
                                  "HHH TRUESPEECH with Compression, Frame   n o t   compressed");
                *pdwSize_p = kCompressionIds[3].frame_bytes;
            }
            return 0;
        case 6:
        case 7:
            *pdwSize_p = kCompressionIds[byCompressionId_p].frame_bytes;
            return 0;
        default:
            VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p");
            return VKT_ERR_INVALID_COMPRESSIONID;
    }
}

uint32_t VKT_get_size_of_blockalign(uint8_t byCompressionId_p, uint32_t* pdwSize_p) {
    *pdwSize_p = 0;
    uint32_t result = 0;
    if (const auto* format = vkt::dss::compression_format(byCompressionId_p)) {
        *pdwSize_p = format->block_align;
    } else {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p");
        result = VKT_ERR_INVALID_COMPRESSIONID;
    }
    VKT_TRACE_VALUE("*pdwSize_p", "%lu", *pdwSize_p);
    return result;
}

uint32_t VKT_get_frame_duration_ms(uint8_t byCompressionId_p) { return vkt::dss::frame_duration_ms(byCompressionId_p); }

DataBlockFault VKT_check_datablock(uint8_t byCompressionId_p, uint32_t dwNrOfFrames_p, uint32_t dwFramePointer_p) {
    if (byCompressionId_p < 8 && vkt::dss::kCompressionIds[byCompressionId_p].long_blocks) return DataBlockFault::None;
    if (dwNrOfFrames_p > vkt::dss::kMaxFramesPerBlock) return DataBlockFault::FrameCount;
    if (dwNrOfFrames_p * vkt::dss::kCompressionIds[vkt::dss::kIdStandardPlay].frame_bytes + dwFramePointer_p >=
        vkt::dss::kFramePointerLimit)
        return DataBlockFault::FramePointer;
    return DataBlockFault::None;
}

void VKT_log_compressionId(uint8_t byCompressionId_p) {
    switch (byCompressionId_p) {
        case 0: VKT_TRACE_WARNING("HHH CompressionId: GRUNDIG (Standardplay)   w i t h o u t   Compression"); break;
        case 1: VKT_TRACE_WARNING("HHH CompressionId: GRUNDIG (Standardplay)   w i t h   Compression"); break;
        case 2: VKT_TRACE_WARNING("HHH CompressionId: TRUESPEECH (Longplay)   w i t h o u t   Compression"); break;
        case 3: VKT_TRACE_WARNING("HHH CompressionId: TRUESPEECH (Longplay)   w i t h  Compression"); break;
        case 4: VKT_TRACE_WARNING("HHH CompressionId: GRUNDIG (LongPlay)"); break;
        default: VKT_TRACE_WARNING("HHH CompressionId Unvalid"); break;
    }
}

uint32_t check_dss_target_name(const char* pcszFileName_p, bool bNeedsDssPro_p) {
    std::string ext = pcszFileName_p ? extension_of(pcszFileName_p) : std::string();
    const bool ds2 = extension_starts_with(ext, ".ds2", 4);
    if (!ds2 && !extension_starts_with(ext, ".dss", 4)) {
        VKT_TRACE_ERROR(VKT_ERR, "invalid file extension, must be .DSS or .DS2");
        return VKT_ERR;
    }
    if (bNeedsDssPro_p && !ds2) {
        VKT_TRACE_ERROR(VKT_ERR, "QP/encryption requires DSS Pro");
        return VKT_ERR;
    }
    return 0;
}
