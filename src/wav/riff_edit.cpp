#include "wav/riff_edit.h"

#include <algorithm>
#include <cstring>
#include "platform/byte_order.h"

using vkt::get_le16;
using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

namespace vkt::wav {

namespace {

constexpr std::size_t kMaxChunks = 65536;
// A LIST we rebuild in memory; INFO lists are a few kilobytes.
constexpr uint32_t kMaxListSize = 16u << 20;
const FOURCC kJunk = mmioFOURCC('J', 'U', 'N', 'K');



bool seek(HMMIO h, uint64_t pos) {
    return pos <= 0x7FFFFFFFull && mmioSeek(h, static_cast<int32_t>(pos), MMIO_SEEK_SET) == static_cast<int32_t>(pos);
}

bool write_all(HMMIO h, const void* data, uint32_t n) {
    return n == 0 || mmioWrite(h, data, static_cast<int32_t>(n)) == static_cast<int32_t>(n);
}

EditResult fail(MMRESULT mmr, EditStep step) { return EditResult{mmr, step}; }

bool matches(const ChunkPos& c, FOURCC id, FOURCC list_type) {
    if (c.id != id) return false;
    return (id != FOURCC_LIST && id != FOURCC_RIFF) || c.type == list_type;
}

struct RiffLayout {
    ChunkWalk walk;
    uint64_t file_size = 0;
};

MMRESULT layout_of(HMMIO h, const MMCKINFO& riff, RiffLayout* out) {
    int64_t size = mmioFileSize(h);
    if (size < 0) return MMIOERR_CANNOTREAD;
    out->file_size = static_cast<uint64_t>(size);
    const uint64_t riff_end = static_cast<uint64_t>(riff.dwDataOffset) + riff.cksize;
    // A form whose size runs past the end of the file (a writer that never
    // came back to patch it) is walked to the end of the file.
    return walk_chunks(h, static_cast<uint64_t>(riff.dwDataOffset) + 4, std::min(riff_end, out->file_size),
                       &out->walk);
}

// Writes a complete chunk at pos and brings the RIFF size up to date.
EditResult write_chunk_at(HMMIO h, MMCKINFO* riff, uint64_t pos, FOURCC id, FOURCC list_type, const uint8_t* data,
                          uint32_t length, bool cut_behind) {
    if (!seek(h, pos)) return fail(MMIOERR_CANNOTSEEK, EditStep::Seek);
    MMCKINFO ck;
    ck.ckid = id;
    ck.fccType = list_type;
    MMRESULT mmr = mmioCreateChunk(h, &ck, id == FOURCC_LIST ? MMIO_CREATELIST : 0);
    if (mmr) return fail(mmr, EditStep::Create);
    if (!write_all(h, data, length)) return fail(MMIOERR_CANNOTWRITE, EditStep::Write);
    if ((mmr = mmioAscend(h, &ck, 0))) return fail(mmr, EditStep::AscendChunk);
    if (cut_behind && (mmr = mmioTruncate(h))) return fail(mmr, EditStep::Truncate);
    riff->dwFlags |= MMIO_DIRTY;
    if ((mmr = mmioAscend(h, riff, 0))) return fail(mmr, EditStep::AscendRiff);
    return {};
}

}  // namespace

MMRESULT walk_chunks(HMMIO h, uint64_t from, uint64_t to, ChunkWalk* out) {
    out->chunks.clear();
    out->tail = from;
    int64_t fsize = mmioFileSize(h);
    if (fsize < 0) return MMIOERR_CANNOTREAD;
    const auto file_size = static_cast<uint64_t>(fsize);
    uint64_t pos = from;
    while (pos < to && to - pos >= 8 && file_size >= pos + 8 && out->chunks.size() < kMaxChunks) {
        if (!seek(h, pos)) return MMIOERR_CANNOTSEEK;
        uint8_t head[12] = {};
        if (mmioRead(h, head, 8) != 8) return MMIOERR_CANNOTREAD;
        ChunkPos c;
        c.id = get_le32(head);
        c.size = get_le32(head + 4);
        c.start = pos;
        if ((c.id == FOURCC_RIFF || c.id == FOURCC_LIST) && c.size >= 4 && file_size >= pos + 12) {
            if (mmioRead(h, head + 8, 4) != 4) return MMIOERR_CANNOTREAD;
            c.type = get_le32(head + 8);
        }
        out->chunks.push_back(c);
        pos = c.padded_end();
        out->tail = pos;
    }
    return 0;
}

EditResult replace_chunk(HMMIO h, MMCKINFO* riff, FOURCC id, FOURCC list_type, const uint8_t* data, uint32_t length) {
    const bool is_list = id == FOURCC_LIST;
    const uint32_t head = is_list ? 4 : 0;
    if (length > 0xFFFFFFF0u - head) return fail(MMIOERR_CANNOTEXPAND, EditStep::Layout);
    RiffLayout layout;
    if (MMRESULT mmr = layout_of(h, *riff, &layout)) return fail(mmr, EditStep::Layout);
    const auto& chunks = layout.walk.chunks;

    auto target = std::find_if(chunks.begin(), chunks.end(), [&](const ChunkPos& c) { return matches(c, id, list_type); });
    if (target != chunks.end() && target->size == length + head && target->end() <= layout.file_size) {
        // Same size: the new bytes take the place of the old ones.
        if (!seek(h, target->data() + head)) return fail(MMIOERR_CANNOTSEEK, EditStep::Seek);
        if (!write_all(h, data, length)) return fail(MMIOERR_CANNOTWRITE, EditStep::Write);
        return {};
    }

    // Nothing but (at most) the last chunk's pad byte may follow the last
    // chunk; otherwise an append would overwrite bytes we do not know.
    const uint64_t after_last = chunks.empty() ? layout.walk.tail : chunks.back().padded_end();
    const bool nothing_after = layout.file_size <= after_last;
    if (!nothing_after) return fail(MMIOERR_INVALIDFILE, EditStep::Layout);

    if (target != chunks.end() && target->start == chunks.back().start) {
        // The chunk is the file's last: rewrite it where it stands and cut
        // the file behind its new end.
        return write_chunk_at(h, riff, target->start, id, list_type, data, length, true);
    }
    // The last chunk must be whole, or the append would land inside it.
    if (!chunks.empty() && chunks.back().end() > layout.file_size) return fail(MMIOERR_INVALIDFILE, EditStep::Layout);

    EditResult r = write_chunk_at(h, riff, after_last, id, list_type, data, length, false);
    if (!r.ok()) return r;
    // Only now retire the old copies, so that a failed append loses nothing.
    uint8_t junk[4];
    put_le32(junk, kJunk);
    for (const ChunkPos& c : chunks) {
        if (!matches(c, id, list_type)) continue;
        if (!seek(h, c.start)) return fail(MMIOERR_CANNOTSEEK, EditStep::Seek);
        if (!write_all(h, junk, 4)) return fail(MMIOERR_CANNOTWRITE, EditStep::Write);
    }
    return {};
}

EditResult replace_list_subchunk(HMMIO h, MMCKINFO* riff, FOURCC list_type, FOURCC sub_id, const uint8_t* data,
                                 uint32_t length) {
    if (length > kMaxListSize) return fail(MMIOERR_CANNOTEXPAND, EditStep::Layout);
    RiffLayout layout;
    if (MMRESULT mmr = layout_of(h, *riff, &layout)) return fail(mmr, EditStep::Layout);
    const auto& chunks = layout.walk.chunks;
    auto list = std::find_if(chunks.begin(), chunks.end(),
                             [&](const ChunkPos& c) { return matches(c, FOURCC_LIST, list_type); });

    std::vector<uint8_t> content;
    auto append_sub = [&content](FOURCC id, const uint8_t* bytes, uint32_t n) {
        uint8_t head[8];
        put_le32(head, id);
        put_le32(head + 4, n);
        content.insert(content.end(), head, head + 8);
        content.insert(content.end(), bytes, bytes + n);
        if (n & 1) content.push_back(0);
    };

    if (list != chunks.end()) {
        if (list->size < 4 || list->size > kMaxListSize) return fail(MMIOERR_INVALIDFILE, EditStep::Layout);
        const uint64_t list_end = list->end();
        ChunkWalk subs;
        if (MMRESULT mmr = walk_chunks(h, list->data() + 4, std::min(list_end, layout.file_size), &subs))
            return fail(mmr, EditStep::Layout);
        auto same = std::find_if(subs.chunks.begin(), subs.chunks.end(), [&](const ChunkPos& c) { return c.id == sub_id; });
        if (same != subs.chunks.end() && same->size == length && same->end() <= list_end &&
            same->end() <= layout.file_size) {
            if (!seek(h, same->data())) return fail(MMIOERR_CANNOTSEEK, EditStep::Seek);
            if (!write_all(h, data, length)) return fail(MMIOERR_CANNOTWRITE, EditStep::Write);
            return {};
        }
        // The list is rebuilt, so every sub-chunk must be understood: each
        // inside the list and the file, and nothing left over behind them.
        // A last sub-chunk whose pad byte the list size leaves out is fine.
        for (const ChunkPos& c : subs.chunks)
            if (c.end() > list_end || c.end() > layout.file_size) return fail(MMIOERR_INVALIDFILE, EditStep::Layout);
        if (subs.tail < list_end) return fail(MMIOERR_INVALIDFILE, EditStep::Layout);
        content.reserve(list->size + length + 8);
        std::vector<uint8_t> bytes;
        for (const ChunkPos& c : subs.chunks) {
            if (c.id == sub_id) continue;
            bytes.assign(c.size, 0);
            if (!seek(h, c.data())) return fail(MMIOERR_CANNOTSEEK, EditStep::Seek);
            if (c.size && mmioRead(h, bytes.data(), static_cast<int32_t>(c.size)) != static_cast<int32_t>(c.size))
                return fail(MMIOERR_CANNOTREAD, EditStep::Layout);
            append_sub(c.id, bytes.data(), c.size);
        }
    }
    append_sub(sub_id, data, length);
    return replace_chunk(h, riff, FOURCC_LIST, list_type, content.data(), static_cast<uint32_t>(content.size()));
}

}  // namespace vkt::wav
