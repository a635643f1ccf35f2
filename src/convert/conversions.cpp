// The DSS conversions behind the exports: DSS/DS2 -> WAV, WAV -> DSS/DS2 and
// DSS -> DSS, with the dictation header and markers carried across.
//
// Each conversion leaves either a finished destination or none: the work
// goes through temporary files beside the destination, made exclusively
// (platform/temp_file.h) and removed on every path.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "convert/conversions.h"
#include "convert/dss_converter.h"
#include "convert/wav_converter.h"
#include "convert/conv_entry.h"
#include "convert/format_queries.h"
#include "dss/dss_encryption.h"
#include "dss/frame_sizing.h"
#include "dss/dss_layout.h"
#include "media/media_operations.h"
#include "metadata/header_transport.h"
#include "platform/progress.h"
#include "platform/fileio.h"
#include "platform/path.h"
#include "platform/temp_file.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "wav/wav_file.h"
#include "wav/chunk_utilities.h"

VKT_TRACE_UNIT("vktconv");

namespace vkt::convert {

namespace {

using namespace vkt::platform;

namespace h1 = vkt::dss::h1;

constexpr uint32_t kHeaderImage = vkt::dss::image::kTwoHeaders;
constexpr uint32_t kFullHeaderImage = vkt::dss::image::kThreeHeaders;
constexpr std::size_t kTmpPath = VKT_MAX_PATH;

constexpr uint32_t kHeader2CompressionIdAt = vkt::dss::image::kHeader2 + vkt::dss::h2::kCompressionId;

void report_done(ProgressCallback pfnCallback, intptr_t lCallback) {
    vkt::Progress{pfnCallback, lCallback}.report_percent(100);
}

// "%02d%02d%02d" of three numbers into six bytes of a header.
void put_six(uint8_t* at, int a, int b, int c) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%02d", a % 100, b % 100, c % 100);
    std::memcpy(at, text, 6);
}

// Creation and last-write time of a file. A file system that keeps no
// creation time gives the last-write time for both.
bool file_times(const char* name, time_t* created, time_t* written) {
    struct statx sx {};
    if (statx(AT_FDCWD, name, 0, STATX_BTIME | STATX_MTIME, &sx) != 0) {
        VKT_TRACE_ERROR(win32_error_from_errno(errno), "CreateFile failed");
        return false;
    }
    *written = static_cast<time_t>(sx.stx_mtime.tv_sec);
    *created = (sx.stx_mask & STATX_BTIME) ? static_cast<time_t>(sx.stx_btime.tv_sec) : *written;
    return true;
}

// A DSS file made from a WAV file without recording times takes them from
// the WAV file: its creation as the start, its last write as the end.
uint32_t stamp_recording_times(const char* pcszWAVFileName, const char* pcszDSSFileName) {
    std::vector<uint8_t> image(kHeaderImage, 0);
    uint32_t size = kHeaderImage;
    if (uint32_t rc = ReadZRM2HeaderDataToMemoryEx(pcszDSSFileName, image.data(), &size, true)) return rc;
    if (std::memcmp(image.data() + h1::kStartDate, "000000", h1::kDateTimeSize) != 0) return VKT_OK;
    time_t created = 0, written = 0;
    if (!file_times(pcszWAVFileName, &created, &written)) return VKT_ERR_OPEN_FILE;
    struct tm start {}, end {};
    localtime_r(&created, &start);
    localtime_r(&written, &end);
    put_six(image.data() + h1::kStartDate, start.tm_year % 100, start.tm_mon + 1, start.tm_mday);
    put_six(image.data() + h1::kStartTime, start.tm_hour, start.tm_min, start.tm_sec);
    put_six(image.data() + h1::kEndDate, end.tm_year % 100, end.tm_mon + 1, end.tm_mday);
    put_six(image.data() + h1::kEndTime, end.tm_hour, end.tm_min, end.tm_sec);
    return WriteZRM2HeaderDataToFile(pcszDSSFileName, image.data(), size, true);
}

}  // namespace

