#include "media/MP3Splitter.h"

#include <algorithm>

#include "platform/id3v2.h"
#include "platform/vkt_trace.h"

using namespace vkt::platform;

bool CMP3Splitter::LoadID3v2Header(const char* fileName, std::vector<uint8_t>* tagBuffer, uint32_t* tagSize,
                                   UniqueFile* file, bool bWritable) {
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
