// RIFF chunk I/O with the semantics of the multimedia-file calls the WAV
// code was written against: open modes, descending into chunks (found by id,
// or RIFF/LIST by form type), creating chunks, and "dirty" ascents that write
// a chunk's final size and pad it to even length. Reads and writes go through
// the buffered file layer.
//
// Layout reminders. A chunk is a four-character id, a little-endian u32 size
// and that many data bytes, followed by one pad byte when the size is odd.
// RIFF and LIST chunks start their data with a four-character form (list)
// type; for them dwDataOffset points at that type and cksize counts it.
#pragma once

#include <cstdint>

namespace vkt::platform {
class File;
}

using MMRESULT = uint32_t;
using FOURCC = uint32_t;

struct MmioFile;
using HMMIO = MmioFile*;

struct MMCKINFO {
    FOURCC ckid = 0;
    uint32_t cksize = 0;
    FOURCC fccType = 0;
    uint32_t dwDataOffset = 0;
    uint32_t dwFlags = 0;
};

// Only the fields the dictation code looks at.
struct MMIOINFO {
    uint32_t dwFlags = 0;
    MMRESULT wErrorRet = 0;
};

// Error numbers (0 is success).
inline constexpr MMRESULT MMIOERR_FILENOTFOUND = 257;
inline constexpr MMRESULT MMIOERR_OUTOFMEMORY = 258;
inline constexpr MMRESULT MMIOERR_CANNOTOPEN = 259;
inline constexpr MMRESULT MMIOERR_CANNOTCLOSE = 260;
inline constexpr MMRESULT MMIOERR_CANNOTREAD = 261;
inline constexpr MMRESULT MMIOERR_CANNOTWRITE = 262;
inline constexpr MMRESULT MMIOERR_CANNOTSEEK = 263;
inline constexpr MMRESULT MMIOERR_CANNOTEXPAND = 264;
inline constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 265;
inline constexpr MMRESULT MMIOERR_UNBUFFERED = 266;
inline constexpr MMRESULT MMIOERR_PATHNOTFOUND = 267;
inline constexpr MMRESULT MMIOERR_ACCESSDENIED = 268;
inline constexpr MMRESULT MMIOERR_SHARINGVIOLATION = 269;
inline constexpr MMRESULT MMIOERR_NETWORKERROR = 270;
inline constexpr MMRESULT MMIOERR_TOOMANYOPENFILES = 271;
inline constexpr MMRESULT MMIOERR_INVALIDFILE = 272;

// Open flags. The share flags become the file layer's share modes: EXCLUSIVE
// shares nothing, DENYWRITE shares reading, DENYREAD shares writing, and
// DENYNONE, like giving none of them, shares both.
inline constexpr uint32_t MMIO_READ = 0x00000000u;
inline constexpr uint32_t MMIO_WRITE = 0x00000001u;
inline constexpr uint32_t MMIO_READWRITE = 0x00000002u;
inline constexpr uint32_t MMIO_EXCLUSIVE = 0x00000010u;
inline constexpr uint32_t MMIO_DENYWRITE = 0x00000020u;
inline constexpr uint32_t MMIO_DENYREAD = 0x00000030u;
inline constexpr uint32_t MMIO_DENYNONE = 0x00000040u;
inline constexpr uint32_t MMIO_CREATE = 0x00001000u;
inline constexpr uint32_t MMIO_EXIST = 0x00004000u;

// Descend flags.
inline constexpr uint32_t MMIO_FINDCHUNK = 0x0010u;
inline constexpr uint32_t MMIO_FINDRIFF = 0x0020u;
inline constexpr uint32_t MMIO_FINDLIST = 0x0040u;
// Create flags.
inline constexpr uint32_t MMIO_CREATERIFF = 0x0020u;
inline constexpr uint32_t MMIO_CREATELIST = 0x0040u;
// MMCKINFO::dwFlags: the chunk's size is to be rewritten on ascent.
inline constexpr uint32_t MMIO_DIRTY = 0x10000000u;
// mmioStringToFOURCC flag.
inline constexpr uint32_t MMIO_TOUPPER = 0x0010u;

inline constexpr int MMIO_SEEK_SET = 0;
inline constexpr int MMIO_SEEK_CUR = 1;
inline constexpr int MMIO_SEEK_END = 2;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d) {
    return static_cast<FOURCC>(static_cast<uint8_t>(a)) | (static_cast<FOURCC>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<FOURCC>(static_cast<uint8_t>(c)) << 16) | (static_cast<FOURCC>(static_cast<uint8_t>(d)) << 24);
}
inline constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
inline constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');

// Opens a file. On failure returns null and, when info is given, puts the
// error number into info->wErrorRet. MMIO_CREATE creates or truncates.
HMMIO mmioOpenA(const char* pszFileName, MMIOINFO* info, uint32_t dwOpenFlags);
// Flushes and closes. On failure the handle stays valid (it can be closed
// again); MMIOERR_CANNOTWRITE tells that buffered data was lost.
MMRESULT mmioClose(HMMIO h, uint32_t flags);
// Bytes read (0 at the end of the file) or -1.
int32_t mmioRead(HMMIO h, void* buffer, int32_t count);
// Bytes written or -1.
int32_t mmioWrite(HMMIO h, const void* buffer, int32_t count);
// The new position or -1. Positions past the end are allowed.
int32_t mmioSeek(HMMIO h, int32_t offset, int origin);

// Without a find flag reads the chunk header at the current position.
// With MMIO_FINDCHUNK (ckid), MMIO_FINDRIFF or MMIO_FINDLIST (fccType) it
// walks the chunks from the current position, skipping each by its padded
// size, until the wanted one; the walk ends at the end of the parent (when
// given) or of the file with MMIOERR_CHUNKNOTFOUND. On success the position
// is the start of the data (behind the form type for RIFF and LIST).
MMRESULT mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags);
// With MMIO_DIRTY in ck->dwFlags the current position is taken as the end of
// the chunk's data: a changed size is written into the chunk header, and an
// odd size gets a zero pad byte. Then the position moves behind the chunk.
MMRESULT mmioAscend(HMMIO h, MMCKINFO* ck, uint32_t flags);
// Writes a chunk header (ckid, cksize, and the form type with
// MMIO_CREATERIFF or MMIO_CREATELIST) at the current position and marks the
// record dirty.
MMRESULT mmioCreateChunk(HMMIO h, MMCKINFO* ck, uint32_t flags);
// "WAVE" -> FOURCC; shorter texts are padded with spaces.
FOURCC mmioStringToFOURCCA(const char* sz, uint32_t flags);

// Not one of the platform's calls: cuts the file at the current position
// (0 or MMIOERR_CANNOTWRITE). Rewriting the last chunk of a file shorter
// than it was needs it.
MMRESULT mmioTruncate(HMMIO h);
// Not one of the platform's calls: the file's size, or -1.
int64_t mmioFileSize(HMMIO h);
