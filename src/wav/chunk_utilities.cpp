#include "wav/chunk_utilities.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "platform/byte_order.h"

VKT_TRACE_UNIT("chunk_utilities");

using vkt::get_le16;
using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

namespace {

// A list content larger than this is not an INFO list we carry along.
constexpr uint32_t kMaxListSize = 16u << 20;


// The reordering itself; returns the length of the reordered content.
uint32_t reorder(uint8_t* buffer, uint32_t size) {
    if (size <= 4) return 0;
    const uint32_t content = size - 4;
    std::vector<uint8_t> out(size, 0);
    uint32_t n = 0;
    struct Span {
        uint32_t at;
        uint32_t length;
    };
    std::optional<Span> isrf;  // the last ISRF sub-chunk seen
    uint32_t i = 0;
    while (i < content) {
        // An ISRF whose size runs past the content is taken as plain bytes,
        // so that nothing is read or written outside the buffer.
        if (std::memcmp(buffer + i, "ISRF", 4) == 0 && content - i >= 8) {
            // The pad byte behind an odd-sized sub-chunk belongs to it.
            const uint64_t declared = get_le32(buffer + i + 4);
            const uint64_t padded = declared + (declared & 1);
            if (declared <= content - i - 8) {
                isrf = Span{i, static_cast<uint32_t>(8 + std::min<uint64_t>(padded, content - i - 8))};
                i += isrf->length;
                continue;
            }
        }
        out[n++] = buffer[i++];
    }
    if (isrf) {
        std::memcpy(out.data() + n, buffer + isrf->at, isrf->length);
        n += isrf->length;
    }
    std::memcpy(buffer, out.data(), size);
    return n;
}

// Reads the LIST/INFO content of `src`, reorders it and writes it to `dst`
// (which may be the same object). A file without a list is left alone.
void carry_list(CWavFile& src, CWavFile& dst) {
    uint32_t size = 0;
    if (src.get_sizeof_list(&size) != VKT_OK || size < 4) return;
    if (size > kMaxListSize) {
        VKT_TRACE_ERROR(size, "Buffer size too small");
        vkt::raise(VKT_ERR_BUFFER_TOO_SMALL);
    }
    std::vector<uint8_t> buffer(size, 0);
    src.read_list_chunk(buffer.data(), size);
    const uint32_t length = reorder(buffer.data(), size);
    VKT_TRACE_TEXT("move_format_history_chunk_to_end()");
    dst.write_list_chunk(buffer.data(), length);
}

}  // namespace

int move_format_history_chunk_to_end(uint8_t* pbyBuffer, uint32_t dwSize) {
    VKT_TRACE_TEXT("move_format_history_chunk_to_end()");
    if (pbyBuffer) reorder(pbyBuffer, dwSize);
    return 1;
}

uint32_t insert_cue_chunk(const char* pcszWAVFileName, const CuePoint* pCuePoint) {
    VKT_TRACE_TEXT("insert_cue_chunk(...)");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    if (!pcszWAVFileName) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, filename is NULL");
        return VKT_ERR_FILE_NAME;
    }
    if (!pCuePoint) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CHUNKINFO, "VKT_ERR_INVALID_CHUNKINFO, chunk info is NULL");
        return VKT_ERR_INVALID_CHUNKINFO;
    }
    CWavFile wav;
    uint32_t result = VKT_OK;
    try {
        wav.open_file(pcszWAVFileName, MMIO_READWRITE | MMIO_DENYWRITE);
        result = wav.write_cue_chunk(pCuePoint);
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in write_cue_chunk");
    }
    if (uint32_t closed = wav.close_file()) {
        VKT_TRACE_ERROR(closed, "Error closing the WAV file");
        if (result == VKT_OK) result = closed;
    }
    return result;
}

uint32_t copy_list_chunk(const char* pcszSrcFile, const char* pcszDestFile) {
    VKT_TRACE_TEXT("copy_list_chunk(...)");
    VKT_TRACE_PARAM("pcszSrcFile", "%s", pcszSrcFile);
    VKT_TRACE_PARAM("pcszDestFile", "%s", pcszDestFile);
    if (!pcszDestFile) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, filename is NULL");
        return VKT_ERR_FILE_NAME;
    }
    CWavFile src;
    CWavFile dst;
    uint32_t result = VKT_OK;
    try {
        src.open_file(pcszSrcFile, MMIO_READ | MMIO_DENYWRITE);
        dst.open_file(pcszDestFile, MMIO_READWRITE | MMIO_DENYWRITE);
        carry_list(src, dst);
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in copy_list_chunk");
    }
    src.close_file();
    if (uint32_t closed = dst.close_file(); closed && result == VKT_OK) result = closed;
    return result;
}

uint32_t reorder_list_chunk_in_file(const char* pcszWAVFileName) {
    VKT_TRACE_TEXT("reorder_list_chunk_in_file(...)");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    if (!pcszWAVFileName) return VKT_ERR_FILE_NAME;
    CWavFile wav;
    uint32_t result = VKT_OK;
    try {
        wav.open_file(pcszWAVFileName, MMIO_READWRITE | MMIO_DENYWRITE);
        carry_list(wav, wav);
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in reorder_list_chunk_in_file");
    }
    if (uint32_t closed = wav.close_file(); closed && result == VKT_OK) result = closed;
    return result;
}
