#include "metadata/separate_instructions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "metadata/spoken_instructions.h"
#include "platform/progress.h"
#include "platform/file_identity.h"
#include "platform/fileio.h"
#include "platform/path.h"
#include "platform/temp_file.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "wav/wav_file.h"

VKT_TRACE_UNIT("separate_instructions");

using namespace vkt::platform;

namespace {

constexpr uint32_t kPiece = 10240;
const char kTempSuffix[] = "~temp";

// Reads `bytes` bytes of sample data (never more than `*left`, the rest of
// the data chunk) and appends them to dst when there is one. A section that
// is not the last must get all its bytes; false when the data ended first.
bool CopyToDestFile(CWavFile& src, CWavFile* dst, uint64_t bytes, bool last, uint64_t* left, uint8_t* buffer) {
    uint64_t want = last ? *left : std::min(bytes, *left);
    const bool short_data = !last && bytes > *left;
    while (want > 0) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(kPiece, want));
        const uint32_t got = src.read_data(buffer, n);
        if (dst && got) dst->write_data(buffer, got);
        *left -= got;
        want -= got;
        if (got < n) break;
    }
    if (short_data || (!last && want > 0)) {
        VKT_TRACE_ERROR(30, "end of file reached in CopyToDestFile");
        return false;
    }
    return true;
}

// "x.wav~temp" -> "x.wav"; the temporary file may have had to take a
// numbered name, so the final name is the one it stands for.
uint32_t RenameTempFile(TempFile& temp, const std::string& final_name) {
    if (move_file(temp.c_str(), final_name.c_str(), true) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_COPY_FAILED, "rename temp file failed");
        return VKT_ERR_COPY_FAILED;
    }
    temp.keep();
    return VKT_OK;
}

std::string instruction_name_of(const std::string& dictation) {
    PathParts p = split_path(dictation);
    p.fname += "_i";
    return join_path(p);
}

}  // namespace

