// The exports of the dictation header and the spoken-instruction markers:
// reading and writing the header, ZRM2 metadata, copying headers, markers,
// and separating a WAV file into dictation and instructions.
#include <cstring>

#include "OrvaneVktapi.h"
#include "dss/dss_layout.h"
#include "dss/traced_file_io.h"
#include "metadata/dss_header_io.h"
#include "metadata/header_image.h"
#include "metadata/header_operations.h"
#include "metadata/header_transport.h"
#include "metadata/separate_instructions.h"
#include "metadata/spoken_instructions.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("NewInternal");

using namespace vkt::platform;

extern "C" {

ORVKT_API VKTRESULT ORVKTReadDSSHeader(const char* pcszDSSFileName, uint8_t* pbyHeader) {
    VKT_TRACE_TEXT("+ORVKTReadDSSHeader");
    VKT_TRACE_PARAM("pcszDSSFileName", "%s", pcszDSSFileName);
    VKT_TRACE_TEXT(" -- VKTReadDSSHeader");
    uint8_t header[vkt::dss::kHeaderBlockSize] = {};
    VKTRESULT result = VKT_OK;
    try {
        if (!pcszDSSFileName || !*pcszDSSFileName) {
            result = VKT_ERR_FILE_NAME;
        } else {
            uint32_t err = 0;
            KRVHANDLE file = KRVDSS_open_file(pcszDSSFileName, &err, GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
            if (!file) {
                result = VKT_ERR_OPEN_FILE;
            } else {
                // A short file is no error: what it lacks stays zero.
                if (KRVDSS_read_file(file, header, sizeof header, nullptr) != 0) result = VKT_ERR_READ_FILE;
                KRVDSS_close_file(&file);
            }
        }
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in ORVKTReadDSSHeader");
    }
    // The caller always gets the 512 bytes, also after a failure.
    if (pbyHeader) std::memcpy(pbyHeader, header, sizeof header);
    return result;
}


ORVKT_API VKTRESULT ORVKTIsValidZRM2File(const char* pcszZRM2FileName, uint32_t* pdwResult) {
    VKT_TRACE_TEXT("+ORVKTIsValidZRM2File");
    VKT_TRACE_PARAM("pcszZRM2FileName", "%s", pcszZRM2FileName);
    VKT_TRACE_PARAM("pdwResult", "%p", pdwResult);
    try {
        if (!pcszZRM2FileName) return VKT_ERR_FILE_NAME;
        uint8_t image[vkt::dss::image::kTwoHeaders];
        uint32_t length = sizeof image;
        if (uint32_t r = ReadZRM2HeaderDataToMemory(pcszZRM2FileName, image, &length)) return r;
        if (pdwResult) *pdwResult = ClassifyZRM2Image(image, length);
        return VKT_OK;
    }
    VKT_CATCH_RETURN("catched in ORVKTIsValidZRM2File")
}

ORVKT_API VKTRESULT ORVKTReadZRM2Header(const char* pcszZRM2FileName, ZRM2HeaderInfo* pHeader) {
    return vkt::metadata::read_zrm2_header(pcszZRM2FileName, pHeader);
}

ORVKT_API VKTRESULT ORVKTWriteZRM2Header(const char* pcszZRM2FileName, const ZRM2HeaderInfo* pHeader) {
    return vkt::metadata::write_zrm2_header(pcszZRM2FileName, pHeader);
}

ORVKT_API VKTRESULT ORVKTCopyDSSHeaders(const char* pcszSrcFileName, const char* pcszDstFileName, int32_t bH1H2, int32_t bH3) {
    return vkt::metadata::copy_dss_headers(pcszSrcFileName, pcszDstFileName, bH1H2, bH3);
}

ORVKT_API VKTRESULT ORVKTReadSpokenInstructionMarkers(const char* pcszFileName, uint8_t* pbyMarkers) {
    return vkt::metadata::read_markers(pcszFileName, pbyMarkers);
}

ORVKT_API VKTRESULT ORVKTWriteSpokenInstructionMarkers(const char* pcszFileName, const uint8_t* pbyMarkers) {
    return vkt::metadata::write_markers(pcszFileName, pbyMarkers);
}

ORVKT_API VKTRESULT ORVKTExtractSpokenInstructionMarkers(const char* pcszSrcFileName, const char* pcszDstFileName) {
    VKT_TRACE_TEXT("+ORVKTExtractSpokenInstructionMarkers");
    VKT_TRACE_PARAM("pcszSrcFileName", "%s", pcszSrcFileName);
    VKT_TRACE_PARAM("pcszDstFileName", "%s", pcszDstFileName);
    try {
        return ExtractSpokenInstructionMarkers(pcszSrcFileName, pcszDstFileName);
    }
    VKT_CATCH_RETURN("catched in ORVKTExtractSpokenInstructionMarkers")
}

ORVKT_API VKTRESULT ORVKTWAVSeperateSpokenInstructions(const char* pcszWAVSrcFileName, const char* pcszWAVDstFileName, int32_t bCreateDictation, int32_t bCreateInstruction, ProgressCallback pfnCallback, intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTWAVSeperateSpokenInstructions");
    VKT_TRACE_PARAM("pcszWAVSrcFileName", "%s", pcszWAVSrcFileName);
    VKT_TRACE_PARAM("pcszWAVDstFileName", "%s", pcszWAVDstFileName);
    VKT_TRACE_PARAM("bCreateDictation", "%d", bCreateDictation);
    VKT_TRACE_PARAM("bCreateInstruction", "%d", bCreateInstruction);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    try {
        return SeparateSpokenInstructions(pcszWAVSrcFileName, pcszWAVDstFileName, bCreateDictation != 0,
                                          bCreateInstruction != 0, pfnCallback, lCallback);
    }
    VKT_CATCH_RETURN("catched in ORVKTWAVSeperateSpokenInstructions")
}

}  // extern "C"