uint32_t dss_to_wav(const char* pcszDSSFileName, const char* pcszWAVFileName, const WAVEFORMATEX* pwfxDst,
                    ProgressCallback pfnCallback, intptr_t lCallback, const char* pcszPassword) {
    char dest[VKT_MAX_PATH] = {};
    TempFile temp;
    if (uint32_t rc = PreparePcmConversion(VKT_TRACE_UNIT_NAME, pcszDSSFileName, pcszWAVFileName, pwfxDst, dest, temp))
        return rc;

    // Standard play at the 12000 clock decodes straight to 16-bit mono at
    // 8000 or 16000: its decoder makes whole frames at those rates (192 and
    // 384 samples), which saves the format change's second pass. Other
    // codecs decode at their own rate whatever is asked.
    const bool direct = pwfxDst->wFormatTag == WAVE_FORMAT_PCM && pwfxDst->nChannels == 1 &&
                        pwfxDst->wBitsPerSample == 16 &&
                        (pwfxDst->nSamplesPerSec == 8000 || pwfxDst->nSamplesPerSec == 16000);
    const uint32_t rate = direct ? pwfxDst->nSamplesPerSec : 12000;
    if (uint32_t rc = VKTDSSToWAVInternal(pcszDSSFileName, temp.c_str(), pfnCallback, lCallback, rate, pcszPassword)) {
        VKT_TRACE_ERROR(rc, "Error DSSToWAVInternal called at ORVKTDSSToWAV");
        return rc;
    }
    WAVEFORMATEX decoded{};
    if (uint32_t rc = VKTReadWAVFormat(temp.c_str(), &decoded, sizeof decoded)) {
        VKT_TRACE_ERROR(rc, "Error ORVKTReadWAVFormat called at ORVKTDSSToWAV");
        return rc;
    }
    if (!VKTSameWaveFormat(decoded, *pwfxDst)) {
        const uint32_t rc = VKTWAVToWAVInternal(temp.c_str(), dest, pwfxDst, pfnCallback, lCallback, 50, 100, false);
        temp.remove();
        if (rc != VKT_OK) {
            VKT_TRACE_ERROR(rc, "Error VKTWAVToWAVInternal   called at ORVKTDSSToWAV");
            return rc;
        }
    } else {
        if (uint32_t err = move_file(temp.c_str(), dest, true)) {
            VKT_TRACE_ERROR(err, "Error MoveFile called at ORVKTDSSToWAV");
            return VKT_ERR_WRITE_FILE;
        }
        temp.keep();
        // The file is complete: a cancel answered to this report comes too
        // late to take it away (as in every conversion into WAV).
        report_done(pfnCallback, lCallback);
    }

    // The dictation header follows the audio; a problem here leaves the
    // converted audio in place.
    std::vector<uint8_t> image(kHeaderImage, 0);
    uint32_t size = kHeaderImage;
    if (uint32_t rc = ReadZRM2HeaderDataToMemoryEx(pcszDSSFileName, image.data(), &size, false)) {
        VKT_TRACE_ERROR(rc, "Error ReadZRM2HeaderDataToMemory called at ORVKTDSSToWAV");
        return VKT_OK;
    }
    if (uint32_t rc = WriteZRM2HeaderDataToFile(dest, image.data(), size, false)) {
        VKT_TRACE_ERROR(rc, "Error WriteZRM2HeaderDataToFile called at ORVKTDSSToWAV");
        return VKT_OK;
    }
    if (uint32_t rc = reorder_list_chunk_in_file(dest)) VKT_TRACE_ERROR(rc, "by reorder_list_chunk_in_file()");
    return VKT_OK;
}

uint32_t wav_to_dss(const char* pcszWAVFileName, const char* pcszDSSFileName, const WAVEFORMATEX* pwfxDst,
                    int16_t sHeaders, ProgressCallback pfnCallback, intptr_t lCallback) {
    if (!pcszWAVFileName || !pcszDSSFileName) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
        return VKT_ERR_FILE_NAME;
    }
    if (!IsValidDSSWaveFormatEx(pwfxDst)) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "VKT_ERR_INVALID_WAVFMT, no valid DSS format");
        return VKT_ERR_INVALID_WAVFMT;
    }
    if (sHeaders < 1 || sHeaders > 3) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_PARAM, "number of header blocks must be 1 to 3");
        return VKT_ERR_INVALID_PARAM;
    }
    char dest[VKT_MAX_PATH] = {};
    char tmp[kTmpPath] = {};
    if (uint32_t rc = CreateDestinationFilePath(pcszWAVFileName, pcszDSSFileName, dest, ".Dss", tmp, sizeof tmp))
        return rc;
    if (uint32_t rc = CheckConversionDestination(pcszWAVFileName, dest)) return rc;
    if (uint32_t rc = check_dss_target_name(dest, pwfxDst->nSamplesPerSec == 16000)) return rc;

    uint32_t fmt_size = 0;
    try {
        CWavFile wav;
        wav.open_file(pcszWAVFileName, MMIO_READ | MMIO_DENYWRITE);
        wav.get_sizeof_format(&fmt_size);
    } catch (...) {
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in ORVKTWAVToDSS");
    }
    std::vector<uint8_t> fmt(std::max<uint32_t>(fmt_size, sizeof(WAVEFORMATEX)), 0);
    if (uint32_t rc = VKTReadWAVFormat(pcszWAVFileName, reinterpret_cast<WAVEFORMATEX*>(fmt.data()), fmt_size)) {
        VKT_TRACE_ERROR(rc, "Error ORVKTReadWAVFormat called at ORVKTWAVToDSS");
        return rc;
    }
    WAVEFORMATEX source{};
    std::memcpy(&source, fmt.data(), sizeof source);
    if (fmt_size < sizeof(WAVEFORMATEX)) source.cbSize = 0;

    // From here on the temporary file exists; it goes on every path.
    TempFile temp;
    if (uint32_t rc = CreateConversionTempFile(temp, tmp)) return rc;
    if (!VKTSameWaveFormat(source, *pwfxDst)) {
        if (uint32_t rc =
                VKTWAVToWAVInternal(pcszWAVFileName, temp.c_str(), pwfxDst, pfnCallback, lCallback, 0, 50, true)) {
            VKT_TRACE_ERROR(rc, "Error VKTWAVToWAVInternal   called at ORVKTWAVToDSS");
            return rc;
        }
    } else if (uint32_t err = copy_file(pcszWAVFileName, temp.c_str(), false)) {
        VKT_TRACE_ERROR(err, "Error CopyFile called at ORVKTWAVToDSS");
        return VKT_ERR_WRITE_FILE;
    }

    if (uint32_t rc = VKTWavToDssInternal(temp.c_str(), dest, sHeaders, pfnCallback, lCallback)) {
        VKT_TRACE_ERROR(rc, "Error VKTWavToDssInternal called at ORVKTWAVToDSS");
        // The packed blocks written so far stay: a DSS file of what was packed.
        return rc;
    }
    temp.remove();
    return stamp_recording_times(pcszWAVFileName, dest);
}

