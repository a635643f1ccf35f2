#include "metadata/header_operations.h"

#include "dss/dss_layout.h"
#include "metadata/dss_header_io.h"
#include "metadata/header_image.h"
#include "metadata/header_transport.h"
#include "metadata/spoken_instructions.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("NewInternal");

namespace vkt::metadata {

namespace {

// A header record of the full or the short form; otherwise an error line.
bool header_info_size_ok(const ZRM2HeaderInfo* pHeader) {
    if (pHeader && (pHeader->dwSize == ZRM2HEADERINFO_SIZE_FULL || pHeader->dwSize == ZRM2HEADERINFO_SIZE_SHORT))
        return true;
    VKT_TRACE_ERROR(pHeader ? pHeader->dwSize : 0, "Invalid dwSize parameter");
    return false;
}

}  // namespace

uint32_t read_zrm2_header(const char* pcszZRM2FileName, ZRM2HeaderInfo* pHeader) {
    VKT_TRACE_TEXT("+ORVKTReadZRM2Header");
    VKT_TRACE_PARAM("pcszZRM2FileName", "%s", pcszZRM2FileName);
    VKT_TRACE_PARAM("pHeader", "%p", pHeader);
    try {
        if (!pcszZRM2FileName) return VKT_ERR_FILE_NAME;
        if (!header_info_size_ok(pHeader)) return VKT_ERR_INVALID_PARAM;
        uint8_t image[vkt::dss::image::kTwoHeaders];
        uint32_t length = sizeof image;
        if (uint32_t r = ReadZRM2HeaderDataToMemory(pcszZRM2FileName, image, &length)) return r;
        // Other licensees pass; our own family must be a dictation or
        // instruction header.
        const bool ours = IsDssSelfId(image, length) && ImageLicenseeId(image) == DSS_LICENSEEID_VALMERO;
        if (!IsDssSelfId(image, length) || (ours && !IsZRM2DictOrInsImage(image, length))) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "No ZRM2 Dict or Ins file");
            return VKT_ERR_INVALID_CONTENT;
        }
        if (uint32_t r = MapZRM2HeaderDataToZRM2HeaderStruct(image, length, pHeader)) return r;
        // A single header block has no header 2: the compression id comes
        // from the data, as the file object finds it.
        if (length == vkt::dss::kHeaderBlockSize && KindOfMetadataFile(pcszZRM2FileName) == MetadataFileKind::Dss) {
            uint16_t id = 0;
            if (ReadDssCompressionId(pcszZRM2FileName, &id) != VKT_OK) {
                VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "dssFile.create_file in ORVKTReadZRM2Header");
                return VKT_ERR_OPEN_FILE;
            }
            pHeader->wCompressionId = id;
        }
        return VKT_OK;
    }
    VKT_CATCH_RETURN("catched in ORVKTReadZRM2Header")
}

uint32_t write_zrm2_header(const char* pcszZRM2FileName, const ZRM2HeaderInfo* pHeader) {
    VKT_TRACE_TEXT("+ORVKTWriteZRM2Header");
    VKT_TRACE_PARAM("pcszZRM2FileName", "%s", pcszZRM2FileName);
    VKT_TRACE_PARAM("pHeader", "%p", pHeader);
    try {
        if (!pcszZRM2FileName) return VKT_ERR_FILE_NAME;
        if (!header_info_size_ok(pHeader)) return VKT_ERR_INVALID_PARAM;
        uint8_t image[vkt::dss::image::kTwoHeaders];
        uint32_t length = sizeof image;
        if (uint32_t r = ReadZRM2HeaderDataToMemory(pcszZRM2FileName, image, &length)) return r;
        if (!IsZRM2DictOrInsImage(image, length)) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "No ZRM2 Dict or Ins file");
            return VKT_ERR_INVALID_CONTENT;
        }
        if (uint32_t r = MapZRM2HeaderStructToZRM2HeaderData(pHeader, image, length)) return r;
        return WriteZRM2HeaderDataToFile(pcszZRM2FileName, image, length, false);
    }
    VKT_CATCH_RETURN("catched in ORVKTWriteZRM2Header")
}

uint32_t copy_dss_headers(const char* pcszSrcFileName, const char* pcszDstFileName, int32_t bH1H2, int32_t bH3) {
    VKT_TRACE_TEXT("+ORVKTCopyDSSHeaders");
    VKT_TRACE_PARAM("pcszSrcFileName", "%s", pcszSrcFileName);
    VKT_TRACE_PARAM("pcszDstFileName", "%s", pcszDstFileName);
    VKT_TRACE_PARAM("bH1H2", "%d", bH1H2);
    VKT_TRACE_PARAM("bH3", "%d", bH3);
    try {
        if (!pcszSrcFileName || !pcszDstFileName) return VKT_ERR_FILE_NAME;
        return CopyDSSHeaders(pcszSrcFileName, pcszDstFileName, bH1H2 != 0, bH3 != 0);
    }
    VKT_CATCH_RETURN("catched in ORVKTCopyDSSHeaders")
}

uint32_t read_markers(const char* pcszFileName, uint8_t* pbyMarkers) {
    VKT_TRACE_TEXT("+ORVKTReadSpokenInstructionMarkers");
    VKT_TRACE_PARAM("pcszFileName", "%s", pcszFileName);
    VKT_TRACE_PARAM("pbyMarkers", "%p", pbyMarkers);
    try {
        if (!pcszFileName) return VKT_ERR_FILE_NAME;
        if (!pbyMarkers) return VKT_ERR_INVALID_PARAM;
        return ReadSpokenInstructionMarkersToArray(pcszFileName, pbyMarkers);
    }
    VKT_CATCH_RETURN("catched in ORVKTReadSpokenInstructionMarkers")
}

uint32_t write_markers(const char* pcszFileName, const uint8_t* pbyMarkers) {
    VKT_TRACE_TEXT("+ORVKTWriteSpokenInstructionMarkers");
    VKT_TRACE_PARAM("pcszFileName", "%s", pcszFileName);
    VKT_TRACE_PARAM("pbyMarkers", "%p", pbyMarkers);
    try {
        if (!pcszFileName) return VKT_ERR_FILE_NAME;
        if (!pbyMarkers) return VKT_ERR_INVALID_PARAM;
        return WriteSpokenInstructionMarkersToFile(pcszFileName, pbyMarkers);
    }
    VKT_CATCH_RETURN("catched in ORVKTWriteSpokenInstructionMarkers")
}

}  // namespace vkt::metadata
