#include "media/media_operations.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "convert/wav_converter.h"
#include "convert/conv_entry.h"
#include "convert/format_queries.h"
#include "media/wma_converter.h"
#include "media/media_audio_file.h"
#include "metadata/header_operations.h"
#include "platform/progress.h"
#include "platform/file_identity.h"
#include "platform/fileio.h"
#include "platform/temp_file.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "tools/stereo.h"
#include "wav/wav_file.h"

VKT_TRACE_UNIT("WMFoperations");

using namespace vkt::platform;
using vkt::media::MediaReader;
using vkt::media::Sample;

namespace {

void report_done(ProgressCallback pfnCallback, intptr_t lCallback) {
    vkt::Progress{pfnCallback, lCallback}.report_percent(100);
}

// Samples of the reader into the open WAV file, with progress by the end
// time of each sample against the duration.
uint32_t copy_samples(MediaReader& reader, CWavFile& wav, int64_t qwDuration, ProgressCallback pfnCallback,
                      intptr_t lCallback, uint32_t dwProgressRange) {
    Sample sample;
    for (;;) {
        const uint32_t hr = reader.GetNextSample(&sample);
        if (hr == vkt::media::NS_E_NO_MORE_SAMPLES) return VKT_OK;
        if (hr != vkt::media::S_OK)
            return VKT_MEDIA_FAILURE(hr, "pReader->GetNextSample failed", VKT_ERR_MEDIA_READER);
        if (!sample.data.empty()) wav.write_data(sample.data.data(), static_cast<uint32_t>(sample.data.size()));
        // A reader that does not know the duration gives no progress; the
        // last samples may end a little after the stated duration.
        if (pfnCallback && qwDuration > 0) {
            const double share = static_cast<double>(sample.time + sample.duration) / static_cast<double>(qwDuration);
            const double value = std::floor(share * dwProgressRange + 0.5);
            const uint32_t percent = static_cast<uint32_t>(std::clamp(value, 0.0, static_cast<double>(dwProgressRange)));
            if (VKT_PROGRESS_PERCENT((vkt::Progress{pfnCallback, lCallback}), percent)) return VKT_CANCELLED;
        }
    }
}

// The decoded temporary WAV file becomes the destination: moved into place
// when it already has the wanted format, else converted (progress 50 to
// 100). The temporary file is gone afterwards on every path.
uint32_t finish_decoded_wav(TempFile& tmp, const char* dest, const WAVEFORMATEX* pwfxDst,
                            ProgressCallback pfnCallback, intptr_t lCallback, const char* caller) {
    auto trace = [caller](uint32_t code, const char* what) {
        VKT_TRACE_ERROR(code, (std::string(what) + " called at " + caller).c_str());
    };
    // Room for a format with extra bytes; only the fixed fields are compared.
    uint8_t fmt[300] = {};
    if (uint32_t rc = VKTReadWAVFormat(tmp.c_str(), reinterpret_cast<WAVEFORMATEX*>(fmt), sizeof fmt)) {
        trace(rc, "Error ORVKTReadWAVFormat");
        return rc;
    }
    WAVEFORMATEX current{};
    std::memcpy(&current, fmt, sizeof current);
    if (VKTSameWaveFormat(current, *pwfxDst)) {
        if (uint32_t err = move_file(tmp.c_str(), dest, true)) {
            trace(err, "Error MoveFile");
            return VKT_ERR_WRITE_FILE;
        }
        tmp.keep();
        report_done(pfnCallback, lCallback);
        return VKT_OK;
    }
    const uint32_t rc = VKTWAVToWAVInternal(tmp.c_str(), dest, pwfxDst, pfnCallback, lCallback, 50, 100, false);
    if (rc != VKT_OK) trace(rc, "Error VKTWAVToWAVInternal  ");
    return rc;
}

}  // namespace

