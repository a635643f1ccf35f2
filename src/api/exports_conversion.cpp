// The conversion exports and the format and length queries: each writes its
// entry line and parameters, then calls the conversion (src/convert,
// src/media) inside the one catch that turns a failure into a result code.
#include "OrvaneVktapi.h"
#include "convert/conv_entry.h"
#include "convert/format_queries.h"
#include "convert/conversions.h"
#include "convert/wav_converter.h"
#include "media/media_operations.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("vktconv");

namespace {

// The entry line of a conversion export and its parameters.
void trace_conversion_call(const char* entry, const char* source_label, const char* source,
                           const char* destination_label, const char* destination, const WAVEFORMATEX* pwfxDst,
                           ProgressCallback pfnCallback, intptr_t lCallback) {
    VKT_TRACE_TEXT(entry);
    VKT_TRACE_PARAM(source_label, "%s", source);
    VKT_TRACE_PARAM(destination_label, "%s", destination);
    VKT_TRACE_PARAM("pwfxDst", "%p", pwfxDst);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
}

}  // namespace

extern "C" {

ORVKT_API VKTRESULT ORVKTDSSToWAV(const char* pcszDSSFileName, const char* pcszWAVFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback, const char* pcszPassword) {
    trace_conversion_call("+ORVKTDSSToWAV", "pcszDSSFileName", pcszDSSFileName,
                          "pcszWAVFileName", pcszWAVFileName, pwfxDst, pfnCallback, lCallback);
    try {
        return vkt::convert::dss_to_wav(pcszDSSFileName, pcszWAVFileName, pwfxDst, pfnCallback, lCallback, pcszPassword);
    }
    VKT_CATCH_RETURN("catched in ORVKTDSSToWAV")
}

ORVKT_API VKTRESULT ORVKTDSSToWAVEx(const char* pcszDSSFileName, const char* pcszWAVFileName,
                                    const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                    int32_t lCallback, void* pReserved1, void* pReserved2,
                                    const char* pcszPassword) {
    (void)pReserved1;
    (void)pReserved2;
    return ORVKTDSSToWAV(pcszDSSFileName, pcszWAVFileName, pwfxDst, pfnCallback,
                         static_cast<intptr_t>(lCallback), pcszPassword);
}

ORVKT_API VKTRESULT ORVKTWAVToDSS(const char* pcszWAVFileName, const char* pcszDSSFileName,
                                  const WAVEFORMATEX* pwfxDst, int16_t sHeaders,
                                  ProgressCallback pfnCallback, intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTWAVToDSS");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("pcszDSSFileName", "%s", pcszDSSFileName);
    VKT_TRACE_PARAM("pwfxDst", "%p", pwfxDst);
    VKT_TRACE_PARAM("sHeaders", "%d", sHeaders);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    try {
        return vkt::convert::wav_to_dss(pcszWAVFileName, pcszDSSFileName, pwfxDst, sHeaders, pfnCallback, lCallback);
    }
    VKT_CATCH_RETURN("catched in ORVKTWAVToDSS")
}

ORVKT_API VKTRESULT ORVKTDSSToDSS(const char* pcszSrcFileName, const char* pcszDstFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback, const char* pcszPassword) {
    trace_conversion_call("+ORVKTDSSToDSS", "pcszSrcFileName", pcszSrcFileName,
                          "pcszDstFileName", pcszDstFileName, pwfxDst, pfnCallback, lCallback);
    try {
        return vkt::convert::dss_to_dss(pcszSrcFileName, pcszDstFileName, pwfxDst, pfnCallback, lCallback, pcszPassword);
    }
    VKT_CATCH_RETURN("catched in ORVKTDSSToDSS")
}

ORVKT_API VKTRESULT ORVKTWAVToWAV(const char* pcszWAVSrcFileName, const char* pcszWAVDstFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback) {
    trace_conversion_call("+ORVKTWAVToWAV", "pcszWAVSrcFileName", pcszWAVSrcFileName,
                          "pcszWAVDstFileName", pcszWAVDstFileName, pwfxDst, pfnCallback, lCallback);
    try {
        return VKTWAVToWAVInternal(pcszWAVSrcFileName, pcszWAVDstFileName, pwfxDst, pfnCallback, lCallback, 0, 100,
                                   false);
    }
    VKT_CATCH_RETURN("catched in ORVKTWAVToWAV")
}

ORVKT_API VKTRESULT ORVKTMP3ToWAV(const char* pcszMP3FileName, const char* pcszWAVFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback) {
    trace_conversion_call("+ORVKTMP3ToWAV", "pcszMP3FileName", pcszMP3FileName,
                          "pcszWAVFileName", pcszWAVFileName, pwfxDst, pfnCallback, lCallback);
    try {
        return VKTMP3ToWAV(pcszMP3FileName, pcszWAVFileName, pwfxDst, pfnCallback, lCallback);
    }
    VKT_CATCH_RETURN("catched in ORVKTMP3ToWAV")
}

ORVKT_API VKTRESULT ORVKTWMAToWAV(const char* pcszWMAFileName, const char* pcszWAVFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback) {
    trace_conversion_call("+ORVKTWMAToWAV", "pcszWMAFileName", pcszWMAFileName,
                          "pcszWAVFileName", pcszWAVFileName, pwfxDst, pfnCallback, lCallback);
    try {
        return VKTWMAToWAV(pcszWMAFileName, pcszWAVFileName, pwfxDst, pfnCallback, lCallback);
    }
    VKT_CATCH_RETURN("catched in ORVKTWMAToWAV")
}

ORVKT_API VKTRESULT ORVKTWMFConvertToWAV(const char* pcszSrcFileName, const char* pcszDstFileName,
                                         WAVEFORMATEX* pwfxResult, ProgressCallback pfnCallback,
                                         intptr_t lCallback) {
    // The conversion writes the entry line and the parameters itself: the
    // MP3 conversion runs it too.
    try {
        return VKTWMFConvertToWAV(pcszSrcFileName, pcszDstFileName, pwfxResult, pfnCallback, lCallback, 100);
    }
    VKT_CATCH_RETURN("catched in ORVKTWMFConvertToWAV")
}

ORVKT_API VKTRESULT ORVKTReadWAVFormat(const char* pcszWAVFileName, WAVEFORMATEX* pWAVFormat,
                                       uint32_t lWAVFormatSize) {
    VKT_TRACE_TEXT("+ORVKTReadWAVFormat");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("pWAVFormat", "%p", pWAVFormat);
    VKT_TRACE_PARAM("lWAVFormatSize", "%lu", lWAVFormatSize);
    try {
        return VKTReadWAVFormat(pcszWAVFileName, pWAVFormat, lWAVFormatSize);
    }
    VKT_CATCH_RETURN("catched in ORVKTReadWAVFormat")
}

ORVKT_API VKTRESULT ORVKTWAVGetSndDataLength(const char* pcszWAVFileName, uint32_t* lDataLengthMs) {
    VKT_TRACE_TEXT("+ORVKTWAVGetSndDataLength");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("lDataLengthMs", "%p", lDataLengthMs);
    try {
        return VKTWAVGetSndDataLength(pcszWAVFileName, lDataLengthMs);
    }
    VKT_CATCH_RETURN("catched in ORVKTWAVGetSndDataLength")
}

}  // extern "C"
