#include "convert/format_queries.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "dss/dss_file.h"
#include "media/mp3_file.h"
#include "media/wma_file.h"
#include "platform/fileio.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "wav/wav_file.h"

VKT_TRACE_UNIT("conv_entry");

using namespace vkt::platform;

namespace {

enum class FileKind { Dss, Mp3, Wma, Wav };

FileKind kind_of(const char* name) {
    const std::string ext = extension_of(name);
    if (extension_starts_with(ext, ".dss", 4) || extension_starts_with(ext, ".ds2", 4)) return FileKind::Dss;
    if (equals_ignore_case(ext, ".mp3")) return FileKind::Mp3;
    if (equals_ignore_case(ext, ".wma")) return FileKind::Wma;
    if (ext.empty()) VKT_TRACE_MESSAGE("no Extension in Filename, it will be assumed that file is wav");
    return FileKind::Wav;
}

uint32_t read_wma_format(const char* name, WAVEFORMATEX* format, uint32_t size) {
    CWmaFile wma;
    if (uint32_t rc = wma.create_file(name)) {
        VKT_TRACE_ERROR(rc, "catched in CWmaFile:open()");
        return rc;
    }
    if (size < sizeof(WAVEFORMATEX)) {
        VKT_TRACE_ERROR(VKT_ERR_WAVFMT_TOO_SMALL, "Error reading WMA format");
        return VKT_ERR_WAVFMT_TOO_SMALL;
    }
    return wma.read_format(format, size);
}

// The WMA's decoded data (its first channel, 16-bit) against its bytes per
// second; finding the data size decodes the whole file.
uint32_t wma_length(const char* name, uint32_t* length) {
    CWmaFile wma;
    if (uint32_t rc = wma.create_file(name)) {
        VKT_TRACE_ERROR(rc, "catched in CWmaFile::open()");
        return rc;
    }
    uint32_t data_size = 0;
    try {
        data_size = wma.get_sizeof_data();
    } catch (...) {
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in CWmaFile::get_sizeof_data()");
    }
    if (wma.GetAvgBytesPerSec() == 0) {
        *length = 0;
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "Average bytes per second are 0 -> return error");
        return VKT_ERR_INVALID_WAVFMT;
    }
    *length = static_cast<uint32_t>(static_cast<uint64_t>(data_size) * 1000 / wma.GetAvgBytesPerSec());
    return VKT_OK;
}

uint32_t read_dss_format(const char* name, WAVEFORMATEX* format, uint32_t size) {
    CDssFile dss(true);
    // A file that cannot be opened leaves the compression id unknown (255):
    // the answer is then the one for an invalid id.
    if (uint32_t rc = dss.create_file(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, false))
        VKT_TRACE_ERROR(rc, "by m_pDssFile->create_file(.)");
    if (size < sizeof(WAVEFORMATEX)) {
        VKT_TRACE_ERROR(VKT_ERR_WAVFMT_TOO_SMALL, "Error reading DSS format");
        return VKT_ERR_WAVFMT_TOO_SMALL;
    }
    const uint32_t rc = dss.read_format(format, size);
    if (rc != VKT_OK) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p");
        VKT_TRACE_ERROR(rc, "Error reading DSS format");
    }
    return rc;
}

uint32_t read_mp3_format(const char* name, WAVEFORMATEX* format, uint32_t size) {
    CMp3File mp3;
    if (uint32_t rc = mp3.create_file(name)) return rc;
    if (size < sizeof(WAVEFORMATEX)) {
        VKT_TRACE_ERROR(VKT_ERR_WAVFMT_TOO_SMALL, "Error reading Mp3 format");
        return VKT_ERR_WAVFMT_TOO_SMALL;
    }
    return mp3.read_format(format, size);
}

uint32_t read_wav_format(const char* name, WAVEFORMATEX* format, uint32_t size) {
    CWavFile wav;
    uint32_t fmt_size = 0;
    try {
        wav.open_file(name, MMIO_READ | MMIO_DENYWRITE);
    } catch (...) {
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in CWavFile::open()");
    }
    try {
        wav.get_sizeof_format(&fmt_size);
    } catch (...) {
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in CWavFile::get_sizeof_format()");
    }
    if (size < fmt_size) {
        VKT_TRACE_ERROR(VKT_ERR_WAVFMT_TOO_SMALL, "Error WAV format too small");
        return VKT_ERR_WAVFMT_TOO_SMALL;
    }
    if (uint32_t rc = wav.read_format(format, fmt_size)) {
        VKT_TRACE_ERROR(rc, "Error reading WAV format");
        return rc;
    }
    if (uint32_t rc = wav.close_file()) {
        VKT_TRACE_ERROR(rc, "Error closing the WAV file");
        return rc;
    }
    return VKT_OK;
}

