// The conversion exports: DSS/DS2 <-> WAV, DSS -> DSS, WAV -> WAV, MP3/WMA
// -> WAV, and the format and length queries.
#include "OrvaneVktapi.h"
#include "api/not_available.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

using vkt::api::not_available;

extern "C" {

ORVKT_API VKTRESULT ORVKTDSSToWAV(const char* pcszDSSFileName, const char* pcszWAVFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback, const char* pcszPassword) {
    VKT_TRACE_TEXT("+ORVKTDSSToWAV");
    VKT_TRACE_PARAM("pcszDSSFileName", "%s", pcszDSSFileName);
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("pwfxDst", "%p", pwfxDst);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    (void)pcszPassword;
    return not_available("ORVKTDSSToWAV");
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
    return not_available("ORVKTWAVToDSS");
}

ORVKT_API VKTRESULT ORVKTDSSToDSS(const char* pcszSrcFileName, const char* pcszDstFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback, const char* pcszPassword) {
    VKT_TRACE_TEXT("+ORVKTDSSToDSS");
    VKT_TRACE_PARAM("pcszSrcFileName", "%s", pcszSrcFileName);
    VKT_TRACE_PARAM("pcszDstFileName", "%s", pcszDstFileName);
    VKT_TRACE_PARAM("pwfxDst", "%p", pwfxDst);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    (void)pcszPassword;
    return not_available("ORVKTDSSToDSS");
}

ORVKT_API VKTRESULT ORVKTWAVToWAV(const char* pcszWAVSrcFileName, const char* pcszWAVDstFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTWAVToWAV");
    VKT_TRACE_PARAM("pcszWAVSrcFileName", "%s", pcszWAVSrcFileName);
    VKT_TRACE_PARAM("pcszWAVDstFileName", "%s", pcszWAVDstFileName);
    VKT_TRACE_PARAM("pwfxDst", "%p", pwfxDst);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    return not_available("ORVKTWAVToWAV");
}

ORVKT_API VKTRESULT ORVKTMP3ToWAV(const char* pcszMP3FileName, const char* pcszWAVFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTMP3ToWAV");
    VKT_TRACE_PARAM("pcszMP3FileName", "%s", pcszMP3FileName);
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("pwfxDst", "%p", pwfxDst);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    return not_available("ORVKTMP3ToWAV");
}

ORVKT_API VKTRESULT ORVKTWMAToWAV(const char* pcszWMAFileName, const char* pcszWAVFileName,
                                  const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTWMAToWAV");
    VKT_TRACE_PARAM("pcszWMAFileName", "%s", pcszWMAFileName);
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("pwfxDst", "%p", pwfxDst);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    return not_available("ORVKTWMAToWAV");
}

ORVKT_API VKTRESULT ORVKTWMFConvertToWAV(const char* pcszSrcFileName, const char* pcszDstFileName,
                                         WAVEFORMATEX* pwfxResult, ProgressCallback pfnCallback,
                                         intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTWMFConvertToWAV");
    VKT_TRACE_PARAM("pcszSrcFileName", "%s", pcszSrcFileName);
    VKT_TRACE_PARAM("pcszDstFileName", "%s", pcszDstFileName);
    VKT_TRACE_PARAM("pwfxResult", "%p", pwfxResult);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    return not_available("ORVKTWMFConvertToWAV");
}

ORVKT_API VKTRESULT ORVKTReadWAVFormat(const char* pcszWAVFileName, WAVEFORMATEX* pWAVFormat,
                                       uint32_t lWAVFormatSize) {
    VKT_TRACE_TEXT("+ORVKTReadWAVFormat");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("pWAVFormat", "%p", pWAVFormat);
    VKT_TRACE_PARAM("lWAVFormatSize", "%lu", lWAVFormatSize);
    return not_available("ORVKTReadWAVFormat");
}

ORVKT_API VKTRESULT ORVKTWAVGetSndDataLength(const char* pcszWAVFileName, uint32_t* lDataLengthMs) {
    VKT_TRACE_TEXT("+ORVKTWAVGetSndDataLength");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("lDataLengthMs", "%p", lDataLengthMs);
    return not_available("ORVKTWAVGetSndDataLength");
}

}  // extern "C"
