#include "platform/mmio.h"

#include <cctype>
#include <cstring>
#include <new>

#include "platform/fileio.h"
#include "platform/byte_order.h"

using vkt::get_le16;
using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

using namespace vkt::platform;

struct MmioFile {
    File* file = nullptr;
};

namespace {

constexpr uint64_t kMaxOffset = 0xFFFFFFFFull;
constexpr uint32_t kShareFlags = 0x70u;  // MMIO_EXCLUSIVE ... MMIO_DENYNONE

uint64_t padded(uint64_t size) { return size + (size & 1); }

MMRESULT open_error(uint32_t win32) {
    switch (win32) {
        case ERROR_FILE_NOT_FOUND: return MMIOERR_FILENOTFOUND;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_FILENAME_EXCED_RANGE: return MMIOERR_PATHNOTFOUND;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: return MMIOERR_ACCESSDENIED;
        case ERROR_SHARING_VIOLATION: return MMIOERR_SHARINGVIOLATION;
        case ERROR_TOO_MANY_OPEN_FILES: return MMIOERR_TOOMANYOPENFILES;
        case ERROR_NOT_ENOUGH_MEMORY: return MMIOERR_OUTOFMEMORY;
        default: return MMIOERR_CANNOTOPEN;
    }
}

bool position(HMMIO h, uint64_t* pos) { return file_seek(h->file, 0, FILE_CURRENT, pos) == ERROR_SUCCESS; }

bool seek_to(HMMIO h, uint64_t pos) {
    return file_seek(h->file, static_cast<int64_t>(pos), FILE_BEGIN, nullptr) == ERROR_SUCCESS;
}

// Reads exactly n bytes; false on an error or a short read.
bool read_exact(HMMIO h, void* out, uint32_t n) {
    uint32_t done = 0;
    return file_read(h->file, out, n, &done) == ERROR_SUCCESS && done == n;
}

bool write_exact(HMMIO h, const void* in, uint32_t n) {
    uint32_t done = 0;
    return file_write(h->file, in, n, &done) == ERROR_SUCCESS && done == n;
}



bool has_form_type(FOURCC id) { return id == FOURCC_RIFF || id == FOURCC_LIST; }

}  // namespace

HMMIO mmioOpenA(const char* pszFileName, MMIOINFO* info, uint32_t dwOpenFlags) {
    MMIOINFO dummy;
    MMIOINFO& out = info ? *info : dummy;
    out.wErrorRet = 0;
    if (!pszFileName) {
        out.wErrorRet = MMIOERR_FILENOTFOUND;
        return nullptr;
    }
    const uint32_t access_bits = dwOpenFlags & 0x3u;
    if (access_bits == 0x3u) {
        out.wErrorRet = MMIOERR_CANNOTOPEN;
        return nullptr;
    }
    if (dwOpenFlags & MMIO_EXIST) {
        out.wErrorRet = file_exists(pszFileName) ? 0 : MMIOERR_FILENOTFOUND;
        return nullptr;
    }
    uint32_t access = GENERIC_READ;
    if (access_bits == MMIO_WRITE) access = GENERIC_WRITE;
    if (access_bits == MMIO_READWRITE) access = GENERIC_READ | GENERIC_WRITE;
    // Creating always truncates; a file made only for writing is still
    // opened readable, since descending needs to read chunk headers back.
    uint32_t disposition = OPEN_EXISTING;
    if (dwOpenFlags & MMIO_CREATE) {
        disposition = CREATE_ALWAYS;
        access |= GENERIC_READ;
    }
    uint32_t share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    switch (dwOpenFlags & kShareFlags) {
        case MMIO_EXCLUSIVE: share = 0; break;
        case MMIO_DENYWRITE: share = FILE_SHARE_READ; break;
        case MMIO_DENYREAD: share = FILE_SHARE_WRITE; break;
        default: break;
    }
    uint32_t err = 0;
    File* f = file_open(pszFileName, access, share, disposition, 0, &err);
    if (!f) {
        out.wErrorRet = open_error(err);
        return nullptr;
    }
    auto* h = new (std::nothrow) MmioFile;
    if (!h) {
        file_close(f);
        out.wErrorRet = MMIOERR_OUTOFMEMORY;
        return nullptr;
    }
    h->file = f;
    return h;
}

MMRESULT mmioClose(HMMIO h, uint32_t /*flags*/) {
    if (!h) return MMIOERR_CANNOTCLOSE;
    if (h->file) {
        uint32_t err = file_close(h->file);
        h->file = nullptr;
        // The descriptor is gone either way; the record stays for a second
        // close, as the caller still holds it.
        if (err != ERROR_SUCCESS) return MMIOERR_CANNOTWRITE;
    }
    delete h;
    return 0;
}

int32_t mmioRead(HMMIO h, void* buffer, int32_t count) {
    if (!h || !h->file || count < 0 || (count > 0 && !buffer)) return -1;
    uint32_t done = 0;
    if (file_read(h->file, buffer, static_cast<uint32_t>(count), &done) != ERROR_SUCCESS) return -1;
    return static_cast<int32_t>(done);
}

int32_t mmioWrite(HMMIO h, const void* buffer, int32_t count) {
    if (!h || !h->file || count < 0 || (count > 0 && !buffer)) return -1;
    uint32_t done = 0;
    if (file_write(h->file, buffer, static_cast<uint32_t>(count), &done) != ERROR_SUCCESS) return -1;
    return static_cast<int32_t>(done);
}

