#include "metadata/header_transport.h"

#include <cstring>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "metadata/mp3_dictation_header.h"
#include "metadata/dss_header_io.h"
#include "metadata/header_image.h"
#include "metadata/spoken_instructions.h"
#include "platform/file_identity.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "wav/wav_file.h"

VKT_TRACE_UNIT("header_transport");

using namespace vkt::platform;

uint32_t ReadZRM2HeaderDataToMemoryEx(const char* name, uint8_t* buffer, uint32_t* size, bool bForceDss) {
    VKT_TRACE_TEXT("-----ReadZRM2HeaderDataToMemoryEx(...)");
    VKT_TRACE_PARAM("name", "%s", name);
    VKT_TRACE_PARAM("size", "%lu", *size);
    VKT_TRACE_PARAM("bForceDss", "%d", bForceDss ? 1 : 0);
    const uint32_t capacity = *size;
    std::memset(buffer, 0, capacity);
    switch (KindOfMetadataFile(name, bForceDss)) {
        case MetadataFileKind::Dss: return ReadDssHeaderImage(name, buffer, capacity, size);
        case MetadataFileKind::Mp3:
            // The image in an MP3 file is always 1536 bytes; the length
            // reported stays the capacity.
            return CMP3Helper::ReadDSSHeaders(name, buffer, capacity);
        case MetadataFileKind::Wav: break;
    }
    CWavFile wav;
    try {
        wav.open_file(name, MMIO_READ | MMIO_DENYWRITE);
    } catch (...) {
        uint32_t code = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in ReadZRM2HeaderInfoIntoMemory at WavFile.open_file");
        wav.close_file();
        return code;
    }
    try {
        uint32_t got = 0;
        wav.read_icmt_chunk(reinterpret_cast<char*>(buffer), capacity, &got);
        *size = got;
    } catch (...) {
        VKT_TRACE_WARNING("Wav file does not have a Comments chunk");
        *size = 0;
    }
    // A comment shorter than one header block is no header.
    if (*size < DSS_HEADERBLOCK_SIZE) {
        *size = 0;
        std::memset(buffer, 0, capacity);
    }
    return VKT_OK;
}

uint32_t ReadZRM2HeaderDataToMemory(const char* name, uint8_t* buffer, uint32_t* size) {
    return ReadZRM2HeaderDataToMemoryEx(name, buffer, size, false);
}

uint32_t WriteZRM2HeaderDataToFile(const char* name, const uint8_t* buffer, uint32_t size, bool bForceDss) {
    VKT_TRACE_TEXT("-----WriteZRM2HeaderDataToFile(...)");
    VKT_TRACE_PARAM("name", "%s", name);
    VKT_TRACE_PARAM("size", "%lu", size);
    VKT_TRACE_PARAM("bForceDss", "%d", bForceDss ? 1 : 0);
    switch (KindOfMetadataFile(name, bForceDss)) {
        case MetadataFileKind::Dss: return WriteDssHeaderImage(name, buffer, size);
        case MetadataFileKind::Mp3: return CMP3Helper::WriteDSSHeader(name, buffer, size);
        case MetadataFileKind::Wav: break;
    }
    CWavFile wav;
    uint32_t result = VKT_OK;
    try {
        wav.open_file(name, MMIO_READWRITE | MMIO_DENYWRITE);
        wav.write_icmt_chunk(reinterpret_cast<const char*>(buffer), size);
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in WriteZRM2HeaderDataToFile");
    }
    if (uint32_t closed = wav.close_file(); closed && result == VKT_OK) result = closed;
    return result;
}

uint32_t CopyDSSHeaders(const char* src, const char* dst, bool bH1H2, bool bH3) {
    // Rewriting a file's header from itself can still move its chunks.
    if (same_file(src, dst)) {
        VKT_TRACE_ERROR(VKT_ERR, "destination is the source file");
        return VKT_ERR;
    }
    if (bH3) {
        uint8_t markers[VKT_SPOKEN_INSTRUCTION_ARRAY_SIZE];
        uint32_t r = ReadSpokenInstructionMarkersToArray(src, markers);
        if (r == VKT_ERR_CHUNK_NOT_FOUND || r == VKT_ERR_NO_ID3_HEADER) {
            // The source has no markers: nothing to copy.
        } else if (r != VKT_OK) {
            VKT_TRACE_ERROR(VKT_ERR, "ReadSpokenInstructionMarkersToArray");
            return r;
        } else if ((r = WriteSpokenInstructionMarkersToFile(dst, markers)) != VKT_OK) {
            VKT_TRACE_ERROR(VKT_ERR, "WriteSpokenInstructionMarkersToFile");
            return r;
        }
    }
    if (!bH1H2) return VKT_OK;
    std::vector<uint8_t> image(2 * DSS_HEADERBLOCK_SIZE);
    uint32_t length = static_cast<uint32_t>(image.size());
    if (uint32_t r = ReadZRM2HeaderDataToMemory(src, image.data(), &length)) {
        VKT_TRACE_ERROR(VKT_ERR, "ReadZRM2HeaderDataToMemory");
        return r;
    }
    if (length == 0) return VKT_OK;
    // A long comment written by another program is no header image.
    if (!IsDssSelfId(image.data(), length)) {
        VKT_TRACE_WARNING("source comment is not a DSS header");
        return VKT_OK;
    }
    // Into a DSS file only its dictation properties travel; the blocks
    // that make it the file it is stay its own.
    const uint32_t r = KindOfMetadataFile(dst) == MetadataFileKind::Dss
                           ? CopyHeaderImageIntoDss(dst, image.data(), length)
                           : WriteZRM2HeaderDataToFile(dst, image.data(), length, false);
    if (r != VKT_OK) {
        VKT_TRACE_ERROR(VKT_ERR, "WriteZRM2HeaderDataToFile");
        return r;
    }
    return VKT_OK;
}
