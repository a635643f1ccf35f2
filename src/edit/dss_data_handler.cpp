#include "edit/dss_data_handler.h"

#include "dss/dss_layout.h"
#include "dss/frame_sizing.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("DSSDataHandler");

using namespace vkt::platform;

namespace {
constexpr uint32_t kBlock = vkt::dss::kHeaderBlockSize;
}

int DSSDataHandler::WriteRun(File* hFile, const uint8_t* pbyRun, uint32_t dwLength, uint32_t* pdwBytesWritten) {
    if (dwLength == 0) return 1;
    uint32_t done = 0;
    uint32_t err = file_write(hFile, pbyRun, dwLength, &done);
    *pdwBytesWritten += done;
    return err == 0 && done == dwLength ? 1 : 0;
}

bool DSSDataHandler::CheckBlock(const uint8_t* pbyBlock) {
    m_pbyCurrentBlock = pbyBlock;
    // Stored order: bytes 0-1 are the frame-pointer word, little-endian;
    // 2 the frame count (or 5 when that is 0 or 0xFF); 4 the compression id.
    uint16_t w = static_cast<uint16_t>(pbyBlock[0] | (pbyBlock[1] << 8));
    uint16_t high = static_cast<uint16_t>(w >> 4);
    m_wFirstFrameOffset = static_cast<uint16_t>((high != 0 ? high : (((w & 0x0F) << 8) + pbyBlock[3])) >> 3);
    m_byFrameCount = pbyBlock[2];
    if (m_byFrameCount == 0 || m_byFrameCount == 0xFF) m_byFrameCount = pbyBlock[5] == 0xFF ? 0 : pbyBlock[5];
    uint8_t byCompressionId = pbyBlock[4];

    if (byCompressionId > vkt::dss::kIdStandardPlay8k) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p");
        return false;
    }
    switch (VKT_check_datablock(byCompressionId, m_byFrameCount, m_wFirstFrameOffset)) {
        case DataBlockFault::None: return true;
        case DataBlockFault::FrameCount:
            VKT_TRACE_ERROR(m_byFrameCount, "Corrupt block: Invalid number of frames");
            return false;
        case DataBlockFault::FramePointer:
            VKT_TRACE_ERROR(m_wFirstFrameOffset, "Corrupt block: Invalid Framepointer");
            return false;
    }
    return false;
}

int DSSDataHandler::WriteWithoutCorrBlocks(File* hFile, const uint8_t* pbyChunk, uint32_t dwChunkLength,
                                           uint32_t* pdwBytesWritten) {
    uint32_t dummy = 0;
    uint32_t& written = pdwBytesWritten ? *pdwBytesWritten : dummy;
    written = 0;
    if (m_bPassThrough || dwChunkLength < kBlock) return WriteRun(hFile, pbyChunk, dwChunkLength, &written);

    uint32_t pos = 0;
    if (m_dwHeaderBytesLeft > 0) {
        pos = m_dwHeaderBytesLeft > dwChunkLength ? dwChunkLength : m_dwHeaderBytesLeft;
        m_dwHeaderBytesLeft -= pos;
    } else if (m_bHeaderPending) {
        if (pbyChunk[1] != 'd' || pbyChunk[2] != 's' || pbyChunk[3] != 's') {
            VKT_TRACE_MESSAGE("VKT_ERR_OPEN_FILE selfidentifier not dss");
            m_bPassThrough = true;
            return WriteRun(hFile, pbyChunk, dwChunkLength, &written);
        }
        m_bHeaderPending = false;
        uint32_t headers = pbyChunk[0];
        if (headers == 0) {
            // Without header blocks there is nothing to align the blocks to.
            m_bPassThrough = true;
            return WriteRun(hFile, pbyChunk, dwChunkLength, &written);
        }
        // The header blocks pass unchecked, also where they reach into the
        // next chunks.
        pos = headers * kBlock > dwChunkLength ? dwChunkLength : headers * kBlock;
        m_dwHeaderBytesLeft = headers * kBlock - pos;
    }

    uint32_t run_start = 0;
    while (dwChunkLength - pos >= kBlock) {
        if (CheckBlock(pbyChunk + pos)) {
            pos += kBlock;
            continue;
        }
        if (!WriteRun(hFile, pbyChunk + run_start, pos - run_start, &written)) return 0;
        m_bCorruptBlockSeen = true;
        VKT_TRACE_WARNING(" ... ignoring block pos:");
        VKT_TRACE_VALUE("dwBytesProcessed", "%lu", pos);
        pos += kBlock;
        run_start = pos;
    }
    // A remainder shorter than a block goes out unchecked with the pending run.
    return WriteRun(hFile, pbyChunk + run_start, dwChunkLength - run_start, &written);
}
