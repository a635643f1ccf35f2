#include "edit/dss_edit_common.h"

#include <cstring>

#include "dss/CDSSFILE.h"
#include "dss/INTERNAL.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

using namespace vkt::platform;

namespace vkt::edit {

namespace {
constexpr uint32_t kFrameBytesPerBlock = DSS_BLOCK_SIZE - 6;
}

uint32_t count_markers(const uint8_t* pbyMarkers) {
    uint32_t n = 0;
    while (n < kMarkerCount && get_le32(pbyMarkers + 8 * n) != kNoMarker) ++n;
    return n;
}

uint32_t fit_header_to_name(uint8_t* pbyHeader1, const std::string& name, bool bNeedsDssPro) {
    if (uint32_t rc = check_dss_target_name(name.c_str(), bNeedsDssPro)) return rc;
    const bool ds2_name = extension_starts_with(extension_of(name), ".ds2", 4);
    if (ds2_name && std::memcmp(pbyHeader1 + 1, "dss", 3) == 0) {
        std::memcpy(pbyHeader1 + 1, "ds2", 3);
        put_le16(pbyHeader1 + 4, 2);
        put_le16(pbyHeader1 + 6, 3);
    } else if (!ds2_name && std::memcmp(pbyHeader1 + 1, "ds2", 3) == 0) {
        std::memcpy(pbyHeader1 + 1, "dss", 3);
        put_le16(pbyHeader1 + 4, 1);
        put_le16(pbyHeader1 + 6, 1);
        // A DSS file has no long index table.
        std::memset(pbyHeader1 + kLongIndexStart, 0xFF, kIndexTablesEnd - kLongIndexStart);
    }
    return 0;
}

uint64_t packed_file_size(uint32_t headers, uint64_t frames, uint32_t frame_size) {
    const uint64_t blocks = frames * frame_size / kFrameBytesPerBlock + 1;
    return (static_cast<uint64_t>(headers) + blocks) * DSS_BLOCK_SIZE;
}

uint32_t stored_frame_size(uint8_t byCompressionId) {
    switch (byCompressionId) {
        case 0:
        case 4: return 41;
        case 2: return 24;
        case 6:
        case 7: return 56;
        default: return 0;
    }
}

void finish_packed_file(CDssFile& file, const char* what) {
    file.flush_out_block();
    if (uint32_t rc = file.closing_work()) {
        VKT_TRACE_ERROR(rc, (std::string("by ") + what + ".closing_work ()").c_str());
        raise(15);
    }
}

}  // namespace vkt::edit
