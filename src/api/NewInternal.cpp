// The exports other than the conversions: dictation header and markers,
// editing, encryption and templates, stereo tools, copy and delete.
#include <cstring>

#include "dss/dss_layout.h"
#include "OrvaneVktapi.h"
#include "dss/DssEncryption.h"
#include "dss/DssTemplate.h"
#include "dss/INTERNAL.h"
#include "edit/DSSIndexRepair.h"
#include "edit/DSSJoiner.h"
#include "edit/DSSSplitter.h"
#include "media/MP3Splitter.h"
#include "metadata/dss_header_io.h"
#include "metadata/header_image.h"
#include "metadata/header_transport.h"
#include "metadata/separate_instructions.h"
#include "metadata/spoken_instructions.h"
#include "tools/Stereo.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "tools/SecureFileManagement.h"

using namespace vkt::platform;

namespace {

// A required file name that is null or empty.
uint32_t file_name_missing() {
    VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
    return VKT_ERR_FILE_NAME;
}

}  // namespace

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
        result = vkt::caught_code(VKT_TRACE_FILE, __LINE__, "catched in ORVKTReadDSSHeader");
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
    VKT_TRACE_TEXT("+ORVKTReadZRM2Header");
    VKT_TRACE_PARAM("pcszZRM2FileName", "%s", pcszZRM2FileName);
    VKT_TRACE_PARAM("pHeader", "%p", pHeader);
    try {
        if (!pcszZRM2FileName) return VKT_ERR_FILE_NAME;
        if (!pHeader || (pHeader->dwSize != ZRM2HEADERINFO_SIZE_FULL && pHeader->dwSize != ZRM2HEADERINFO_SIZE_SHORT)) {
            VKT_TRACE_ERROR(pHeader ? pHeader->dwSize : 0, "Invalid dwSize parameter");
            return VKT_ERR_INVALID_PARAM;
        }
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

ORVKT_API VKTRESULT ORVKTWriteZRM2Header(const char* pcszZRM2FileName, const ZRM2HeaderInfo* pHeader) {
    VKT_TRACE_TEXT("+ORVKTWriteZRM2Header");
    VKT_TRACE_PARAM("pcszZRM2FileName", "%s", pcszZRM2FileName);
    VKT_TRACE_PARAM("pHeader", "%p", pHeader);
    try {
        if (!pcszZRM2FileName) return VKT_ERR_FILE_NAME;
        if (!pHeader || (pHeader->dwSize != ZRM2HEADERINFO_SIZE_FULL && pHeader->dwSize != ZRM2HEADERINFO_SIZE_SHORT)) {
            VKT_TRACE_ERROR(pHeader ? pHeader->dwSize : 0, "Invalid dwSize parameter");
            return VKT_ERR_INVALID_PARAM;
        }
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

ORVKT_API VKTRESULT ORVKTCopyDSSHeaders(const char* pcszSrcFileName, const char* pcszDstFileName, int32_t bH1H2, int32_t bH3) {
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

ORVKT_API VKTRESULT ORVKTReadSpokenInstructionMarkers(const char* pcszFileName, uint8_t* pbyMarkers) {
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

ORVKT_API VKTRESULT ORVKTWriteSpokenInstructionMarkers(const char* pcszFileName, const uint8_t* pbyMarkers) {
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

ORVKT_API VKTRESULT ORVKTSplitDSSFile(const char* pcszSrcFileName, const char* pcszDestinationFolder, const char* pcszDestinationFileMask, const char* pcszPassword, uint32_t splitLength, uint32_t overlapLength, uint32_t splitCount, uint32_t* pdwCreatedCount, ProgressCallback pfnCallback, intptr_t lCallback) {
    VKT_TRACE_TEXT("+ORVKTSplitDSSFile");
    VKT_TRACE_PARAM("pcszSrcFileName", "%s", pcszSrcFileName);
    VKT_TRACE_PARAM("pcszDestinationFolder", "%s", pcszDestinationFolder);
    VKT_TRACE_PARAM("pcszDestinationFileMask", "%s", pcszDestinationFileMask);
    VKT_TRACE_PARAM("splitLength", "%lu", splitLength);
    VKT_TRACE_PARAM("overlapLength", "%lu", overlapLength);
    VKT_TRACE_PARAM("splitCount", "%lu", splitCount);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    // An empty folder is the current one; the mask must name something.
    if (!pcszSrcFileName || !*pcszSrcFileName || !pcszDestinationFolder || !pcszDestinationFileMask ||
        !*pcszDestinationFileMask)
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
    VKT_TRACE_PARAM("pcszSrcFileName", "%s", pcszSrcFileName);
    VKT_TRACE_PARAM("pcszDestinationFolder", "%s", pcszDestinationFolder);
    VKT_TRACE_PARAM("pcszDestinationFileMask", "%s", pcszDestinationFileMask);
    VKT_TRACE_PARAM("splitLength", "%lu", splitLength);
    VKT_TRACE_PARAM("overlapLength", "%lu", overlapLength);
    VKT_TRACE_PARAM("splitCount", "%lu", splitCount);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    // An empty folder means the current one.
    if (!pcszSrcFileName || !*pcszSrcFileName || !pcszDestinationFolder || !pcszDestinationFileMask ||
        !*pcszDestinationFileMask)
        return file_name_missing();
    try {
        CMP3Splitter splitter(pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask, splitLength,
                              overlapLength, splitCount, pdwLastPiece, pfnCallback, lCallback);
        return splitter.SplitFile();
    }
    VKT_CATCH_RETURN("catched in ORVKTSplitMP3File")
}

ORVKT_API VKTRESULT ORVKTIsEncryptedDSSFile(const char* lpszFilepath_p, uint32_t* pbEncrypted) {
    VKT_TRACE_TEXT("+ORVKTIsEncryptedDSSFile");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    if (!lpszFilepath_p || !*lpszFilepath_p) return file_name_missing();
    return VKTIsEncryptedDSSFile(lpszFilepath_p, pbEncrypted);
}

ORVKT_API VKTRESULT ORVKTCheckDSSFilePassword(const char* lpszFilepath_p, const char* pcszPassword) {
    VKT_TRACE_TEXT("+ORVKTCheckDSSFilePassword");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    if (!lpszFilepath_p || !*lpszFilepath_p) return file_name_missing();
    return VKTCheckDSSFilePassword(lpszFilepath_p, pcszPassword);
}

ORVKT_API VKTRESULT ORVKTDecryptDSSFile(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, const char* pcszPassword) {
    VKT_TRACE_TEXT("+ORVKTDecryptDSSFile");
    VKT_TRACE_PARAM("pcszSrcFileName_p", "%s", pcszSrcFileName_p);
    VKT_TRACE_PARAM("pcszDstFileName_p", "%s", pcszDstFileName_p);
    if (!pcszSrcFileName_p || !*pcszSrcFileName_p || !pcszDstFileName_p || !*pcszDstFileName_p)
        return file_name_missing();
    return VKTDecryptDSSFile(pcszSrcFileName_p, pcszDstFileName_p, pcszPassword);
}

ORVKT_API VKTRESULT ORVKTEncryptDSSFile(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, const char* pcszPassword) {
    VKT_TRACE_TEXT("+ORVKTEncryptDSSFile");
    VKT_TRACE_PARAM("pcszSrcFileName_p", "%s", pcszSrcFileName_p);
    VKT_TRACE_PARAM("pcszDstFileName_p", "%s", pcszDstFileName_p);
    if (!pcszSrcFileName_p || !*pcszSrcFileName_p || !pcszDstFileName_p || !*pcszDstFileName_p)
        return file_name_missing();
    return VKTEncryptDSSFile(pcszSrcFileName_p, pcszDstFileName_p, pcszPassword);
}

ORVKT_API VKTRESULT ORVKTCreateDSSTemplate(const char* pcszFileName, const char* pcszPassword, uint8_t byCompressionId) {
    VKT_TRACE_TEXT("+ORVKTCreateDSSTemplate");
    return VKTCreateDSSTemplateWithEncryptionType(pcszFileName, pcszPassword, byCompressionId);
}

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
