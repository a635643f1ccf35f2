#include "metadata/mp3_dictation_header.h"

#include <algorithm>
#include <cstring>

#include "dss/dss_layout.h"
#include "OrvaneVktapi.h"
#include "platform/fileio.h"
#include "platform/id3v2.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("MP3Helper");

using namespace vkt::platform;

namespace {

constexpr uint32_t kFrameBodySize = kDssPrivPrefixSize + kDssPrivImageSize;  // 1570 = 0x622
constexpr uint8_t kTagUnsync = 0x80;

// The 44 bytes our frame starts with: id, size, flags, owner, 0, version 0.
// A 2.4 tag states frame sizes in 7-bit groups.
std::vector<uint8_t> frame_start(uint8_t major) {
    std::vector<uint8_t> s = {'P', 'R', 'I', 'V'};
    if (major >= 4) {
        s.insert(s.end(), {0, 0, static_cast<uint8_t>((kFrameBodySize >> 7) & 0x7F),
                           static_cast<uint8_t>(kFrameBodySize & 0x7F)});
    } else {
        s.insert(s.end(), {0, 0, static_cast<uint8_t>(kFrameBodySize >> 8), static_cast<uint8_t>(kFrameBodySize)});
    }
    s.insert(s.end(), {0, 0});
    s.insert(s.end(), kDssPrivOwner, kDssPrivOwner + 32);
    s.insert(s.end(), {0, 0});
    return s;
}

}  // namespace

uint32_t CMP3Helper::WriteDSSHeader(const char* filePath, const uint8_t* image, uint32_t size) {
    VKT_TRACE_TEXT("-----CMP3Helper::WriteDSSHeader(...)");
    VKT_TRACE_PARAM("filePath", "%s", filePath);
    VKT_TRACE_PARAM("size", "%lu", size);
    std::vector<uint8_t> tag;
    uint32_t tag_size = 0;
    UniqueFile file;
    if (!vkt::platform::LoadID3v2Header(filePath, &tag, &tag_size, &file, true)) {
        VKT_TRACE_WARNING("no ID3v2 header found at the beginning of the file");
        return VKT_ERR_NO_ID3_HEADER;
    }
    // In an unsynchronised tag the stored bytes are not the frame's bytes:
    // an image copied over them raw would corrupt the frame.
    if (tag[5] & kTagUnsync) {
        VKT_TRACE_WARNING("unsynchronised ID3v2 tag: private frame cannot be rewritten in place");
        return VKT_ERR_NO_ID3_HEADER;
    }
    const std::vector<uint8_t> start = frame_start(tag[3]);
    bool found = false;
    for (std::size_t pos = 0; tag.size() >= start.size() && pos <= tag.size() - start.size(); ++pos) {
        if (std::memcmp(tag.data() + pos, start.data(), start.size()) != 0) continue;
        const std::size_t room = tag.size() - (pos + start.size());
        // A frame cut short by the end of the tag keeps its bytes.
        if (size > room || size > kDssPrivImageSize) {
            VKT_TRACE_WARNING("private frame too short for the header image");
            continue;
        }
        std::memcpy(tag.data() + pos + start.size(), image, size);
        found = true;
    }
    if (!found) return VKT_ERR_NO_ID3_HEADER;
    if (file_seek(file.get(), 0, FILE_BEGIN, nullptr) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "CMP3Helper::WriteDSSHeader: seek");
        return VKT_ERR_WRITE_FILE;
    }
    uint32_t done = 0;
    if (file_write(file.get(), tag.data(), static_cast<uint32_t>(tag.size()), &done) != 0 || done != tag.size()) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "CMP3Helper::WriteDSSHeader: write");
        return VKT_ERR_WRITE_FILE;
    }
    if (file_close(file.release()) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "CMP3Helper::WriteDSSHeader: write");
        return VKT_ERR_WRITE_FILE;
    }
    return VKT_OK;
}

uint32_t CMP3Helper::SelectDSSHeaderImage(const std::vector<std::vector<uint8_t>>& privValues, uint8_t* buffer,
                                          uint32_t size) {
    if (size == 0 || size % vkt::dss::kHeaderBlockSize != 0) return VKT_ERR_BUFFER_TOO_SMALL;
    if (privValues.empty()) return VKT_ERR_NO_ID3_HEADER;
    for (const auto& v : privValues) {
        if (v.size() < kDssPrivPrefixSize || std::memcmp(v.data(), kDssPrivOwner, 32) != 0 || v[32] != 0) continue;
        if (v[33] != 0) {
            VKT_TRACE_WARNING("invalid version in PRIV");
            continue;
        }
        if (v.size() - kDssPrivPrefixSize != kDssPrivImageSize) {
            VKT_TRACE_WARNING("invalid length in PRIV");
            return VKT_ERR_NO_ID3_HEADER;
        }
        std::memcpy(buffer, v.data() + kDssPrivPrefixSize, std::min(size, kDssPrivImageSize));
        return VKT_OK;
    }
    return VKT_ERR_NO_ID3_HEADER;
}

uint32_t CMP3Helper::ReadDSSHeaders(const char* filePath, uint8_t* buffer, uint32_t size) {
    VKT_TRACE_TEXT("-----CMP3Helper::ReadDSSHeaders(...)");
    VKT_TRACE_PARAM("filePath", "%s", filePath);
    if (size == 0 || size % vkt::dss::kHeaderBlockSize != 0) return VKT_ERR_BUFFER_TOO_SMALL;
    Id3v2Tag tag;
    switch (read_id3v2_tag(filePath, &tag)) {
        case Id3v2Status::CannotOpen: VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "cannot open MP3 file"); return VKT_ERR_OPEN_FILE;
        case Id3v2Status::NoTag: return VKT_ERR_NO_ID3_HEADER;
        case Id3v2Status::Ok: break;
    }
    return SelectDSSHeaderImage(id3v2_frame_values(tag, "PRIV"), buffer, size);
}
