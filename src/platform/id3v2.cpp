#include "platform/id3v2.h"

#include <algorithm>

#include "platform/fileio.h"
#include "platform/vkt_trace.h"

namespace vkt::platform {

namespace {

constexpr uint8_t kTagUnsync = 0x80;
constexpr uint8_t kTagExtended = 0x40;
constexpr uint8_t kTagCompressed22 = 0x40;

// Frame format flags (second flag byte).
constexpr uint16_t k23Compressed = 0x0080;
constexpr uint16_t k23Encrypted = 0x0040;
constexpr uint16_t k23Grouped = 0x0020;
constexpr uint16_t k24Grouped = 0x0040;
constexpr uint16_t k24Compressed = 0x0008;
constexpr uint16_t k24Encrypted = 0x0004;
constexpr uint16_t k24Unsync = 0x0002;
constexpr uint16_t k24DataLength = 0x0001;

uint32_t be(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

uint32_t syncsafe(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0] & 0x7F) << 21) | (static_cast<uint32_t>(p[1] & 0x7F) << 14) |
           (static_cast<uint32_t>(p[2] & 0x7F) << 7) | static_cast<uint32_t>(p[3] & 0x7F);
}

// Unsynchronisation puts a zero byte behind every 0xFF that could be read as
// the start of an MPEG sync; reading drops every zero that follows 0xFF.
std::vector<uint8_t> undo_unsync(const uint8_t* p, std::size_t n) {
    std::vector<uint8_t> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(p[i]);
        if (p[i] == 0xFF && i + 1 < n && p[i + 1] == 0x00) ++i;
    }
    return out;
}

bool valid_id_char(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Walks the frames in body[from, n). `offset_base` turns body offsets into
// tag offsets (exact only when the body was not de-unsynchronised).
void walk_frames(const uint8_t* body, std::size_t n, std::size_t from, int major, bool tag_unsync, uint32_t offset_base,
                 Id3v2Tag* out) {
    const std::size_t id_len = major == 2 ? 3 : 4;
    const std::size_t head_len = major == 2 ? 6 : 10;
    std::size_t pos = from;
    while (n - pos >= head_len) {
        const uint8_t* h = body + pos;
        // Padding (zero bytes) ends the frames; so does anything that is no id.
        if (!std::all_of(h, h + id_len, valid_id_char)) return;
        Id3v2Frame f;
        f.id.assign(reinterpret_cast<const char*>(h), id_len);
        uint32_t size = 0;
        if (major == 2) {
            size = be(h + 3, 3);
        } else if (major == 3) {
            size = be(h + 4, 4);
        } else {
            size = syncsafe(h + 4);
        }
        if (major != 2) f.flags = static_cast<uint16_t>(be(h + 8, 2));
        f.offset = static_cast<uint32_t>(offset_base + pos);
        f.stored_size = size;
        if (size > n - pos - head_len) {
            out->truncated = true;
            return;
        }
        const uint8_t* d = h + head_len;
        std::size_t len = size;
        if (major == 3) {
            if (f.flags & (k23Compressed | k23Encrypted)) f.readable = false;
            if (f.readable && (f.flags & k23Grouped)) {
                if (len < 1) f.readable = false;
                else ++d, --len;
            }
        } else if (major == 4) {
            if (f.flags & (k24Compressed | k24Encrypted)) f.readable = false;
            if (f.readable && (f.flags & k24Grouped)) {
                if (len < 1) f.readable = false;
                else ++d, --len;
            }
            if (f.readable && (f.flags & k24DataLength)) {
                if (len < 4) f.readable = false;
                else d += 4, len -= 4;
            }
        }
        if (f.readable) {
            if (major == 4 && (tag_unsync || (f.flags & k24Unsync))) f.data = undo_unsync(d, len);
            else f.data.assign(d, d + len);
        }
        out->frames.push_back(std::move(f));
        pos += head_len + size;
    }
}

}  // namespace

bool parse_id3v2_header(const uint8_t* b, std::size_t n, uint32_t* size) {
    if (n < kId3v2HeaderSize || b[0] != 'I' || b[1] != 'D' || b[2] != '3') return false;
    if (b[3] == 0xFF || b[4] == 0xFF) return false;
    for (int i = 6; i < 10; ++i)
        if (b[i] & 0x80) return false;
    if (size) *size = syncsafe(b + 6);
    return true;
}

