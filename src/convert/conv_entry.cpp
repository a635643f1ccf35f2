#include "convert/conv_entry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "dss/dss_file.h"
#include "dss/dss_layout.h"
#include "media/mp3_file.h"
#include "media/wma_file.h"
#include "platform/file_identity.h"
#include "platform/fileio.h"
#include "platform/path.h"
#include "platform/temp_file.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "wav/wav_file.h"

VKT_TRACE_UNIT("conv_entry");

using namespace vkt::platform;

namespace {

bool copy_out(const std::string& text, char* to, std::size_t capacity) {
    if (!to || text.size() >= capacity) return false;
    std::memcpy(to, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace

uint32_t CreateDestinationFilePath(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, char* pszPath_p,
                                   const char* pcszExtension_p, char* pszTmpPath_p, std::size_t dwTmpSize_p) {
    VKT_TRACE_TEXT("-----CreateDestinationFilePath(...)");
    VKT_TRACE_PARAM("pcszSrcFileName_p", "%s", pcszSrcFileName_p);
    VKT_TRACE_PARAM("pcszDstFileName_p", "%s", pcszDstFileName_p);
    if (!pcszSrcFileName_p || !pcszDstFileName_p || !pszPath_p) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
        return VKT_ERR_FILE_NAME;
    }
    const PathParts dst = split_path(pcszDstFileName_p);
    PathParts from = dst;
    std::string path;
    if (!dst.fname.empty()) {
        path = pcszDstFileName_p;
    } else {
        // A destination without a file name: beside the source, under the
        // source's name.
        from = split_path(pcszSrcFileName_p);
        if (from.ext.empty()) {
            VKT_TRACE_ERROR(0, "no extension source filename");
            return VKT_ERR_FILE_NAME;
        }
        path = from.drive + from.dir + from.fname + pcszExtension_p;
    }
    if (!copy_out(path, pszPath_p, VKT_MAX_PATH)) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "destination path too long");
        return VKT_ERR_FILE_NAME;
    }
    if (dwTmpSize_p) {
        const std::string tmp = from.drive + from.dir + "~" + from.fname + ".vkt";
        if (!copy_out(tmp, pszTmpPath_p, dwTmpSize_p)) {
            VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "temporary path too long");
            return VKT_ERR_FILE_NAME;
        }
    }
    VKT_TRACE_VALUE("pszPath_p", "%s", pszPath_p);
    return VKT_OK;
}

uint32_t CheckConversionDestination(const char* pcszSrcFileName_p, const char* pcszDstFileName_p) {
    if (same_file(pcszSrcFileName_p, pcszDstFileName_p)) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "source and destination are the same file");
        return VKT_ERR_OPEN_FILE;
    }
    if (is_special_file(pcszDstFileName_p)) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "destination is not a regular file");
        return VKT_ERR_OPEN_FILE;
    }
    return VKT_OK;
}

uint32_t CreateConversionTempFile(TempFile& temp, const char* pcszWanted_p, mode_t mode) {
    const uint32_t err = temp.create(pcszWanted_p, mode);
    if (err == ERROR_SUCCESS) return VKT_OK;
    VKT_TRACE_ERROR(err, "temporary file cannot be created");
    switch (err) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_FILENAME_EXCED_RANGE: return VKT_ERR_FILE_NAME;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: return VKT_ERR_OPEN_FILE;
        default: return VKT_ERR;
    }
}

bool IsValidDSSWaveFormatEx(const WAVEFORMATEX* pwfx) {
    if (!pwfx) return false;
    if (pwfx->nChannels != 1 || pwfx->wBitsPerSample != 0 || pwfx->cbSize != 0) return false;
    for (const auto& row : vkt::dss::kCompressionIds)
        if (row.format_tag != 0 && row.format_tag == pwfx->wFormatTag && pwfx->nSamplesPerSec == row.clock_rate &&
            pwfx->nAvgBytesPerSec == row.bytes_per_second && pwfx->nBlockAlign == row.block_align)
            return true;
    return false;
}

bool VKTSameWaveFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.nAvgBytesPerSec == b.nAvgBytesPerSec && a.nBlockAlign == b.nBlockAlign &&
           a.wBitsPerSample == b.wBitsPerSample && a.cbSize == b.cbSize;
}

uint32_t CheckPcmDestinationFormat(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) return VKT_OK;
    const uint32_t block = uint32_t{f.nChannels} * (f.wBitsPerSample / 8u);
    if (f.nChannels != 0 && f.wBitsPerSample % 8 == 0 && f.nBlockAlign == block &&
        uint64_t{f.nAvgBytesPerSec} == uint64_t{f.nSamplesPerSec} * block)
        return VKT_OK;
    VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "VKT_ERR_INVALID_WAVFMT, PCM destination fields disagree");
    return VKT_ERR_INVALID_WAVFMT;
}

uint32_t PreparePcmConversion(const char* pcszUnit_p, const char* pcszSrc_p, const char* pcszDst_p,
                              const WAVEFORMATEX* pwfxDst_p, char* pszDest_p, TempFile& temp) {
    // The lines below belong to the conversion that asks.
    const char* const vkt_trace_unit = pcszUnit_p;
    if (!pcszSrc_p || !pcszDst_p) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
        return VKT_ERR_FILE_NAME;
    }
    if (!pwfxDst_p) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "VKT_ERR_INVALID_WAVFMT, destination format is NULL");
        return VKT_ERR_INVALID_WAVFMT;
    }
    if (uint32_t rc = CheckPcmDestinationFormat(*pwfxDst_p)) return rc;
    char tmp[VKT_MAX_PATH] = {};
    if (uint32_t rc = CreateDestinationFilePath(pcszSrc_p, pcszDst_p, pszDest_p, ".Wav", tmp, sizeof tmp)) return rc;
    if (uint32_t rc = CheckConversionDestination(pcszSrc_p, pszDest_p)) return rc;
    return CreateConversionTempFile(temp, tmp);
}
