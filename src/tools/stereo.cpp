#include "tools/stereo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "metadata/header_transport.h"
#include "platform/progress.h"
#include "platform/file_identity.h"
#include "platform/fileio.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "wav/wav_file.h"

VKT_TRACE_UNIT("Stereo");

namespace {

constexpr uint32_t kInputBuffer = 10240;
constexpr uint32_t kOutputBuffer = kInputBuffer / 2;

int16_t sample16(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))); }

struct Outputs {
    std::unique_ptr<CWavFile> left;
    std::unique_ptr<CWavFile> right;
    std::vector<const char*> created;
};

// The work of Internal_PCMStereoToMono; the outputs it creates are listed
// in `outputs`.
uint32_t split_or_mix(bool splitStereo, const char* pcszWAVSrcFileName, const char* pcszWAVDstLeftOrMonoFileName,
                      const char* right_name, ProgressCallback pfnCallback, intptr_t lCallback, uint32_t progStart,
                      uint32_t progEnd, Outputs& outputs) {
    try {
        CWavFile source;
        source.open_file(pcszWAVSrcFileName, MMIO_READ);
        uint32_t fmt_size = 0;
        source.get_sizeof_format(&fmt_size);
        WAVEFORMATEX src{};
        if (uint32_t r = source.read_format(&src, std::min<uint32_t>(fmt_size, sizeof src))) {
            VKT_TRACE_ERROR(r, "sourceFile.read_format failed");
            vkt::raise(r);
        }
        if (src.wFormatTag != WAVE_FORMAT_PCM || src.nChannels != 2 || src.nBlockAlign < 2 || src.nBlockAlign % 2) {
            VKT_TRACE_ERROR(VKT_ERR_NOT_STEREO, "Only stereo PCM files are supported");
            return VKT_ERR_NOT_STEREO;
        }
        if (!splitStereo && (src.wBitsPerSample != 16 || src.nBlockAlign != 4)) {
            VKT_TRACE_ERROR(VKT_ERR_NOT_STEREO, "Only 16bit stereo PCM files are supported for mixing");
            return VKT_ERR_NOT_STEREO;
        }
        uint32_t data_size = 0;
        source.get_sizeof_data(&data_size);

        WAVEFORMATEX mono{};
        mono.wFormatTag = WAVE_FORMAT_PCM;
        mono.nChannels = 1;
        mono.nSamplesPerSec = src.nSamplesPerSec;
        mono.wBitsPerSample = src.wBitsPerSample;
        mono.nAvgBytesPerSec = src.nAvgBytesPerSec / 2;
        mono.nBlockAlign = static_cast<uint16_t>(src.nBlockAlign / 2);
        mono.cbSize = 0;

        const uint32_t flags = MMIO_CREATE | MMIO_READWRITE | MMIO_EXCLUSIVE;
        if (pcszWAVDstLeftOrMonoFileName) {
            outputs.left = std::make_unique<CWavFile>();
            outputs.left->create_new_wave_file(pcszWAVDstLeftOrMonoFileName, flags, &mono);
            outputs.created.push_back(pcszWAVDstLeftOrMonoFileName);
        }
        if (right_name) {
            outputs.right = std::make_unique<CWavFile>();
            outputs.right->create_new_wave_file(right_name, flags, &mono);
            outputs.created.push_back(right_name);
        }

        const uint32_t align = src.nBlockAlign;
        const uint32_t half = align / 2;
        const uint32_t block = kInputBuffer / align * align;
        uint8_t in[kInputBuffer];
        uint8_t out_left[kOutputBuffer];
        uint8_t out_right[kOutputBuffer];
        uint64_t done = 0;
        for (;;) {
            const auto want = static_cast<uint32_t>(std::min<uint64_t>(block, data_size - done));
            const uint32_t got = want ? source.read_data(in, want) : 0;
            done += got;
            const uint32_t frames = got / align;
            for (uint32_t i = 0; i < frames; ++i) {
                const uint8_t* frame = in + i * align;
                if (splitStereo) {
                    // The first channel goes to the right file, the second
                    // to the left file.
                    std::memcpy(out_right + i * half, frame, half);
                    std::memcpy(out_left + i * half, frame + half, half);
                } else {
                    const int mixed = sample16(frame) / 2 + sample16(frame + 2) / 2;
                    out_left[2 * i] = static_cast<uint8_t>(mixed & 0xFF);
                    out_left[2 * i + 1] = static_cast<uint8_t>((mixed >> 8) & 0xFF);
                }
            }
            const uint32_t out_bytes = frames * mono.nBlockAlign;
            if (outputs.left && out_bytes) outputs.left->write_data(out_left, out_bytes);
            if (outputs.right && out_bytes) outputs.right->write_data(out_right, out_bytes);
            if (data_size) {
                const vkt::Progress progress{pfnCallback, lCallback, progStart, progEnd};
                if (VKT_PROGRESS_PERCENT(progress, progress.percent_of(done, data_size))) return VKT_CANCELLED;
            }
            if (got < block || done >= data_size) break;
        }
        source.close_file();
        for (auto* out : {outputs.left.get(), outputs.right.get()}) {
            if (!out) continue;
            out->closing_work();
        }
        outputs.left.reset();
        outputs.right.reset();
        // Header and markers follow the audio; a source without them is no
        // failure.
        for (const char* name : {pcszWAVDstLeftOrMonoFileName, right_name}) {
            if (!name) continue;
            if (uint32_t r = CopyDSSHeaders(pcszWAVSrcFileName, name, true, true))
                VKT_TRACE_ERROR(r, "ORVKTCopyDSSHeaders failed");
        }
    } catch (...) {
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "error occured in ORVKTWAVSplitStereo");
    }
    return VKT_OK;
}

}  // namespace

