#include "edit/dss_edit_common.h"

#include <cstring>

#include "dss/dss_file.h"
#include "dss/frame_sizing.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("dss_edit_common");

using namespace vkt::platform;

namespace vkt::edit {

namespace {
constexpr uint32_t kFrameBytesPerBlock = DSS_BLOCK_SIZE - vkt::dss::kDataBlockHeaderSize;
}

uint32_t count_markers(const uint8_t* pbyMarkers) {
    uint32_t n = 0;
    while (n < kMarkerCount && get_le32(pbyMarkers + vkt::dss::kMarkerEntrySize * n) != kNoMarker) ++n;
    return n;
}

uint32_t fit_header_to_name(uint8_t* pbyHeader1, const std::string& name, bool bNeedsDssPro) {
    if (uint32_t rc = check_dss_target_name(name.c_str(), bNeedsDssPro)) return rc;
    const bool ds2_name = extension_starts_with(extension_of(name), ".ds2", 4);
    namespace h1 = vkt::dss::h1;
    if (ds2_name && std::memcmp(pbyHeader1 + h1::kSelfId, "dss", h1::kSelfIdSize) == 0) {
        h1::put_format_id(pbyHeader1, true);
    } else if (!ds2_name && std::memcmp(pbyHeader1 + h1::kSelfId, "ds2", h1::kSelfIdSize) == 0) {
        h1::put_format_id(pbyHeader1, false);
        // A DSS file has no long index table.
        std::memset(pbyHeader1 + kLongIndexStart, 0xFF, kIndexTablesEnd - kLongIndexStart);
    }
    return 0;
}

uint64_t packed_file_size(uint32_t headers, uint64_t frames, uint32_t frame_size) {
    const uint64_t blocks = frames * frame_size / kFrameBytesPerBlock + 1;
    return (static_cast<uint64_t>(headers) + blocks) * DSS_BLOCK_SIZE;
}

void finish_packed_file(CDssFile& file, const char* what) {
    file.flush_out_block();
    if (uint32_t rc = file.closing_work()) {
        VKT_TRACE_ERROR(rc, (std::string("by ") + what + ".closing_work ()").c_str());
        raise(VKT_ERR_WRITE_FILE);
    }
}

}  // namespace vkt::edit
