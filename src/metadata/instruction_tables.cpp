#include "metadata/instruction_tables.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"
#include "dss/traced_file_io.h"
#include "dss/dss_layout.h"
#include "metadata/spoken_instructions.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "platform/byte_order.h"

VKT_TRACE_UNIT("instruction_tables");

using vkt::get_le16;
using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

using namespace vkt::platform;
namespace L = vkt::dss;

namespace {

constexpr uint32_t kBlock = DSS_BLOCK_SIZE;
constexpr uint32_t kNone32 = 0xFFFFFFFFu;
constexpr uint16_t kNone16 = 0xFFFF;


void set_entry(uint8_t* table, int i, uint32_t start_block, uint16_t start_frame, uint32_t end_block,
               uint16_t end_frame) {
    uint8_t* e = table + 16 * i;
    put_le32(e, start_block);
    put_le16(e + 4, start_frame);
    put_le32(e + 8, end_block);
    put_le16(e + 12, end_frame);
}

}  // namespace

uint32_t ConvertBlockFrameOffsetArrayToSpokenInstructions(CDssFile& dss, const uint8_t* table, uint8_t* markers) {
    VKT_TRACE_TEXT("-----ConvertBlockFrameOffsetArrayToSpokenInstructions(...)");
    try {
        if (dss.SetFilePositionToFirstDatablock() != 0) return 0;
        const uint32_t frame_ms = dss.GetFrameLengthInMs();
        if (frame_ms == 0) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "invalid compression id");
            return 0;
        }
        if (dss.read_next_datablock() != 0) return 0;
        uint32_t block = 0;
        uint64_t frames_before = 0;
        uint32_t entry = 0;
        bool open = false;
        for (;;) {
            const uint8_t* e = table + 16 * entry;
            // At most one event per block: an instruction that starts and
            // ends in the same block gets no end.
            if (!open) {
                if (get_le32(e) == kNone32) break;
                if (block == get_le32(e)) {
                    const auto start = static_cast<uint32_t>((get_le16(e + 4) + frames_before) * frame_ms);
                    SetMarker(markers, entry, {start, MarkerAt(markers, entry).end});
                    open = true;
                }
            } else if (block == get_le32(e + 8)) {
                const auto end = static_cast<uint32_t>((get_le16(e + 12) + frames_before) * frame_ms);
                SetMarker(markers, entry, {MarkerAt(markers, entry).start, end});
                open = false;
                if (++entry == kMarkerCount || get_le32(table + 16 * entry) == kNone32) break;
            }
            frames_before += dss.m_byNrOfFrames;
            ++block;
            if (dss.read_next_datablock() != 0) break;
        }
    } catch (...) {
        // A block that cannot be read ends the walk; what was found stays.
        vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in ConvertBlockFrameOffsetArrayToSpokenInstructions");
    }
    return 0;
}

uint32_t ConvertOlympusSpokenInstructions(CDssFile& dss, uint8_t* markers) {
    VKT_TRACE_TEXT("-----ConvertOlympusSpokenInstructions(...)");
    const uint8_t* h1 = dss.get_dss_file_header();
    if (dss.GetLicenseeId() != DSS_LICENSEEID_OLYMPUS) {
        VKT_TRACE_WARNING("non-Olympus file");
        return 0;
    }
    if (std::memcmp(h1 + L::h1::kSelfId, "ds2", L::h1::kSelfIdSize) != 0) {
        VKT_TRACE_WARNING("non-DSSPro file");
        return 0;
    }
    if (h1[L::h1::kHeaderCount] < 3) {
        VKT_TRACE_WARNING("no verbal comment header");
        return 0;
    }
    KRVHANDLE h = dss.GetFileHandle();
    if (KRVDSS_set_position_file(h, L::olympus::kCommentTableAt, FILE_BEGIN) != 0) {
        VKT_TRACE_WARNING("KRVDSS_set_position_file failed");
        return 0;
    }
    std::array<uint8_t, L::olympus::kCommentTable> raw;
    uint32_t got = 0;
    if (KRVDSS_read_file(h, raw.data(), L::olympus::kCommentTable, &got) != 0 || got != L::olympus::kCommentTable) {
        VKT_TRACE_WARNING("KRVDSS_read_file failed");
        return 0;
    }
    struct Entry {
        uint32_t start_block;
        uint16_t start_frame;
        uint32_t end_block;
        uint16_t end_frame;
    };
    std::array<Entry, L::olympus::kCommentEntries> entries;
    for (uint32_t i = 0; i < L::olympus::kCommentEntries; ++i) {
        const uint8_t* p = raw.data() + L::olympus::kCommentEntry * i;
        namespace O = L::olympus;
        entries[i] = {get_le32(p + O::kStartBlock), get_le16(p + O::kStartFrame), get_le32(p + O::kEndBlock),
                      get_le16(p + O::kEndFrame)};
    }
    // The recorder stores them in the order they were made; unused entries
    // (all 0xFF) sort last.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.start_block != b.start_block ? a.start_block < b.start_block : a.start_frame < b.start_frame;
    });
    if (entries[0].start_block == kNone32) {
        VKT_TRACE_WARNING("no verbal comments");
        return 0;
    }
    uint8_t table[kBlockFrameTableSize];
    std::memset(table, 0xFF, sizeof table);
    for (int i = 0; i < 32; ++i)
        set_entry(table, i, entries[i].start_block, entries[i].start_frame, entries[i].end_block, entries[i].end_frame);
    return ConvertBlockFrameOffsetArrayToSpokenInstructions(dss, table, markers);
}