uint32_t Internal_PCMStereoToMono(bool splitStereo, const char* pcszWAVSrcFileName,
                                  const char* pcszWAVDstLeftOrMonoFileName, const char* pcszWAVDstRightFileName,
                                  ProgressCallback pfnCallback, intptr_t lCallback, uint32_t progStart,
                                  uint32_t progEnd) {
    VKT_TRACE_TEXT("Internal_PCMStereoToMono");
    VKT_TRACE_PARAM("splitStereo", "%d", splitStereo ? 1 : 0);
    VKT_TRACE_PARAM("pcszWAVSrcFileName", "%s", pcszWAVSrcFileName);
    VKT_TRACE_PARAM("pcszWAVDstLeftOrMonoFileName", "%s", pcszWAVDstLeftOrMonoFileName);
    VKT_TRACE_PARAM("pcszWAVDstRightFileName", "%s", pcszWAVDstRightFileName);
    VKT_TRACE_PARAM("progStart", "%lu", progStart);
    VKT_TRACE_PARAM("progEnd", "%lu", progEnd);
    const char* right_name = splitStereo ? pcszWAVDstRightFileName : nullptr;
    if (!pcszWAVDstLeftOrMonoFileName && !right_name) return VKT_OK;  // nothing to write
    // An output that is the source would cut it while it is read; two
    // outputs that are one file would each overwrite the other.
    for (const char* out : {pcszWAVDstLeftOrMonoFileName, right_name}) {
        if (out && vkt::platform::same_file(pcszWAVSrcFileName, out)) {
            VKT_TRACE_ERROR(VKT_ERR, "destination is the source file");
            return VKT_ERR;
        }
    }
    if (pcszWAVDstLeftOrMonoFileName && right_name &&
        vkt::platform::same_file(pcszWAVDstLeftOrMonoFileName, right_name)) {
        VKT_TRACE_ERROR(VKT_ERR, "left and right destination are the same file");
        return VKT_ERR;
    }
    for (const char* out : {pcszWAVDstLeftOrMonoFileName, right_name}) {
        if (out && vkt::platform::is_special_file(out)) {
            VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "destination is not a regular file");
            return VKT_ERR_OPEN_FILE;
        }
    }

    // Outputs this call created; a call that does not finish removes them,
    // so that no file with unpatched sizes passes for an empty recording.
    Outputs outputs;
    const uint32_t result = split_or_mix(splitStereo, pcszWAVSrcFileName, pcszWAVDstLeftOrMonoFileName, right_name,
                                         pfnCallback, lCallback, progStart, progEnd, outputs);
    if (result != VKT_OK) {
        outputs.left.reset();
        outputs.right.reset();
        for (const char* name : outputs.created) vkt::platform::delete_file(name);
    }
    return result;
}

uint32_t VKTWAVMixStereoInternal(const char* pcszWAVSrcFileName, const char* pcszWAVDstFileName,
                                 ProgressCallback pfnCallback, intptr_t lCallback, uint32_t progStart,
                                 uint32_t progEnd) {
    VKT_TRACE_TEXT("+ORVKTWAVMixStereo");
    VKT_TRACE_PARAM("pcszWAVSrcFileName", "%s", pcszWAVSrcFileName);
    VKT_TRACE_PARAM("pcszWAVDstFileName", "%s", pcszWAVDstFileName);
    return Internal_PCMStereoToMono(false, pcszWAVSrcFileName, pcszWAVDstFileName, nullptr, pfnCallback, lCallback,
                                    progStart, progEnd);
}
