// Chunk-level edits of an existing RIFF file, built on the mmio calls:
// walking the chunks of a range, and replacing the content of one chunk
// without touching any other byte the file holds.
//
// A replacement of the same size is written in place. A chunk of another
// size is rewritten where it stands when it is the last thing in the file
// (the file is cut or grows behind it); otherwise the old chunk is renamed
// "JUNK", which every RIFF reader skips, and the new one is appended behind
// the last chunk of the RIFF form. Files whose layout cannot take an append
// without overwriting bytes we do not understand (a chunk that runs past the
// end of the file, bytes behind the RIFF form) are refused with
// MMIOERR_INVALIDFILE before anything is written.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/mmio.h"

namespace vkt::wav {

struct ChunkPos {
    FOURCC id = 0;
    uint32_t size = 0;
    FOURCC type = 0;     // form or list type of RIFF and LIST chunks
    uint64_t start = 0;  // offset of the chunk header
    uint64_t data() const { return start + 8; }
    uint64_t end() const { return start + 8 + size; }
    uint64_t padded_end() const { return end() + (size & 1); }
};

struct ChunkWalk {
    std::vector<ChunkPos> chunks;
    // Offset behind the last chunk (padded), or the walk's start.
    uint64_t tail = 0;
};

// Lists the chunks whose headers lie in [from, to) and inside the file.
// Stops after 65536 chunks (the rest counts as not walked).
MMRESULT walk_chunks(HMMIO h, uint64_t from, uint64_t to, ChunkWalk* out);

// Which step of an edit failed, so that callers can name it.
enum class EditStep { None, Layout, Seek, Create, Write, AscendChunk, AscendRiff, Truncate };

struct EditResult {
    MMRESULT mmr = 0;
    EditStep step = EditStep::None;
    bool ok() const { return mmr == 0; }
};

// Replaces the data of the first top-level chunk `id` of the RIFF form
// `riff` (for LIST chunks: the first one of list type `list_type`, and
// `data` is what follows the list type), or appends the chunk when there is
// none. `riff` must come from a descent into the RIFF chunk; its size is
// brought up to date when the form grows or shrinks.
EditResult replace_chunk(HMMIO h, MMCKINFO* riff, FOURCC id, FOURCC list_type, const uint8_t* data, uint32_t length);

// Replaces (or adds) the sub-chunk `sub_id` of the LIST chunk of type
// `list_type`, creating that list when the file has none. Other sub-chunks
// keep their bytes and their order.
EditResult replace_list_subchunk(HMMIO h, MMCKINFO* riff, FOURCC list_type, FOURCC sub_id, const uint8_t* data,
                                 uint32_t length);

}  // namespace vkt::wav