uint32_t wav_length(const char* name, uint32_t* length) {
    CWavFile wav;
    uint32_t fmt_size = 0, data_size = 0;
    try {
        wav.open_file(name, MMIO_READ | MMIO_DENYWRITE);
    } catch (...) {
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in CWavFile::open()");
    }
    try {
        wav.get_sizeof_data(&data_size);
    } catch (...) {
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in CWavFile::get_sizeof_data()");
    }
    try {
        wav.get_sizeof_format(&fmt_size);
    } catch (...) {
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in CWavFile::get_sizeof_format()");
    }
    std::vector<uint8_t> fmt;
    try {
        fmt.assign(std::max<uint32_t>(fmt_size, sizeof(WAVEFORMATEX)), 0);
    } catch (const std::bad_alloc&) {
        VKT_TRACE_ERROR(VKT_ERR_OUT_OF_MEMORY, "GetLastError() after HeapAlloc() source format structure");
        return VKT_ERR_OUT_OF_MEMORY;
    }
    if (uint32_t rc = wav.read_format(fmt.data(), fmt_size)) {
        VKT_TRACE_ERROR(rc, "Error reading WAV format");
        return rc;
    }
    if (uint32_t rc = wav.close_file()) {
        VKT_TRACE_ERROR(rc, "Error closing the WAV file");
        return rc;
    }
    WAVEFORMATEX f;
    std::memcpy(&f, fmt.data(), sizeof f);
    if (f.nAvgBytesPerSec == 0) {
        *length = 0;
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "Average bytes per second are 0 -> return error");
        return VKT_ERR_INVALID_WAVFMT;
    }
    *length = static_cast<uint32_t>(static_cast<double>(data_size) * 1000.0 / f.nAvgBytesPerSec);
    return VKT_OK;
}

}  // namespace

uint32_t VKTReadWAVFormat(const char* pcszWAVFileName, WAVEFORMATEX* pWAVFormat, uint32_t lWAVFormatSize) {
    VKT_TRACE_TEXT("-----VKTReadWAVFormat(...)");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("lWAVFormatSize", "%lu", lWAVFormatSize);
    if (!pcszWAVFileName) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, filename is NULL");
        return VKT_ERR_FILE_NAME;
    }
    if (!pWAVFormat) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "VKT_ERR_INVALID_WAVFMT, wave format is NULL");
        return VKT_ERR_INVALID_WAVFMT;
    }
    if (lWAVFormatSize == 0) {
        VKT_TRACE_ERROR(VKT_ERR_WAVFMT_TOO_SMALL, "VKT_ERR_WAVFMT_TOO_SMALL, size of wave format is 0");
        return VKT_ERR_WAVFMT_TOO_SMALL;
    }
    switch (kind_of(pcszWAVFileName)) {
        case FileKind::Dss: return read_dss_format(pcszWAVFileName, pWAVFormat, lWAVFormatSize);
        case FileKind::Mp3: return read_mp3_format(pcszWAVFileName, pWAVFormat, lWAVFormatSize);
        case FileKind::Wma: return read_wma_format(pcszWAVFileName, pWAVFormat, lWAVFormatSize);
        case FileKind::Wav: break;
    }
    return read_wav_format(pcszWAVFileName, pWAVFormat, lWAVFormatSize);
}

uint32_t VKTWAVGetSndDataLength(const char* pcszWAVFileName, uint32_t* lDataLengthMs) {
    VKT_TRACE_TEXT("-----VKTWAVGetSndDataLength(...)");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    if (!pcszWAVFileName) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, filename is NULL");
        return VKT_ERR_FILE_NAME;
    }
    if (!lDataLengthMs) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_PARAM, "lDataLengthMs is NULL");
        return VKT_ERR_INVALID_PARAM;
    }
    const std::string ext = extension_of(pcszWAVFileName);
    if (equals_ignore_case(ext, ".mp3")) {
        CMp3File mp3;
        if (uint32_t rc = mp3.create_file(pcszWAVFileName)) return rc;
        *lDataLengthMs = mp3.GetLengthInMs();
        return VKT_OK;
    }
    if (equals_ignore_case(ext, ".wma")) return wma_length(pcszWAVFileName, lDataLengthMs);
    return wav_length(pcszWAVFileName, lDataLengthMs);
}