int32_t mmioSeek(HMMIO h, int32_t offset, int origin) {
    if (!h || !h->file) return -1;
    uint32_t method = FILE_BEGIN;
    if (origin == MMIO_SEEK_CUR) method = FILE_CURRENT;
    else if (origin == MMIO_SEEK_END) method = FILE_END;
    else if (origin != MMIO_SEEK_SET) return -1;
    uint64_t pos = 0;
    if (file_seek(h->file, offset, method, &pos) != ERROR_SUCCESS) return -1;
    if (pos > 0x7FFFFFFFull) return -1;
    return static_cast<int32_t>(pos);
}

MMRESULT mmioDescend(HMMIO h, MMCKINFO* ck, const MMCKINFO* parent, uint32_t flags) {
    if (!h || !h->file || !ck) return MMIOERR_CANNOTREAD;
    const uint32_t find = flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST);
    const FOURCC wanted_id = find == MMIO_FINDRIFF ? FOURCC_RIFF : find == MMIO_FINDLIST ? FOURCC_LIST : ck->ckid;
    const FOURCC wanted_type = ck->fccType;
    // A walk inside a parent stops at the parent's end.
    uint64_t limit = UINT64_MAX;
    if (parent) limit = static_cast<uint64_t>(parent->dwDataOffset) + parent->cksize;

    uint64_t pos = 0;
    if (!position(h, &pos)) return MMIOERR_CANNOTSEEK;
    for (;;) {
        // Not even a chunk header fits before the end of the parent.
        if (pos > limit || limit - pos < 8 || pos + 8 > kMaxOffset) return MMIOERR_CHUNKNOTFOUND;
        if (!seek_to(h, pos)) return MMIOERR_CANNOTSEEK;
        uint8_t head[12];
        if (!read_exact(h, head, 8)) return find ? MMIOERR_CHUNKNOTFOUND : MMIOERR_CANNOTREAD;
        MMCKINFO found;
        found.ckid = get_le32(head);
        found.cksize = get_le32(head + 4);
        found.dwDataOffset = static_cast<uint32_t>(pos + 8);
        found.dwFlags = 0;
        if (has_form_type(found.ckid)) {
            if (!read_exact(h, head + 8, 4)) return find ? MMIOERR_CHUNKNOTFOUND : MMIOERR_CANNOTREAD;
            found.fccType = get_le32(head + 8);
        }
        bool match = true;
        if (find == MMIO_FINDCHUNK) match = found.ckid == wanted_id;
        else if (find) match = found.ckid == wanted_id && found.fccType == wanted_type;
        if (match) {
            *ck = found;
            return 0;
        }
        pos += 8 + padded(found.cksize);
    }
}

MMRESULT mmioAscend(HMMIO h, MMCKINFO* ck, uint32_t /*flags*/) {
    if (!h || !h->file || !ck) return MMIOERR_CANNOTSEEK;
    if (ck->dwFlags & MMIO_DIRTY) {
        uint64_t pos = 0;
        if (!position(h, &pos)) return MMIOERR_CANNOTSEEK;
        if (pos < ck->dwDataOffset || pos - ck->dwDataOffset > 0xFFFFFFFFull) return MMIOERR_CANNOTSEEK;
        const auto size = static_cast<uint32_t>(pos - ck->dwDataOffset);
        if (size & 1) {
            const uint8_t pad = 0;
            if (!write_exact(h, &pad, 1)) return MMIOERR_CANNOTWRITE;
        }
        if (size != ck->cksize) {
            uint8_t le[4];
            put_le32(le, size);
            if (ck->dwDataOffset < 4 || !seek_to(h, ck->dwDataOffset - 4)) return MMIOERR_CANNOTSEEK;
            if (!write_exact(h, le, 4)) return MMIOERR_CANNOTWRITE;
            ck->cksize = size;
        }
        ck->dwFlags &= ~MMIO_DIRTY;
    }
    if (!seek_to(h, static_cast<uint64_t>(ck->dwDataOffset) + padded(ck->cksize))) return MMIOERR_CANNOTSEEK;
    return 0;
}

MMRESULT mmioCreateChunk(HMMIO h, MMCKINFO* ck, uint32_t flags) {
    if (!h || !h->file || !ck) return MMIOERR_CANNOTWRITE;
    if (flags & MMIO_CREATERIFF) ck->ckid = FOURCC_RIFF;
    else if (flags & MMIO_CREATELIST) ck->ckid = FOURCC_LIST;
    uint64_t pos = 0;
    if (!position(h, &pos)) return MMIOERR_CANNOTSEEK;
    if (pos + 12 > kMaxOffset) return MMIOERR_CANNOTEXPAND;
    uint8_t head[12];
    put_le32(head, ck->ckid);
    put_le32(head + 4, ck->cksize);
    uint32_t n = 8;
    if (has_form_type(ck->ckid)) {
        put_le32(head + 8, ck->fccType);
        n = 12;
    }
    if (!write_exact(h, head, n)) return MMIOERR_CANNOTWRITE;
    ck->dwDataOffset = static_cast<uint32_t>(pos + 8);
    ck->dwFlags = MMIO_DIRTY;
    return 0;
}

FOURCC mmioStringToFOURCCA(const char* sz, uint32_t flags) {
    char c[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; i < 4 && sz && sz[i]; ++i) {
        c[i] = sz[i];
        if (flags & MMIO_TOUPPER) c[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(c[i])));
    }
    return mmioFOURCC(c[0], c[1], c[2], c[3]);
}

MMRESULT mmioTruncate(HMMIO h) {
    if (!h || !h->file) return MMIOERR_CANNOTWRITE;
    return file_set_end(h->file) == ERROR_SUCCESS ? 0 : MMIOERR_CANNOTWRITE;
}

int64_t mmioFileSize(HMMIO h) {
    if (!h || !h->file) return -1;
    uint64_t size = 0;
    if (file_size(h->file, &size) != ERROR_SUCCESS) return -1;
    return static_cast<int64_t>(size);
}