uint32_t SeparateSpokenInstructions(const char* src, const char* dst, bool bCreateDictation, bool bCreateInstruction,
                                    ProgressCallback pfnCallback, intptr_t lCallback) {
    if (!src || !dst) return VKT_ERR_FILE_NAME;
    // The very name of the source asks for the source to be replaced, through
    // temporary files. Any other name of the source file (a link, another
    // spelling of its path) would cut it while it is read; and a name that
    // differs only in case is another file.
    const bool same = std::strcmp(src, dst) == 0;
    const std::string instruction_final = instruction_name_of(dst);
    if ((!same && same_file(src, dst)) || (bCreateInstruction && same_file(src, instruction_final.c_str())) ||
        (bCreateDictation && bCreateInstruction && same_file(dst, instruction_final.c_str()))) {
        VKT_TRACE_ERROR(VKT_ERR, "destination is the source file");
        return VKT_ERR;
    }
    if ((bCreateDictation && is_special_file(dst)) ||
        (bCreateInstruction && is_special_file(instruction_final.c_str()))) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "destination is not a regular file");
        return VKT_ERR_OPEN_FILE;
    }
    TempFile dictation_temp;
    TempFile instruction_temp;
    std::string dictation_name = dst;
    std::string instruction_name = instruction_final;

    uint8_t markers[kMarkerArraySize];
    if (uint32_t r = ReadSpokenInstructionMarkersToArray(src, markers)) {
        VKT_TRACE_ERROR(r, "ReadSpokenInstructionMarkersToArray failed");
        return r;
    }
    bool instruction = MarkerAt(markers, 0).start == 0;
    if (MarkerAt(markers, 0).start == kNoMarker) VKT_TRACE_WARNING("no instruction markers found");

    uint32_t result = VKT_OK;
    bool created_dictation = false;
    bool created_instruction = false;
    {
        CWavFile source;
        std::unique_ptr<CWavFile> dictation;
        std::unique_ptr<CWavFile> instructions;
        try {
            source.open_file(src, MMIO_READ | MMIO_DENYWRITE);
            uint32_t fmt_size = 0;
            uint32_t data_size = 0;
            source.get_sizeof_format(&fmt_size);
            // The 18-byte record; a 16-byte PCM chunk has no cbSize, and the
            // extra bytes of a longer one are not carried.
            WAVEFORMATEX fmt{};
            if (uint32_t r = source.read_format(&fmt, std::min<uint32_t>(fmt_size, sizeof fmt))) {
                VKT_TRACE_ERROR(r, "srcFile.read_format failed");
                return r;
            }
            fmt.cbSize = 0;
            source.get_sizeof_data(&data_size);
            if (fmt.nAvgBytesPerSec == 0) {
                VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "srcFile.read_format failed");
                return VKT_ERR_INVALID_WAVFMT;
            }
            const uint32_t align = std::max<uint32_t>(fmt.nBlockAlign, 1);
            const uint32_t flags = MMIO_CREATE | MMIO_READWRITE | MMIO_EXCLUSIVE;
            if (same) {
                const std::string temp_name = std::string(dst) + kTempSuffix;
                if ((bCreateDictation && dictation_temp.create(temp_name) != 0) ||
                    (bCreateInstruction && instruction_temp.create(instruction_name_of(temp_name)) != 0)) {
                    VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "temporary file cannot be created");
                    return VKT_ERR_OPEN_FILE;
                }
                dictation_name = dictation_temp.name();
                instruction_name = instruction_temp.name();
            }
            if (bCreateDictation) {
                dictation = std::make_unique<CWavFile>();
                dictation->create_new_wave_file(dictation_name.c_str(), flags, &fmt);
                created_dictation = true;
            }
            if (bCreateInstruction) {
                instructions = std::make_unique<CWavFile>();
                instructions->create_new_wave_file(instruction_name.c_str(), flags, &fmt);
                created_instruction = true;
            }

            const double total_ms = static_cast<double>(data_size) * 1000.0 / fmt.nAvgBytesPerSec;
            std::vector<uint8_t> buffer(kPiece);
            uint64_t left = data_size;
            uint64_t position = 0;
            uint32_t index = 0;
            for (;;) {
                uint64_t length = 0;
                bool last = false;
                if (instruction) {
                    const uint32_t end = MarkerAt(markers, index).end;
                    length = end > position ? end - position : 0;
                    ++index;
                } else if (index < kMarkerCount && MarkerAt(markers, index).start != kNoMarker) {
                    const uint32_t start = MarkerAt(markers, index).start;
                    length = start > position ? start - position : 0;
                } else {
                    last = true;
                }
                // Whole sample frames only, so both files stay aligned.
                uint64_t bytes = length * fmt.nAvgBytesPerSec / 1000;
                bytes -= bytes % align;
                CWavFile* target = instruction ? instructions.get() : dictation.get();
                VKT_TRACE_TEXT(instruction ? "copy to instrucion file" : "copy to dictation file");
                if (!CopyToDestFile(source, target, bytes, last, &left, buffer.data())) break;
                const vkt::Progress progress{pfnCallback, lCallback};
                uint32_t percent = 100;
                if (!last && total_ms > 0)
                    percent = static_cast<uint32_t>(
                        std::floor(static_cast<double>(position + length) / total_ms * 100.0 + 0.5));
                if (VKT_PROGRESS_PERCENT(progress, percent)) vkt::raise(VKT_CANCELLED);
                if (last) break;
                position += length;
                instruction = !instruction;
            }
            source.close_file();
            if (dictation) dictation->closing_work();
            if (instructions) instructions->closing_work();
        } catch (...) {
            result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in ORVKTWAVSeperateSpokenInstructions");
        }
    }
    if (result != VKT_OK) {
        // What this call created goes: an output it did not finish has sizes
        // that were never patched and would pass for an empty recording.
        // Temporary files (a separation into its own name) remove themselves.
        if (!same) {
            if (created_dictation) delete_file(dictation_name.c_str());
            if (created_instruction) delete_file(instruction_name.c_str());
        }
        return result;
    }
    if (same) {
        // The source gives way only to a dictation file that replaces it.
        if (created_dictation) {
            if (delete_file(src) != 0) {
                VKT_TRACE_ERROR(VKT_ERR_DELETE_FAILED, "Delete sourceFile failed");
                return VKT_ERR_DELETE_FAILED;
            }
            if (uint32_t r = RenameTempFile(dictation_temp, dst)) return r;
        }
        if (created_instruction) {
            if (uint32_t r = RenameTempFile(instruction_temp, instruction_final)) return r;
        }
    }
    return VKT_OK;
}
