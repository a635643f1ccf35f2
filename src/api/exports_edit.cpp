// The editing exports: splitting and joining DSS files, repairing the index
// markers, splitting MP3 files.
#include "OrvaneVktapi.h"
#include "api/export_checks.h"
#include "edit/index_repair.h"
#include "edit/dss_joiner.h"
#include "edit/dss_splitter.h"
#include "media/mp3_splitter.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("NewInternal");

using namespace vkt::platform;

extern "C" {

ORVKT_API VKTRESULT ORVKTSplitDSSFile(const char* pcszSrcFileName, const char* pcszDestinationFolder, const char* pcszDestinationFileMask, const char* pcszPassword, uint32_t splitLength, uint32_t overlapLength, uint32_t splitCount, uint32_t* pdwCreatedCount, ProgressCallback pfnCallback, intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTSplitDSSFile");
    TraceSplitParameters(VKT_TRACE_UNIT_NAME, pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask,
                         splitLength, overlapLength, splitCount, pfnCallback, lCallback);
    if (split_names_missing(pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask))
        return file_name_missing();
    return VKTSplitDSSFile(pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask, pcszPassword, splitLength,
                           overlapLength, splitCount, pdwCreatedCount, pfnCallback, lCallback);
}

ORVKT_API VKTRESULT ORVKTJoinDSS(const char* pcszSourceFileNameList, const char* pcszDestinationFileName, ProgressCallback pfnCallback, intptr_t lCallback, int32_t lCallbackProgStart, int32_t lCallbackProgEnd) {
    VKT_TRACE_TEXT("+ORVKTJoinDSS");
    VKT_TRACE_PARAM("pcszSourceFileNameList", "%s", pcszSourceFileNameList);
    VKT_TRACE_PARAM("pcszDestinationFileName", "%s", pcszDestinationFileName);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    VKT_TRACE_PARAM("lCallbackProgStart", "%ld", lCallbackProgStart);
    VKT_TRACE_PARAM("lCallbackProgEnd", "%ld", lCallbackProgEnd);
    if (!pcszSourceFileNameList || !pcszDestinationFileName || !*pcszDestinationFileName) return file_name_missing();
    try {
        return VKTJoinDSS(pcszSourceFileNameList, pcszDestinationFileName, pfnCallback, lCallback);
    }
    VKT_CATCH_RETURN("error occured in ORVKTJoinDSS")
}

ORVKT_API VKTRESULT ORVKTRepairIndexMarkers(const char* sourceDSSFileName, const char* destDSSFileName) {
    VKT_TRACE_TEXT("+ORVKTRepairIntructionMarkers");
    VKT_TRACE_PARAM("sourceDSSFileName", "%s", sourceDSSFileName);
    VKT_TRACE_PARAM("destDSSFileName", "%s", destDSSFileName);
    if (!sourceDSSFileName || !*sourceDSSFileName || !destDSSFileName || !*destDSSFileName)
        return file_name_missing();
    try {
        return VKTRepairIndexMarkers(sourceDSSFileName, destDSSFileName);
    }
    VKT_CATCH_RETURN("error occured in ORVKTRepairIntructionMarkers")
}

ORVKT_API VKTRESULT ORVKTSplitMP3File(const char* pcszSrcFileName, const char* pcszDestinationFolder, const char* pcszDestinationFileMask, uint32_t splitLength, uint32_t overlapLength, uint32_t splitCount, uint32_t* pdwLastPiece, ProgressCallback pfnCallback, intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTSplitMP3File");
    TraceSplitParameters(VKT_TRACE_UNIT_NAME, pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask,
                         splitLength, overlapLength, splitCount, pfnCallback, lCallback);
    if (split_names_missing(pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask))
        return file_name_missing();
    try {
        CMP3Splitter splitter(pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask, splitLength,
                              overlapLength, splitCount, pdwLastPiece, pfnCallback, lCallback);
        return splitter.SplitFile();
    }
    VKT_CATCH_RETURN("catched in ORVKTSplitMP3File")
}

}  // extern "C"