uint32_t dss_to_dss(const char* pcszSrcFileName, const char* pcszDstFileName, const WAVEFORMATEX* pwfxDst,
                    ProgressCallback pfnCallback, intptr_t lCallback, const char* pcszPassword) {
    if (!pcszSrcFileName || !pcszDstFileName) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
        return VKT_ERR_FILE_NAME;
    }
    if (!IsValidDSSWaveFormatEx(pwfxDst)) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "VKT_ERR_INVALID_WAVFMT, no valid DSS format");
        return VKT_ERR_INVALID_WAVFMT;
    }
    if (uint32_t rc = CheckConversionDestination(pcszSrcFileName, pcszDstFileName)) return rc;
    if (uint32_t rc = check_dss_target_name(pcszDstFileName, pwfxDst->nSamplesPerSec == 16000)) return rc;
    const PathParts parts = split_path(pcszDstFileName);
    const std::string tmp = parts.drive + parts.dir + "~" + parts.fname + "1";

    std::vector<uint8_t> image(kFullHeaderImage, 0);
    uint32_t size = kFullHeaderImage;
    if (uint32_t rc = ReadZRM2HeaderDataToMemoryEx(pcszSrcFileName, image.data(), &size, true)) return rc;
    // The new file is never encrypted; a DSS file has no long index table.
    std::memset(image.data() + h1::kEncryptionVersion, 0xFF, h1::kEncryptionEnd - h1::kEncryptionVersion);
    const bool ds2 = extension_starts_with(extension_of(pcszDstFileName), ".ds2", 4);
    h1::put_format_id(image.data(), ds2);
    if (!ds2) {
        std::memset(image.data() + h1::kLongIndex, 0xFF, h1::kEncryptionVersion - h1::kLongIndex);
    }
    using vkt::dss::kCompressionIds;
    uint32_t rate = kCompressionIds[vkt::dss::kIdStandardPlay].clock_rate;
    if (size >= kHeaderImage) {
        if (image[kHeader2CompressionIdAt] == vkt::dss::kIdStandardPlay8k && image[kHeader2CompressionIdAt + 1] == 0)
            rate = kCompressionIds[vkt::dss::kIdStandardPlay8k].clock_rate;
        const int for_format = vkt::dss::compression_id_for_format(pwfxDst->wFormatTag, pwfxDst->nSamplesPerSec);
        const uint16_t id = for_format < 0 ? vkt::dss::kIdQualityPlay : static_cast<uint16_t>(for_format);
        image[kHeader2CompressionIdAt] = static_cast<uint8_t>(id);
        image[kHeader2CompressionIdAt + 1] = 0;
    }
    const int16_t headers = static_cast<int16_t>(std::clamp<int>(image[h1::kHeaderCount], 1, 3));

    // The decoded audio of a password-protected recording is for its owner
    // only, and never outlives the call. A source whose state cannot be told
    // is treated as protected.
    uint32_t encrypted = 1;
    if (VKTIsEncryptedDSSFile(pcszSrcFileName, &encrypted) != VKT_OK) encrypted = 1;
    TempFile temp;
    if (uint32_t rc = CreateConversionTempFile(temp, tmp.c_str(), encrypted ? 0600 : 0666)) return rc;

    if (uint32_t rc =
            VKTDSSToWAVInternal(pcszSrcFileName, temp.c_str(), pfnCallback, lCallback, rate, pcszPassword)) {
        VKT_TRACE_ERROR(rc, "Error VKTDSSToWAVInternal called at ORVKTDSSToDSS");
        return rc;
    }
    if (uint32_t rc = ORVKTWAVToDSS(temp.c_str(), pcszDstFileName, pwfxDst, headers, pfnCallback, lCallback)) {
        VKT_TRACE_ERROR(rc, "Error ORVKTWAVToDSS called at ORVKTDSSToDSS");
        // The decoded recording of a plain source stays beside the
        // destination, so that the encoding can be tried again from it.
        if (!encrypted) temp.keep();
        return rc;
    }
    temp.remove();
    return WriteZRM2HeaderDataToFile(pcszDstFileName, image.data(), size, true);
}

}  // namespace vkt::convert
