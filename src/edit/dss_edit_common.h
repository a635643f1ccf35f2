// Small pieces shared by splitting, joining and index repair: the checks that
// keep a new file from destroying its source, the self-identifier that fits
// a destination name, the size a finished file must have, and the marker
// array of header block 3.
#pragma once

#include <cstdint>
#include <string>
#include "dss/dss_layout.h"
#include "dss/dss_written_file.h"
#include "platform/byte_order.h"

class CDssFile;

namespace vkt::edit {

using vkt::dss::kMarkerArraySize;
using vkt::dss::kMarkerCount;
using vkt::dss::kNoMarker;
// Header block 1: index tables and recording end date and time.
inline constexpr uint32_t kIndexTablesStart = vkt::dss::h1::kShortIndex;
inline constexpr uint32_t kIndexTablesEnd = vkt::dss::h1::kIndexEnd;
inline constexpr uint32_t kShortIndexStart = vkt::dss::h1::kShortIndex;
inline constexpr uint32_t kLongIndexStart = vkt::dss::h1::kLongIndex;
inline constexpr uint32_t kRecordingEndStart = vkt::dss::h1::kEndDate;  // end date and end time
inline constexpr uint32_t kRecordingEndLength = 2 * vkt::dss::h1::kDateTimeSize;

using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

// Entries of a marker array before the first start of 0xFFFFFFFF.
uint32_t count_markers(const uint8_t* pbyMarkers);

// Checks the name of a file to be written from a copy of header block 1 and
// makes the copy's self-identifier fit the name: ".ds2" turns "dss" into
// "ds2" (format words 2 and 3), ".dss" turns "ds2" into "dss" (format words
// 1 and 1, no long index table). "enc" stays. A name that is no DSS name,
// or ".dss" for content that needs DSS Pro (quality play, encryption), gives
// 10 with the messages of check_dss_target_name.
uint32_t fit_header_to_name(uint8_t* pbyHeader1, const std::string& name, bool bNeedsDssPro);

// Size of a file of `headers` header blocks into which the writer packed
// `frames` frames of `frame_size` stored bytes and then flushed its last
// block: every data block carries 506 bytes of frames, and the last flush
// adds a block even when the frames ended on a block boundary.
uint64_t packed_file_size(uint32_t headers, uint64_t frames, uint32_t frame_size);

// Stored frame size of a compression identifier the editing operations
// can pack (0, 2, 4, 6, 7); 0 for the variable-size 1 and 3 and invalid ones.
constexpr uint32_t stored_frame_size(uint8_t byCompressionId) {
    const auto* row = vkt::dss::compression_format(byCompressionId);
    return row && row->short_frame_bytes == 0 ? row->frame_bytes : 0;
}

// Flushes the last block the writer assembled and stamps the lengths into
// the headers. Raises 15 when the closing work fails.
void finish_packed_file(CDssFile& file, const char* what);

using vkt::dss::close_and_check_size;

}  // namespace vkt::edit