uint32_t VKTWMFConvertToWAV(const char* pcszSrcFileName, const char* pcszDstFileName, WAVEFORMATEX* pwfxOut,
                            ProgressCallback pfnCallback, intptr_t lCallback, uint32_t dwProgressRange) {
    VKT_TRACE_TEXT("+ORVKTWMFConvertToWAV");
    VKT_TRACE_PARAM("pcszSrcFileName", "%s", pcszSrcFileName);
    VKT_TRACE_PARAM("pcszDstFileName", "%s", pcszDstFileName);
    VKT_TRACE_PARAM("pwfxOut", "%p", pwfxOut);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
    VKT_TRACE_PARAM("dwProgressRange", "%lu", dwProgressRange);
    if (!pcszSrcFileName || !pcszDstFileName || !*pcszSrcFileName || !*pcszDstFileName) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
        return VKT_ERR_FILE_NAME;
    }
    // Creating the destination would cut the file still being read.
    if (uint32_t rc = CheckConversionDestination(pcszSrcFileName, pcszDstFileName)) return rc;

    CWMFAudioFile audio;
    if (uint32_t rc = audio.open(pcszSrcFileName)) return rc;
    WAVEFORMATEX format{};
    if (uint32_t rc = audio.get_output_format(&format)) return rc;
    if (format.wFormatTag != WAVE_FORMAT_PCM) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "non PCM output");
        return VKT_ERR_INVALID_CONTENT;
    }
    if (pwfxOut) std::memcpy(pwfxOut, &format, sizeof format);
    int64_t duration = 0;
    if (uint32_t rc = audio.get_duration(&duration)) return rc;

    uint32_t result = VKT_OK;
    // A file that was there before and could not be replaced is not ours
    // to remove.
    bool created = !file_exists(pcszDstFileName);
    try {
        CWavFile wav;
        wav.create_new_wave_file(pcszDstFileName, MMIO_CREATE | MMIO_READWRITE | MMIO_EXCLUSIVE, &format);
        created = true;
        result = copy_samples(*audio.reader(), wav, duration, pfnCallback, lCallback, dwProgressRange);
        if (result == VKT_OK) wav.closing_work();
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in ORVKTWMFConvertToWAV");
    }
    if (result != VKT_OK) {
        if (created) delete_file(pcszDstFileName);
        return result;
    }

    // The dictation header and markers of an MP3 follow into the WAV file;
    // a source without them converts all the same.
    if (vkt::metadata::copy_dss_headers(pcszSrcFileName, pcszDstFileName, 1, 1) != VKT_OK)
        VKT_TRACE_WARNING("no dictation header copied from the source");
    return VKT_OK;
}

uint32_t VKTMP3ToWAV(const char* pcszMP3FileName, const char* pcszWAVFileName, const WAVEFORMATEX* pwfxDst,
                     ProgressCallback pfnCallback, intptr_t lCallback) {
    char dest[VKT_MAX_PATH] = {};
    TempFile decoded_file;
    if (uint32_t rc =
            PreparePcmConversion(VKT_TRACE_UNIT_NAME, pcszMP3FileName, pcszWAVFileName, pwfxDst, dest, decoded_file))
        return rc;

    WAVEFORMATEX decoded{};
    if (uint32_t rc = VKTWMFConvertToWAV(pcszMP3FileName, decoded_file.c_str(), &decoded, pfnCallback, lCallback, 40)) {
        VKT_TRACE_ERROR(rc, "Error ORVKTWMFConvertToWAV called at ORVKTMP3ToWAVEx");
        return rc;
    }
    if (decoded.nChannels != 2)
        return finish_decoded_wav(decoded_file, dest, pwfxDst, pfnCallback, lCallback, "ORVKTMP3ToWAVEx");

    // The mixed recording, a second temporary file, takes the decoded one's place.
    TempFile mixed;
    if (uint32_t rc = CreateConversionTempFile(mixed, (decoded_file.name() + ".2").c_str())) return rc;
    if (uint32_t rc = VKTWAVMixStereoInternal(decoded_file.c_str(), mixed.c_str(), pfnCallback, lCallback, 40, 50)) {
        VKT_TRACE_ERROR(rc, "Error ORVKTWAVMixStereo called at ORVKTMP3ToWAVEx");
        return rc;
    }
    decoded_file.remove();
    return finish_decoded_wav(mixed, dest, pwfxDst, pfnCallback, lCallback, "ORVKTMP3ToWAVEx");
}

uint32_t VKTWMAToWAV(const char* pcszWMAFileName, const char* pcszWAVFileName, const WAVEFORMATEX* pwfxDst,
                     ProgressCallback pfnCallback, intptr_t lCallback) {
    char dest[VKT_MAX_PATH] = {};
    TempFile decoded_file;
    if (uint32_t rc =
            PreparePcmConversion(VKT_TRACE_UNIT_NAME, pcszWMAFileName, pcszWAVFileName, pwfxDst, dest, decoded_file))
        return rc;

    if (uint32_t rc = VKTWMAToWAVInternal(pcszWMAFileName, decoded_file.c_str(), pfnCallback, lCallback)) {
        VKT_TRACE_ERROR(rc, "Error DSSToWAVInternal called at ORVKTWMAToWAV");
        return rc;
    }
    return finish_decoded_wav(decoded_file, dest, pwfxDst, pfnCallback, lCallback, "ORVKTWMAToWAV");
}
