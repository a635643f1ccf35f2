// The file tools: stereo split and mix, verified copy and delete.
#include "OrvaneVktapi.h"
#include "tools/stereo.h"
#include "tools/secure_file_management.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("NewInternal");


extern "C" {

ORVKT_API VKTRESULT ORVKTWAVSplitStereo(const char* pcszWAVSrcFileName, const char* pcszWAVDstLeftFileName, const char* pcszWAVDstRightFileName, ProgressCallback pfnCallback, intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTWAVSplitStereo");
    VKT_TRACE_PARAM("pcszWAVSrcFileName", "%s", pcszWAVSrcFileName);
    VKT_TRACE_PARAM("pcszWAVDstLeftFileName", "%s", pcszWAVDstLeftFileName);
    VKT_TRACE_PARAM("pcszWAVDstRightFileName", "%s", pcszWAVDstRightFileName);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    return Internal_PCMStereoToMono(true, pcszWAVSrcFileName, pcszWAVDstLeftFileName, pcszWAVDstRightFileName,
                                    pfnCallback, lCallback, 0, 100);
}

ORVKT_API VKTRESULT ORVKTWAVMixStereo(const char* pcszWAVSrcFileName, const char* pcszWAVDstFileName, ProgressCallback pfnCallback, intptr_t lCallback) {
    // The worker writes the entry line "+ORVKTWAVMixStereo" and the names.
    return VKTWAVMixStereoInternal(pcszWAVSrcFileName, pcszWAVDstFileName, pfnCallback, lCallback, 0, 100);
}

ORVKT_API VKTRESULT ORVKTCopyFile(const char* lpcstrSourceFile, const char* lpcstrDestFile, int32_t bWriteThrough) {
    VKT_TRACE_TEXT("+ORVKTCopyFile");
    try {
        return SecureFileManagement::CopyFile(lpcstrSourceFile, lpcstrDestFile, bWriteThrough);
    }
    VKT_CATCH_RETURN("catched in ORVKTCopyFile")
}

ORVKT_API VKTRESULT ORVKTDeleteFile(const char* lpcstrFile) {
    VKT_TRACE_TEXT("+ORVKTDeleteFile");
    try {
        return SecureFileManagement::DeleteFile(lpcstrFile);
    }
    VKT_CATCH_RETURN("catched in ORVKTDeleteFile")
}

}  // extern "C"
