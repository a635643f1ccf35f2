#include "edit/index_repair.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "dss/dss_layout.h"
#include "dss/dss_file.h"
#include "edit/dss_edit_common.h"
#include "platform/file_identity.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "dss/frame_sizing.h"

VKT_TRACE_UNIT("DSSIndexRepair");

using namespace vkt::platform;
using namespace vkt::edit;
using vkt::raise;

namespace {

constexpr uint32_t kShortEntries = 16;
constexpr uint32_t kShortEntrySize = 3;
constexpr uint32_t kLongEntries = 32;
constexpr uint32_t kLongEntrySize = 6;

// Milliseconds per frame of the identifiers whose markers can be placed;
// 0 for the others.
uint32_t frame_length_ms(uint8_t id) { return vkt::dss::has_placeable_markers(id) ? VKT_get_frame_duration_ms(id) : 0; }

// The two tables being rebuilt, as they go into header 1.
struct IndexTables {
    uint8_t short_index[kShortEntries * kShortEntrySize];
    uint8_t long_index[kLongEntries * kLongEntrySize];
    uint32_t short_count = 0;
    uint32_t long_count = 0;
    bool with_long_index = false;

    explicit IndexTables(bool long_index_too) : with_long_index(long_index_too) {
        std::memset(short_index, 0xFF, sizeof short_index);
        std::memset(long_index, 0xFF, sizeof long_index);
    }

    void add(uint32_t block, uint32_t frame) {
        if (block <= 0xFFFF && short_count < kShortEntries) {
            uint8_t* e = short_index + kShortEntrySize * short_count++;
            put_le16(e, static_cast<uint16_t>(block));
            e[2] = static_cast<uint8_t>(frame);
        }
        if (with_long_index && long_count < kLongEntries) {
            uint8_t* e = long_index + kLongEntrySize * long_count++;
            put_le32(e, block);
            put_le16(e + 4, static_cast<uint16_t>(frame));
        }
    }

    void store(uint8_t* header1) const {
        std::memcpy(header1 + kShortIndexStart, short_index, sizeof short_index);
        std::memcpy(header1 + kLongIndexStart, long_index, sizeof long_index);
    }
};

// Writes the headers of the destination: header 1 without index tables and
// with the self-identifier that fits the name, header 2 as it is, header 3
// with the marker array and 0xFF behind it.
void write_destination_headers(CDssFile& destFile, CDssFile& sourceFile, const std::string& name, bool needs_pro) {
    const uint16_t headers = sourceFile.m_wNrOfHeaders;
    uint8_t* const header1 = destFile.get_dss_file_header();
    std::memcpy(header1, sourceFile.get_dss_file_header(), DSS_BLOCK_SIZE);
    std::memset(header1 + kIndexTablesStart, 0xFF, kIndexTablesEnd - kIndexTablesStart);
    if (uint32_t rc = fit_header_to_name(header1, name, needs_pro)) raise(rc);
    if (destFile.write_fileheader(1) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "by destFile.write_fileheader (1)");
        raise(VKT_ERR_WRITE_FILE);
    }
    if (headers >= 2) {
        std::memcpy(destFile.m_pDssFileHeader_2.get(), sourceFile.m_pDssFileHeader_2.get(), DSS_BLOCK_SIZE);
        if (destFile.write_fileheader(2) != 0) {
            VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "by destFile.write_fileheader (2)");
            raise(VKT_ERR_WRITE_FILE);
        }
    }
    if (headers >= 3) {
        uint8_t* const header3 = destFile.m_pDssFileHeader_3.get();
        std::memcpy(header3, sourceFile.m_pDssFileHeader_3.get(), kMarkerArraySize);
        std::memset(header3 + kMarkerArraySize, 0xFF, DSS_BLOCK_SIZE - kMarkerArraySize);
        if (destFile.write_fileheader(3) != 0) {
            VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "by destFile.write_fileheader (3)");
            raise(VKT_ERR_WRITE_FILE);
        }
    }
}

}  // namespace

