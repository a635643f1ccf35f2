// A streaming writer that copies a DSS file chunk by chunk and leaves out
// data blocks whose bookkeeping bytes are evidently corrupt. It looks only
// at the stored (still pair-swapped) block header; nothing is decoded.
//
// Chunks must be whole blocks aligned with the file's blocks, except the
// last one; no partial block is kept between calls.
#pragma once

#include <cstdint>

#include "platform/fileio.h"

class DSSDataHandler {
public:
    explicit DSSDataHandler(bool bHeaderPending = true) : m_bHeaderPending(bHeaderPending) {}
    virtual ~DSSDataHandler() = default;

    // Writes the chunk to hFile minus any corrupt data block. Returns
    // nonzero on success (1 also when nothing was left to write), 0 when a
    // write failed; *pdwBytesWritten counts the bytes written by this call.
    int WriteWithoutCorrBlocks(vkt::platform::File* hFile, const uint8_t* pbyChunk, uint32_t dwChunkLength,
                               uint32_t* pdwBytesWritten);

    bool CorruptBlockSeen() const { return m_bCorruptBlockSeen; }
    bool PassThrough() const { return m_bPassThrough; }

private:
    // True when the stored block at pbyBlock passes the plausibility checks.
    bool CheckBlock(const uint8_t* pbyBlock);
    int WriteRun(vkt::platform::File* hFile, const uint8_t* pbyRun, uint32_t dwLength, uint32_t* pdwBytesWritten);

    const uint8_t* m_pbyCurrentBlock = nullptr;
    uint16_t m_wFirstFrameOffset = 0;
    uint8_t m_byFrameCount = 0;
    bool m_bHeaderPending;
    uint32_t m_dwHeaderBytesLeft = 0;  // header bytes still to pass over in later chunks
    bool m_bPassThrough = false;
    bool m_bCorruptBlockSeen = false;
};
