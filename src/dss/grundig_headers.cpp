// The extra headers of files from Grundig recorders: header 2, and headers 3
// and 5 found by the block that precedes them.
#include <cstring>
#include <memory>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"
#include "dss/dss_layout.h"
#include "dss/traced_file_io.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("instruction_tables");

using namespace vkt::platform;
namespace L = vkt::dss;

namespace {

constexpr uint32_t kBlock = DSS_BLOCK_SIZE;

// Reads one header block; false on a failed or short read.
bool read_block(KRVHANDLE h, uint32_t index, uint8_t* out) {
    uint32_t got = 0;
    return KRVDSS_set_position_file(h, index * kBlock, FILE_BEGIN) == 0 &&
           KRVDSS_read_file(h, out, kBlock, &got) == 0 && got == kBlock;
}

bool starts_with(const uint8_t* block, const char* id) { return std::memcmp(block, id, 16) == 0; }

bool has_two_zero_bytes(const uint8_t* block) {
    for (uint32_t i = 0; i + 1 < kBlock; ++i)
        if (block[i] == 0 && block[i + 1] == 0) return true;
    return false;
}

std::unique_ptr<uint8_t[]> copy_of(const uint8_t* block) {
    auto p = std::make_unique<uint8_t[]>(kBlock);
    std::memcpy(p.get(), block, kBlock);
    return p;
}

}  // namespace

uint32_t CDssFile::ReadGrundigHeaders() {
    VKT_TRACE_TEXT("-----CDssFile::ReadGrundigHeaders()");
    m_pGrundigHeader_2.reset();
    m_pGrundigHeader_3.reset();
    m_pGrundigHeader_5.reset();
    if (GetLicenseeId() != DSS_LICENSEEID_GRUNDIG) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "non Grundig file in CDssFile::ReadGrundigHeaders");
        return VKT_ERR_INVALID_CONTENT;
    }
    const uint32_t blocks = m_pDssFileHeader ? m_pDssFileHeader[L::h1::kHeaderCount] : 0;
    if (blocks <= 1) {
        VKT_TRACE_WARNING("no more headers before H#2");
        return 0;
    }
    KRVHANDLE h = GetFileHandle();
    uint8_t block[kBlock];
    if (KRVDSS_set_position_file(h, kBlock, FILE_BEGIN) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "seeking to H#2 failed");
        return VKT_ERR_INVALID_CONTENT;
    }
    uint32_t got = 0;
    if (KRVDSS_read_file(h, block, kBlock, &got) != 0 || got != kBlock) {
        VKT_TRACE_WARNING("reading H#2 failed");
        return 0;
    }
    if (!starts_with(block, "GR/VL9607_000000")) {
        VKT_TRACE_WARNING("checking H#2 ID failed");
        return 0;
    }
    m_pGrundigHeader_2 = copy_of(block);

    // The block before H#3 is the first one that holds two adjacent zeros.
    uint32_t index = 2;
    for (; index < blocks; ++index)
        if (read_block(h, index, block) && has_two_zero_bytes(block)) break;
    if (index >= blocks) {
        VKT_TRACE_WARNING("no more headers");
        return 0;
    }
    if (index + 1 >= blocks) {
        VKT_TRACE_WARNING("no more headers before H#3");
        return 0;
    }
    ++index;
    if (!read_block(h, index, block)) {
        VKT_TRACE_WARNING("reading H#3 failed");
        return 0;
    }
    if (!starts_with(block, "GR___9607_000000")) {
        VKT_TRACE_WARNING("checking H#3 ID failed");
        return 0;
    }
    m_pGrundigHeader_3 = copy_of(block);

    for (++index; index < blocks; ++index) {
        if (!read_block(h, index, block)) {
            VKT_TRACE_WARNING("reading H#5 failed");
            return 0;
        }
        if (starts_with(block, "GR___0607_000000")) {
            m_pGrundigHeader_5 = copy_of(block);
            return 0;
        }
    }
    VKT_TRACE_WARNING("no more headers before H#5");
    return 0;
}