uint32_t VKTRepairIndexMarkers(const char* sourceDSSFileName, const char* destDSSFileName) {
    CDssFile sourceFile(false);
    CDssFile destFile(false);
    bool dest_created = false;
    const std::string destination = destDSSFileName ? destDSSFileName : "";
    try {
        // Blocks are copied as stored: an encrypted file needs no password.
        sourceFile.m_bSkipDecryption = true;
        if (uint32_t rc = sourceFile.create_file(sourceDSSFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 OPEN_EXISTING, false)) {
            VKT_TRACE_ERROR(rc, "sourceFile.create_file failed");
            raise(rc);
        }
        if (sourceFile.GetLicenseeId() != DSS_LICENSEEID_VALMERO) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "sourceFile.get_dss_file_header ()->dwLicenseeId != DSS_LICENSEEID_VALMERO");
            raise(VKT_ERR_INVALID_CONTENT);
        }
        const uint16_t headers = sourceFile.m_wNrOfHeaders;
        if (headers == 0) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "no header block");
            raise(VKT_ERR_INVALID_CONTENT);
        }
        const bool needs_dss_pro = vkt::dss::needs_dss_pro(sourceFile.m_byCompressionId) || sourceFile.IsEncrypted();
        const uint8_t* const markers = sourceFile.m_pDssFileHeader_3.get();
        const uint32_t marker_count = headers >= 3 ? count_markers(markers) : 0;

        if (uint32_t rc = check_dss_target_name(destDSSFileName, needs_dss_pro)) raise(rc);
        if (same_file(sourceDSSFileName, destination)) {
            VKT_TRACE_ERROR(VKT_ERR, "source and destination are the same file");
            raise(VKT_ERR);
        }

        destFile.m_wNrOfHeaders = headers;
        destFile.m_byCompressionId = sourceFile.m_byCompressionId;
        if (uint32_t rc = destFile.create_file(destDSSFileName, GENERIC_WRITE, 0, CREATE_ALWAYS, false)) {
            VKT_TRACE_ERROR(rc, "destFile.create_file failed");
            raise(rc);
        }
        dest_created = true;
        write_destination_headers(destFile, sourceFile, destination, needs_dss_pro);
        const bool ds2_destination = extension_starts_with(extension_of(destination), ".ds2", 4);

        if (sourceFile.SetFilePositionToFirstDatablock() != 0) {
            VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "by sourceFile.SetFilePositionToFirstDatablock ()");
            raise(VKT_ERR_OPEN_FILE);
        }
        const uint32_t frame_length = frame_length_ms(sourceFile.m_byCompressionId);
        if (frame_length == 0) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "invalid compression id");
            raise(VKT_ERR_INVALID_CONTENT);
        }

        IndexTables tables(ds2_destination);
        uint64_t block_start_ms = 0;
        uint32_t block_number = headers;
        uint32_t next_marker = 0;
        uint64_t blocks = 0;
        while (sourceFile.read_next_datablock() == 0) {
            std::memcpy(destFile.m_pDssDataBlock.get(), sourceFile.m_pDssDataBlock.get(), DSS_BLOCK_SIZE);
            destFile.write_datablock();
            ++blocks;
            if (marker_count == 0) continue;
            const uint64_t block_end_ms = block_start_ms + static_cast<uint64_t>(sourceFile.m_byNrOfFrames) * frame_length;
            while (next_marker < marker_count) {
                const uint32_t start = get_le32(markers + vkt::dss::kMarkerEntrySize * next_marker);
                if (start >= block_end_ms && start >= block_start_ms) break;  // a later block's
                // Starts behind this block's start (out of order) are passed over.
                if (start >= block_start_ms)
                    tables.add(block_number, static_cast<uint32_t>((start - block_start_ms) / frame_length));
                ++next_marker;
            }
            block_start_ms = block_end_ms;
            ++block_number;
        }

        if (marker_count != 0) {
            tables.store(destFile.get_dss_file_header());
            destFile.write_fileheader(1);  // a failure is traced by the file object
        }

        sourceFile.cleanup();
        // Header blocks without data: only those up to the third are written.
        const uint64_t expected = blocks == 0 ? std::min<uint64_t>(headers, 3) * DSS_BLOCK_SIZE
                                              : (static_cast<uint64_t>(headers) + blocks) * DSS_BLOCK_SIZE;
        close_and_check_size(destFile, destination, expected, "destFile");
        return 0;
    } catch (...) {
        const uint32_t code =
            vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "error occured in ORVKTRepairIntructionMarkers");
        if (dest_created) {
            // A half-written copy would look like a repaired file: it goes.
            destFile.cleanup();
            delete_file(destination.c_str());
            VKT_TRACE_PARAM("removed incomplete destination", "%s", destination.c_str());
        }
        return code;
    }
}