uint32_t ConvertGrundigSpokenInstructions(CDssFile& dss, uint8_t* markers) {
    VKT_TRACE_TEXT("-----ConvertGrundigSpokenInstructions(...)");
    if (dss.GetLicenseeId() != DSS_LICENSEEID_GRUNDIG) {
        VKT_TRACE_WARNING("non-Grundig file");
        return 0;
    }
    if (dss.ReadGrundigHeaders() != 0) {
        VKT_TRACE_WARNING("reading Grundig headers failed.");
        return 0;
    }
    const uint32_t frame_ms = dss.GetFrameLengthInMs();
    if (frame_ms == 0) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "invalid compression id");
        return 0;
    }
    const uint8_t* h2 = dss.m_pGrundigHeader_2.get();
    const uint8_t* h3 = dss.m_pGrundigHeader_3.get();
    const uint8_t* h5 = dss.m_pGrundigHeader_5.get();
    // H#3 and H#5 count frames from the start of the recording.
    auto frame_ranges = [&](const uint8_t* block, uint32_t first, uint32_t start_at, uint32_t end_at, uint32_t step) {
        for (uint32_t i = 0; i < L::grundig::kEntries; ++i) {
            const uint32_t start = get_le32(block + start_at + step * i);
            if (start == kNone32) break;
            const uint32_t end = get_le32(block + end_at + step * i);
            SetMarker(markers, first + i, {start * frame_ms, end * frame_ms});
        }
    };
    using namespace L::grundig;
    if (h3) frame_ranges(h3, 0, kH3Starts, kH3Ends, kH3Entry);
    if (h5) frame_ranges(h5, kEntries, kH5Starts, kH5Ends, kH5Entry);
    if (!h2 || h3 || h5 || get_le16(h2 + kH2Lengths) == kNone16) return 0;

    // Older recorders: starts in header 1 (block counted from the file's
    // start), lengths in H#2.
    const uint8_t* h1 = dss.get_dss_file_header();
    const uint32_t header_blocks = h1[L::h1::kHeaderCount];
    uint8_t table[kBlockFrameTableSize];
    std::memset(table, 0xFF, sizeof table);
    for (uint32_t i = 0; i < kEntries; ++i) {
        const uint16_t length_blocks = get_le16(h2 + kH2Lengths + kH2LengthEntry * i);
        const uint16_t length_frames = get_le16(h2 + kH2Lengths + 2 + kH2LengthEntry * i);
        const uint8_t* long_entry = h1 + L::h1::kLongIndex + L::h1::kLongIndexEntry * i;
        const uint8_t* short_entry = h1 + L::h1::kShortIndex + L::h1::kShortIndexEntry * i;
        uint32_t block;
        uint16_t frame;
        if (get_le32(long_entry) != kNone32 && length_blocks != kNone16) {
            block = get_le32(long_entry);
            frame = get_le16(long_entry + 4);
        } else if (get_le16(short_entry) != kNone16 && length_blocks != kNone16) {
            block = get_le16(short_entry);
            frame = short_entry[2];
        } else {
            continue;
        }
        const uint32_t start_block = block - header_blocks;
        set_entry(table, i, start_block, frame, start_block + length_blocks,
                  static_cast<uint16_t>(frame + length_frames));
    }
    return ConvertBlockFrameOffsetArrayToSpokenInstructions(dss, table, markers);
}