Id3v2Status parse_id3v2_tag(const uint8_t* bytes, std::size_t n, Id3v2Tag* out) {
    *out = Id3v2Tag{};
    uint32_t size = 0;
    if (!parse_id3v2_header(bytes, n, &size)) return Id3v2Status::NoTag;
    out->major = bytes[3];
    out->revision = bytes[4];
    out->flags = bytes[5];
    out->size = size;
    std::size_t avail = n - kId3v2HeaderSize;
    if (avail < size) out->truncated = true;
    const std::size_t body_len = std::min<std::size_t>(avail, size);
    const uint8_t* body = bytes + kId3v2HeaderSize;
    const int major = out->major;
    if (major < 2 || major > 4) return Id3v2Status::Ok;
    if (major == 2 && (out->flags & kTagCompressed22)) return Id3v2Status::Ok;

    // 2.2 and 2.3 unsynchronise the whole tag; 2.4 each frame.
    std::vector<uint8_t> plain;
    const bool whole_unsync = major < 4 && (out->flags & kTagUnsync);
    if (whole_unsync) {
        plain = undo_unsync(body, body_len);
        body = plain.data();
    }
    const std::size_t len = whole_unsync ? plain.size() : body_len;

    std::size_t from = 0;
    if (major >= 3 && (out->flags & kTagExtended)) {
        if (len < 4) {
            out->truncated = true;
            return Id3v2Status::Ok;
        }
        // 2.3 counts the extended header without its size field, 2.4 with it.
        const uint64_t ext = major == 3 ? 4ull + be(body, 4) : syncsafe(body);
        if (ext > len) {
            out->truncated = true;
            return Id3v2Status::Ok;
        }
        from = static_cast<std::size_t>(ext);
    }
    walk_frames(body, len, from, major, major == 4 && (out->flags & kTagUnsync), kId3v2HeaderSize, out);
    return Id3v2Status::Ok;
}

Id3v2Status read_id3v2_tag(const char* path, Id3v2Tag* out) {
    *out = Id3v2Tag{};
    uint32_t err = 0;
    UniqueFile f(file_open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &err));
    if (!f) return Id3v2Status::CannotOpen;
    uint8_t head[kId3v2HeaderSize];
    uint32_t done = 0;
    if (file_read(f.get(), head, sizeof head, &done) != 0) return Id3v2Status::CannotOpen;
    uint32_t size = 0;
    if (!parse_id3v2_header(head, done, &size)) return Id3v2Status::NoTag;
    uint64_t file_len = 0;
    if (file_size(f.get(), &file_len) != 0) return Id3v2Status::CannotOpen;
    // Never more than the file holds, whatever the header says.
    const uint64_t want = std::min<uint64_t>(size, file_len > kId3v2HeaderSize ? file_len - kId3v2HeaderSize : 0);
    std::vector<uint8_t> tag(kId3v2HeaderSize + want);
    std::copy(head, head + kId3v2HeaderSize, tag.begin());
    if (file_read(f.get(), tag.data() + kId3v2HeaderSize, static_cast<uint32_t>(want), &done) != 0)
        return Id3v2Status::CannotOpen;
    tag.resize(kId3v2HeaderSize + done);
    return parse_id3v2_tag(tag.data(), tag.size(), out);
}

std::vector<std::vector<uint8_t>> id3v2_frame_values(const Id3v2Tag& tag, const std::string& id) {
    std::vector<std::vector<uint8_t>> values;
    for (const auto& f : tag.frames)
        if (f.readable && f.id == id) values.push_back(f.data);
    return values;
}

bool LoadID3v2Header(const char* fileName, std::vector<uint8_t>* tagBuffer, uint32_t* tagSize, UniqueFile* file,
                     bool bWritable) {
    VKT_TRACE_UNIT_HERE("MP3Splitter");
    VKT_TRACE_TEXT("-----CMP3Splitter::LoadID3v2Header(...)");
    VKT_TRACE_PARAM("fileName", "%s", fileName);
    file->reset();
    tagBuffer->clear();
    if (tagSize) *tagSize = 0;

    uint32_t err = 0;
    const uint32_t access = bWritable ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ;
    UniqueFile f(file_open(fileName, access, 0, OPEN_EXISTING, 0, &err));
    if (!f) {
        VKT_TRACE_ERROR(err, "LoadID3v2Header: cannot open source file");
        return false;
    }
    uint8_t head[kId3v2HeaderSize];
    uint32_t done = 0;
    if ((err = file_read(f.get(), head, sizeof head, &done)) != 0) {
        VKT_TRACE_ERROR(err, "LoadID3v2Header: cannot read source file");
        return false;
    }
    if (done < sizeof head) {
        VKT_TRACE_ERROR(done, "LoadID3v2Header: unexpected end");
        return false;
    }
    uint32_t size = 0;
    if (!parse_id3v2_header(head, sizeof head, &size)) {
        VKT_TRACE_ERROR(0, "LoadID3v2Header: ID3 tag not found");
        return false;
    }
    // A size beyond the end of the file is known before anything is
    // allocated for it.
    uint64_t file_len = 0;
    if ((err = file_size(f.get(), &file_len)) != 0) {
        VKT_TRACE_ERROR(err, "LoadID3v2Header: cannot read source file");
        return false;
    }
    if (file_len < static_cast<uint64_t>(kId3v2HeaderSize) + size) {
        VKT_TRACE_ERROR(size, "LoadID3v2Header: unexpected end");
        return false;
    }
    std::vector<uint8_t> tag(kId3v2HeaderSize + static_cast<std::size_t>(size));
    std::copy(head, head + kId3v2HeaderSize, tag.begin());
    if ((err = file_read(f.get(), tag.data() + kId3v2HeaderSize, size, &done)) != 0) {
        VKT_TRACE_ERROR(err, "LoadID3v2Header: cannot read source file");
        return false;
    }
    if (done < size) {
        VKT_TRACE_ERROR(done, "LoadID3v2Header: unexpected end");
        return false;
    }
    *tagBuffer = std::move(tag);
    if (tagSize) *tagSize = kId3v2HeaderSize + size;
    *file = std::move(f);
    return true;
}

}  // namespace vkt::platform
