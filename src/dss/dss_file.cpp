#include "dss/dss_file.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "dss/dss_layout.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "platform/byte_order.h"
#include "dss/frame_sizing.h"

VKT_TRACE_UNIT("CDSSFILE");

using vkt::get_le16;
using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

using namespace vkt::platform;
using vkt::raise;

namespace h1 = vkt::dss::h1;
namespace h2 = vkt::dss::h2;

namespace {

constexpr uint32_t kBlockHeaderSize = vkt::dss::kDataBlockHeaderSize;


}  // namespace

// ---- construction, memory, clean-up ----------------------------------------------

CDssFile::CDssFile(bool bHeaderOnly) : m_bHeaderOnly(bHeaderOnly) {
    VKT_TRACE_TEXT("-----CDssFile::CDssFile(void)");
    start_fresh_out_block();
}

CDssFile::~CDssFile() {
    VKT_TRACE_TEXT("-----CDssFile::~CDssFile(void)");
    cleanup();
    if (m_pszPassword) OPENSSL_cleanse(m_pszPassword.get(), std::strlen(m_pszPassword.get()));
    OPENSSL_cleanse(m_abyKey128, sizeof m_abyKey128);
    OPENSSL_cleanse(m_abyKey256, sizeof m_abyKey256);
}

uint32_t CDssFile::cleanup() {
    VKT_TRACE_TEXT("-----CKrvdss::cleanup(void)");
    VKT_TRACE_PARAM("m_pDssFileHeader", "%p", m_pDssFileHeader.get());
    m_pDssFileHeader.reset();
    VKT_TRACE_PARAM("m_pDssFileHeader_2", "%p", m_pDssFileHeader_2.get());
    m_pDssFileHeader_2.reset();
    VKT_TRACE_PARAM("m_pDssFileHeader_3", "%p", m_pDssFileHeader_3.get());
    m_pDssFileHeader_3.reset();
    VKT_TRACE_PARAM("m_pDssDataBlock", "%p", m_pDssDataBlock.get());
    m_pDssDataBlock.reset();
    m_pGrundigHeader_2.reset();
    m_pGrundigHeader_3.reset();
    m_pGrundigHeader_5.reset();
    uint32_t result = 0;
    if (m_hFile && KRVDSS_close_file(&m_hFile) != 0) result = 1;
    m_hFile = nullptr;
    m_pbyFrame = nullptr;
    m_byNrOfFrames = 0;
    m_byFrameIndex = 0;
    m_bAtEndOfFile = false;
    m_bDataStartChecked = false;
    m_dwWriteError = 0;
    m_bDecryptionPending = false;
    m_bCompressionIdKnown = true;
    return result;
}

void CDssFile::alloc_memory() {
    auto allocate = [](std::unique_ptr<uint8_t[]>& buffer, const char* failure) {
        if (buffer) return;
        try {
            buffer = std::make_unique<uint8_t[]>(DSS_BLOCK_SIZE);  // zero-filled
        } catch (const std::bad_alloc&) {
            VKT_TRACE_ERROR(ERROR_NOT_ENOUGH_MEMORY, failure);
            raise(VKT_ERR_OUT_OF_MEMORY);
        }
    };
    allocate(m_pDssFileHeader, "GetLastError() after HeapAlloc() First File Header");
    allocate(m_pDssFileHeader_2, "GetLastError() after HeapAlloc() Second File Header");
    allocate(m_pDssFileHeader_3, "GetLastError() after HeapAlloc() Third File Header");
    allocate(m_pDssDataBlock, "GetLastError() after HeapAlloc() DSS Data Block");
}

// ---- opening --------------------------------------------------------------------

uint32_t CDssFile::create_file(const char* lpszFilepath_p, uint32_t dwDesiredAccess, uint32_t dwShareMode,
                               uint32_t dwCreationDistribution, bool bCountFrames) {
    VKT_TRACE_TEXT("-----CDssFile::create_file(...)");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    VKT_TRACE_PARAM("HHH lpszFilepath_p", "%s", lpszFilepath_p);
    try {
        if (m_hFile) cleanup();  // the object is being used for another file
        const std::string name = lpszFilepath_p ? lpszFilepath_p : "";
        m_szExtension = extension_of(name).substr(0, 255);
        const bool creating = dwCreationDistribution == CREATE_ALWAYS;
        // A new file needs a DSS extension. Checked before the open so that a
        // wrongly named existing file is not emptied.
        if (creating && !HasDSSFileExtension(name.c_str())) {
            VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "invalid file extension in create file");
            raise(VKT_ERR_OPEN_FILE);
        }
        uint32_t error = 0;
        m_hFile = KRVDSS_open_file(lpszFilepath_p, &error, dwDesiredAccess, dwShareMode, dwCreationDistribution);
        if (!m_hFile) raise(VKT_ERR_OPEN_FILE);
        alloc_memory();

        if (creating) {
            create_new_file_headers();
            return 0;
        }
        if (dwCreationDistribution != OPEN_EXISTING) return 0;

        m_bCompressionIdKnown = false;
        set_initial_info_from_file();
        if (m_bHeaderOnly) return 0;
        if (bCountFrames) ascertain_total_nr_of_frames();
        if (SetFilePositionToFirstDatablock() != 0) raise(VKT_ERR_OPEN_FILE);
        read_next_datablock();
        return 0;
    } catch (...) {
        uint32_t code = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in create_file(...)");
        cleanup();
        return code;
    }
}

void CDssFile::set_initial_info_from_file() {
    VKT_TRACE_TEXT("-----CDssFile::set_initial_info_from_file(void)");
    uint8_t* const header1 = m_pDssFileHeader.get();
    // A file shorter than a block is read as far as it goes; the rest stays zero.
    if (KRVDSS_read_file(m_hFile, header1, DSS_BLOCK_SIZE, nullptr) != 0) raise(VKT_ERR_OPEN_FILE);
    check_file_header();
    if (uint32_t rc = CheckEncryptionHeader()) raise(rc);

    const uint16_t headers = header1[h1::kHeaderCount];
    const bool ours = GetLicenseeId() == DSS_LICENSEEID_VALMERO;
    // Header blocks 2 and 3 have our layout only in our own files; others
    // are skipped.
    if (headers >= 2 && ours) {
        if (KRVDSS_read_file(m_hFile, m_pDssFileHeader_2.get(), DSS_BLOCK_SIZE, nullptr) != 0) raise(VKT_ERR_OPEN_FILE);
    } else {
        VKT_TRACE_WARNING("No second fileheader of VALMERO existing");
    }
    if (headers >= 3 && ours) {
        if (KRVDSS_read_file(m_hFile, m_pDssFileHeader_3.get(), DSS_BLOCK_SIZE, nullptr) != 0) raise(VKT_ERR_OPEN_FILE);
    } else {
        VKT_TRACE_WARNING("No second fileheader of VALMERO existing");
    }

    m_dwFirstDataBlockPos = static_cast<uint32_t>(headers) * DSS_BLOCK_SIZE;
    m_wNrOfHeaders = headers;
    if (headers > 1 && KRVDSS_set_position_file(m_hFile, m_dwFirstDataBlockPos, FILE_BEGIN) != 0) raise(VKT_ERR_OPEN_FILE);

    ReadAndCheckCompressionId();

    if (!m_bHeaderOnly) {
        while (read_next_datablock() == 0 && m_byNrOfFrames == 0) {
        }
        // Without any data block this is the zero-filled buffer: identifier 0.
        m_byCompressionId = m_pDssDataBlock[vkt::dss::block::kCompressionId];
        VKT_TRACE_WARNING("HHH Start Compression Id:");
        VKT_log_compressionId(m_byCompressionId);
    }
}

void CDssFile::check_file_header() {
    VKT_TRACE_TEXT("-----CDssFile::check_file_header(void)");
    const uint8_t* header1 = m_pDssFileHeader.get();
    const bool dss = std::memcmp(header1 + h1::kSelfId, "dss", h1::kSelfIdSize) == 0;
    const bool ds2 = std::memcmp(header1 + h1::kSelfId, "ds2", h1::kSelfIdSize) == 0;
    const bool enc = std::memcmp(header1 + h1::kSelfId, "enc", h1::kSelfIdSize) == 0;
    const bool dss_extension = extension_starts_with(m_szExtension, ".dss", 4);
    const bool ds2_extension = extension_starts_with(m_szExtension, ".ds2", 4);
    const uint16_t version = get_le16(header1 + h1::kEncryptionVersion);
    if (dss) {
        if (!dss_extension) {
            VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "VKT_ERR_OPEN_FILE file extension and self-id don't match");
            raise(VKT_ERR_OPEN_FILE);
        }
    } else if (!ds2 && !enc) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "VKT_ERR_OPEN_FILE invalid Self-Id");
        raise(VKT_ERR_OPEN_FILE);
    } else {
        if (!ds2_extension) {
            VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "VKT_ERR_OPEN_FILE file extension and self-id don't match");
            raise(VKT_ERR_OPEN_FILE);
        }
        if (enc && version != 1 && version != 2) {
            VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "VKT_ERR_OPEN_FILE invalid DSSPro EncryptionVersion");
            raise(VKT_ERR_OPEN_FILE);
        }
    }
    m_bIsDs2Extension = ds2_extension;
    m_bEncrypted = enc;
    m_bDssPro = ds2 || enc;
    m_wEncryptionVersion = version;
}

void CDssFile::ReadAndCheckCompressionId() {
    VKT_TRACE_TEXT("-----CDssFile::ReadAndCheckCompressionId(void)");
    bool found = false;
    while (read_next_datablock() == 0) {
        if (m_byNrOfFrames > 0) {
            found = true;
            break;
        }
    }
    m_bCompressionIdKnown = true;
    if (!found) {
        VKT_TRACE_WARNING("no valid datablock in DSS file");
        // Zero when the file has no header block 2 of ours.
        m_byCompressionId = m_pDssFileHeader_2[h2::kCompressionId];
        return;
    }
    m_byCompressionId = m_pDssDataBlock[vkt::dss::block::kCompressionId];
    if (SetFilePositionToFirstDatablock() != 0) {
        VKT_TRACE_ERROR(VKT_ERR_READ_FILE, "by SetFilePositionToFirstDatablock ()");
        raise(VKT_ERR_READ_FILE);
    }
    VKT_TRACE_WARNING("Start Compression Id:");
    VKT_log_compressionId(m_byCompressionId);
    if (vkt::dss::needs_dss_pro(m_byCompressionId) && !m_bDssPro) {
        VKT_TRACE_ERROR(VKT_ERR_READ_FILE, "qualityplay requires DSS Pro file");
        raise(VKT_ERR_READ_FILE);
    }
}

uint32_t CDssFile::SetFilePositionToFirstDatablock() {
    VKT_TRACE_TEXT("-----CDssFile::SetFilePositionToFirstDatablock ()");
    m_bAtEndOfFile = false;
    m_byFrameIndex = 0;
    m_byNrOfFrames = 0;
    if (!m_hFile) return ERROR_INVALID_HANDLE;
    return KRVDSS_set_position_file(m_hFile, m_dwFirstDataBlockPos, FILE_BEGIN);
}

// ---- reading blocks ----------------------------------------------------------------

void CDssFile::swap_bytes_in_datablock(uint8_t* pbyBlock) {
    // Four byte pairs at a time: the even and odd bytes of a 64-bit word
    // trade places whatever the machine's byte order.
    constexpr uint64_t kEven = 0x00FF00FF00FF00FFull;
    for (uint32_t i = 0; i < DSS_BLOCK_SIZE; i += 8) {
        uint64_t word;
        std::memcpy(&word, pbyBlock + i, 8);
        word = ((word & kEven) << 8) | ((word >> 8) & kEven);
        std::memcpy(pbyBlock + i, &word, 8);
    }
}

uint32_t CDssFile::read_next_datablock() {
    m_wFramePointer = 0;
    m_byNrOfFrames = 0;
    uint8_t* const block = m_pDssDataBlock.get();
    if (!m_hFile || !block) raise(VKT_ERR_READ_FILE);
    uint32_t got = 0;
    m_bAtEndOfFile = false;
    if (KRVDSS_read_file(m_hFile, block, DSS_BLOCK_SIZE, &got) != 0) raise(VKT_ERR_READ_FILE);
    if (got == 0) {
        VKT_TRACE_WARNING("End of File reached");
        return 1;
    }
    // A short last block is used as far as it goes; what it lacks is zero.
    if (got < DSS_BLOCK_SIZE) std::memset(block + got, 0, DSS_BLOCK_SIZE - got);
    m_bDecryptionPending = false;

    // The frame pointer from the bytes as stored (file order).
    const uint32_t word = block[vkt::dss::block::kFramePointer] + 256u * block[vkt::dss::block::kFramePointer + 1];
    m_wFramePointer = static_cast<uint16_t>(word / 16 != 0 ? word / 128 : ((word % 16) * 256 + block[vkt::dss::block::kFrameCount]) / 8);

    VKT_TRACE_TEXT("-----CDssFile::swap_bytes_in_datablock(void)");
    swap_bytes_in_datablock(block);

    if (m_bEncrypted && !m_bHeaderOnly && !m_bSkipDecryption) {
        if (!m_pszPassword) {
            VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "No password specified for encrypted file");
            raise(VKT_ERR_PASSWORD);
        }
        if (m_bDeferDecryption)
            m_bDecryptionPending = true;
        else
            decrypt_current_block();
    }

    namespace b = vkt::dss::block;
    m_byNrOfFrames = block[b::kFrameCount];
    if (m_byNrOfFrames == 0 || m_byNrOfFrames == 0xFF)
        m_byNrOfFrames = block[b::kFrameCountAlt] == 0xFF ? 0 : block[b::kFrameCountAlt];

    // While the file's identifier is still being looked for, the block's own
    // identifier decides whether the block is a long-play one, which is not
    // checked.
    const uint8_t id = block[vkt::dss::block::kCompressionId];
    const uint8_t file_id = m_bCompressionIdKnown ? m_byCompressionId : id;
    const vkt::dss::CompressionFormat* file_format = vkt::dss::compression_format(file_id);
    if (!(file_format && file_format->long_blocks) && id > 7) {
        VKT_TRACE_ERROR(id, "Corrupt block: Invalid compression ID");
        m_byNrOfFrames = 0;
    } else switch (VKT_check_datablock(file_id, m_byNrOfFrames, m_wFramePointer)) {
        case DataBlockFault::None: break;
        case DataBlockFault::FrameCount:
            VKT_TRACE_ERROR(m_byNrOfFrames, "Corrupt block: Invalid number of frames");
            m_byNrOfFrames = 0;
            break;
        case DataBlockFault::FramePointer:
            VKT_TRACE_ERROR(m_wFramePointer, "Corrupt block: Invalid Framepointer");
            m_byNrOfFrames = 0;
            break;
    }
    VKT_TRACE_VALUE("m_byNrOfFrames", "%u", m_byNrOfFrames);
    return 0;
}

void CDssFile::decrypt_current_block() {
    m_bDecryptionPending = false;
    const bool wide = m_wEncryptionVersion == 2;
    const uint8_t* key = wide ? m_abyKey256 : m_abyKey128;
    const uint32_t length = wide ? 32 : 16;
    if (!m_Decryptor.made_from(key, length, false) && !m_Decryptor.init(key, length, false)) {
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "by crypt_block(.) key schedule");
        return;
    }
    if (!m_Decryptor.crypt(m_pDssDataBlock.get())) VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "by crypt_block(.)");
}

void CDssFile::ascertain_total_nr_of_frames() {
    VKT_TRACE_TEXT("-----CDssFile::ascertain_total_nr_of_frames(void)");
    m_dwTotalNrOfFrames = 0;
    uint32_t dwCounter = 0;
    // Frame counts, identifiers and frame pointers are never encrypted, so the
    // blocks are only decrypted where the counting leaves the reader.
    m_bDeferDecryption = true;
    try {
        for (;;) {
            if (m_byNrOfFrames > 0) {
                const uint8_t id = m_pDssDataBlock[vkt::dss::block::kCompressionId];
                if (check_compressionId(id) != 0) {
                    VKT_TRACE_WARNING("HHH Compression Id changed to:");
                    VKT_log_compressionId(id);
                    break;
                }
                m_dwTotalNrOfFrames += m_byNrOfFrames;
                ++dwCounter;
                VKT_TRACE_VALUE("dwCounter", "%lu", dwCounter);
            }
            if (read_next_datablock() != 0) break;
        }
    } catch (...) {
        m_bDeferDecryption = false;
        throw;
    }
    m_bDeferDecryption = false;
    if (m_bDecryptionPending) decrypt_current_block();
    VKT_TRACE_VALUE("m_dwTotalNrOfFrames", "%lu", m_dwTotalNrOfFrames);
}

uint32_t CDssFile::check_compressionId(uint8_t byCompressionId_p) {
    const vkt::dss::CompressionFormat* wanted = vkt::dss::compression_format(byCompressionId_p);
    if (!wanted) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID invalid byCompressionId");
        return VKT_ERR_INVALID_COMPRESSIONID;
    }
    const vkt::dss::CompressionFormat* file = vkt::dss::compression_format(m_byCompressionId);
    if (file && file->family == wanted->family) return 0;
    VKT_TRACE_ERROR(VKT_ERR_COMPRESSIONID_NOT_SUPPORTED,
                    (std::string("VKT_ERR_COMPRESSIONID_NOT_SUPPORTED CompressionId ") + wanted->family_name).c_str());
    return VKT_ERR_COMPRESSIONID_NOT_SUPPORTED;
}

// ---- handing out frames ---------------------------------------------------------------

void CDssFile::skip_rest_of_block() {
    // More frame starts than the block can hold: its remaining frames would
    // lie beyond the block, so none of them is taken.
    VKT_TRACE_ERROR(m_byNrOfFrames, "Corrupt block: Invalid number of frames");
    m_byFrameIndex = m_byNrOfFrames;
}

uint32_t CDssFile::transfer_from_file_to_buffer(uint8_t* pbyDestBuffer, uint32_t* pdwBufferSize,
                                                uint32_t* pdwFrameSize, uint8_t* pbyCompressionId) {
    uint8_t abyPartedFrame[DSS_MAX_CODEC_BLOCK];
    try {
        uint8_t* const block = m_pDssDataBlock.get();
        if (!block) raise(VKT_ERR_READ_FILE);
        for (;;) {
            bool new_block = false;
            if (m_byFrameIndex >= m_byNrOfFrames) {
                do {
                    if (read_next_datablock() != 0) return 1;
                } while (m_byNrOfFrames == 0);
                m_byFrameIndex = 0;
                new_block = true;
            }
            if (new_block || m_byFrameIndex == 0) m_pbyFrame = block + m_wFramePointer;
            const uint32_t offset = static_cast<uint32_t>(m_pbyFrame - block);

            const uint8_t id = block[vkt::dss::block::kCompressionId];
            if (uint32_t rc = VKT_get_size_of_blockalign(id, pdwBufferSize)) {
                VKT_TRACE_ERROR(rc, "by VKT_get_size_of_blockalign(...)");
                raise(rc);
            }

            const uint8_t* frame = m_pbyFrame;
            bool parted = false;
            if (m_byFrameIndex + 1 == m_byNrOfFrames) {
                if (offset >= DSS_BLOCK_SIZE) {
                    skip_rest_of_block();
                    continue;
                }
                uint32_t size = 0;
                try {
                    parted = get_last_parted_frame(m_pbyFrame, abyPartedFrame, sizeof abyPartedFrame, &size);
                } catch (...) {
                    const uint32_t rc =
                        vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in get_last_parted_frame()");
                    VKT_TRACE_ERROR(rc, "by get_last_parted_frame(...)");
                    raise(rc);
                }
                if (parted) frame = abyPartedFrame;
            } else if (offset + 2 > DSS_BLOCK_SIZE) {
                skip_rest_of_block();
                continue;
            }

            std::memset(pbyDestBuffer, 0, *pdwBufferSize);
            uint32_t frame_size = 0;
            if (uint32_t rc = KRVDSS_get_size_of_frame(frame, id, &frame_size)) {
                VKT_TRACE_ERROR(rc, "by VKT_get_size_of_frame(...)");
                VKT_TRACE_ERROR(rc, "by KRVDSS_transfer_to_buffer(...)");
                raise(rc);
            }
            if (!parted && frame_size > DSS_BLOCK_SIZE - offset) {
                skip_rest_of_block();
                continue;
            }
            std::memcpy(pbyDestBuffer, frame, frame_size);
            if (vkt::dss::compression_format(id)->compression_flag) pbyDestBuffer[*pdwBufferSize - 1] = 1;

            if (parted) {
                m_byFrameIndex = 0;  // the next frame starts at the new block's frame pointer
            } else {
                ++m_byFrameIndex;
                m_pbyFrame += frame_size;
            }
            *pdwFrameSize = frame_size;
            *pbyCompressionId = id;
            return 0;
        }
    } catch (...) {
        uint32_t code = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in transfer_from_file_to_buffer(..)");
        raise(code);
    }
}

bool CDssFile::get_last_parted_frame(const uint8_t* pbyFrame_p, uint8_t* pbyDestBuffer_p, uint32_t dwBufferSize_p,
                                     uint32_t* pdwFrameSize_p) {
    uint8_t* const block = m_pDssDataBlock.get();
    const uint32_t rest = DSS_BLOCK_SIZE - static_cast<uint32_t>(pbyFrame_p - block);
    VKT_TRACE_VALUE("dwRestLen", "%lu", rest);
    const uint8_t id = block[vkt::dss::block::kCompressionId];
    // The size may depend on the second byte, which for a frame that
    // starts in the block's last byte lies in the next block.
    uint8_t probe[2] = {pbyFrame_p[0], rest >= 2 ? pbyFrame_p[1] : uint8_t{0}};
    uint32_t frame_size = 0;
    if (uint32_t rc = KRVDSS_get_size_of_frame(probe, id, &frame_size)) {
        VKT_TRACE_ERROR(rc, "by KRVDSS_get_size_of_frame(...)");
        raise(rc);
    }
    if (dwBufferSize_p < frame_size) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID, last frame buffer too small; "
                            "dwBufferSize_p < dwFrameSize");
        raise(VKT_ERR_INVALID_COMPRESSIONID);
    }
    *pdwFrameSize_p = frame_size;
    if (rest >= frame_size) return false;  // the frame is whole

    std::memcpy(pbyDestBuffer_p, pbyFrame_p, rest);
    if (read_next_datablock() != 0) {
        // The file ends inside the frame: what there is goes out zero-padded.
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID, Eof on reading rest of a frame");
        std::memset(pbyDestBuffer_p + rest, 0, frame_size - rest);
        return true;
    }
    if (rest < 2) {
        probe[1] = block[kBlockHeaderSize];
        KRVDSS_get_size_of_frame(probe, id, &frame_size);  // the identifier is known to be valid
        *pdwFrameSize_p = frame_size;
    }
    const uint32_t dwSecondPartLen = frame_size - rest;
    VKT_TRACE_VALUE("dwSecondPartLen", "%lu", dwSecondPartLen);
    std::memcpy(pbyDestBuffer_p + rest, block + kBlockHeaderSize, dwSecondPartLen);

    if (m_byNrOfFrames == 0) {
        // The continuation fills a block without a frame start (or a corrupt
        // one): the next frame comes from the next block that has frames.
        while (read_next_datablock() == 0 && m_byNrOfFrames == 0) {
        }
        return true;
    }
    if (static_cast<int32_t>(dwSecondPartLen) != static_cast<int32_t>(m_wFramePointer) - 6)
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID, Second Part of Frame not matches.");
    return true;
}

// ---- facts about the file ------------------------------------------------------------

bool CDssFile::HasDSSFileExtension(const char* pszFileName) {
    if (!pszFileName) return false;
    const std::string ext = extension_of(pszFileName);
    return extension_starts_with(ext, ".dss", 4) || extension_starts_with(ext, ".ds2", 4);
}

uint32_t CDssFile::GetFrameLengthInMs() const {
    const uint32_t ms = VKT_get_frame_duration_ms(m_byCompressionId);
    if (ms == 0) VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "invalid compression id");
    return ms;
}

uint32_t CDssFile::GetDataLength() const {
    uint32_t codec_block = 0;
    VKT_get_size_of_blockalign(m_byCompressionId, &codec_block);
    return std::min<uint32_t>(m_wFramePointer + m_byNrOfFrames * codec_block, DSS_BLOCK_SIZE);
}

uint32_t CDssFile::read_format(WAVEFORMATEX* pwfx, uint32_t size) const {
    if (!pwfx || size < sizeof(WAVEFORMATEX)) return VKT_ERR_WAVFMT_TOO_SMALL;
    const auto* row = vkt::dss::compression_format(m_byCompressionId);
    if (!row) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p");
        return VKT_ERR_INVALID_COMPRESSIONID;
    }
    WAVEFORMATEX format{};
    format.nChannels = 1;
    format.wFormatTag = row->format_tag;
    format.nSamplesPerSec = row->clock_rate;
    format.nAvgBytesPerSec = row->bytes_per_second;
    format.nBlockAlign = row->block_align;
    std::memcpy(pwfx, &format, sizeof format);
    return 0;
}

uint32_t CDssFile::GetLicenseeId() const { return m_pDssFileHeader ? get_le32(m_pDssFileHeader.get() + h1::kLicensee) : 0; }

KRVHANDLE CDssFile::GetFileHandle() {
    m_bAtEndOfFile = false;
    return m_hFile;
}

// ---- passwords -----------------------------------------------------------------------

uint32_t CDssFile::SetPassword(const char* pcszPassword) {
    VKT_TRACE_TEXT("-----CDssFile::SetPassword (..)");
    if (m_bSkipDecryption) {
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "m_bSkipDecryption set");
        return VKT_ERR_PASSWORD;
    }
    if (m_pszPassword) {
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "password already set");
        return VKT_ERR_PASSWORD;
    }
    if (!pcszPassword) return 0;
    const std::size_t length = std::strlen(pcszPassword);
    if (length < 4 || length > 16) {
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "invalid password length");
        return VKT_ERR_PASSWORD;
    }
    m_pszPassword = std::make_unique<char[]>(length + 1);
    std::memcpy(m_pszPassword.get(), pcszPassword, length + 1);
    return 0;
}

uint32_t CDssFile::CheckEncryptionHeader() {
    VKT_TRACE_TEXT("-----CDssFile::CheckEncryptionHeader ()");
    if (m_bSkipDecryption) {
        VKT_TRACE_WARNING("m_bSkipDecryption");
        return 0;
    }
    if (!m_bEncrypted) {
        if (!m_pszPassword) return 0;
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "VKT_ERR_PASSWORD password specified for a non-encrypted DSS file");
        return VKT_ERR_PASSWORD;
    }
    if (!m_pszPassword) return 0;  // reading a data block will fail
    if (!m_pDssFileHeader) return VKT_ERR_PASSWORD;  // no header read yet

    const uint8_t* header1 = m_pDssFileHeader.get();
    uint8_t block[vkt::dss::kPasswordBlockSize];
    vkt::dss::make_password_block(m_pszPassword.get(), header1 + h1::kSalt, block);
    uint8_t check[4] = {};
    uint32_t result = 0;
    if (m_wEncryptionVersion == 1) {
        uint8_t digest[20];
        if (!vkt::dss::sha1(block, sizeof block, digest)) {
            VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "VKT_ERR_PASSWORD EncryptionKeyGen failed");
            result = VKT_ERR_PASSWORD;
        } else {
            std::memcpy(m_abyKey128, digest, 16);
            std::memcpy(check, digest + 16, 4);
        }
        OPENSSL_cleanse(digest, sizeof digest);
    } else if (m_wEncryptionVersion == 2) {
        uint8_t digest[48];
        const char* step = nullptr;
        unsigned long error = 0;
        if (!vkt::dss::sha384(block, sizeof block, digest, &step, &error)) {
            std::memset(m_abyKey256, 0, sizeof m_abyKey256);
            char text[128];
            std::snprintf(text, sizeof text, "EncryptionKeyGen256 failed at '%s' with 0x%08x", step,
                          static_cast<unsigned>(error));
            VKT_TRACE_MESSAGE(text);
            VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "VKT_ERR_PASSWORD EncryptionKeyGen256 failed");
            result = VKT_ERR_PASSWORD;
        } else {
            std::memcpy(m_abyKey256, digest, 32);
            std::memcpy(check, digest + 32, 4);
        }
        OPENSSL_cleanse(digest, sizeof digest);
    } else {
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "VKT_ERR_PASSWORD invalid encryption version");
        result = VKT_ERR_PASSWORD;
    }
    OPENSSL_cleanse(block, sizeof block);
    if (result != 0) return result;
    if (std::memcmp(check, header1 + h1::kCheckValue, h1::kCheckValueSize) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "VKT_ERR_PASSWORD verification value does not match");
        return VKT_ERR_PASSWORD;
    }
    return 0;
}

// ---- writing ---------------------------------------------------------------------------

void CDssFile::create_new_file_headers() {
    VKT_TRACE_TEXT("-----CDssFile::create_new_file_headers(void)");
    uint8_t* const header1 = m_pDssFileHeader.get();
    uint8_t* const header2 = m_pDssFileHeader_2.get();
    uint8_t* const header3 = m_pDssFileHeader_3.get();
    std::memset(header1, 0xFF, DSS_BLOCK_SIZE);
    std::memset(header2, 0xFF, DSS_BLOCK_SIZE);
    std::memset(header3, 0xFF, DSS_BLOCK_SIZE);
    m_bIsDs2Extension = extension_starts_with(m_szExtension, ".ds2", 4);
    m_bDssPro = m_bIsDs2Extension;
    m_bEncrypted = false;

    header1[h1::kHeaderCount] = static_cast<uint8_t>(m_wNrOfHeaders);
    std::memcpy(header1 + h1::kSelfId, m_bDssPro ? "ds2" : "dss", h1::kSelfIdSize);
    put_le16(header1 + h1::kFormatWord1, m_bDssPro ? 2 : 1);
    put_le16(header1 + h1::kFormatWord2, m_bDssPro ? 3 : 1);
    put_le32(header1 + h1::kLicensee, DSS_LICENSEEID_VALMERO);
    std::memset(header1 + h1::kText, 0, h1::kMoreHeaders - h1::kText);  // text field and the number after it
    put_le16(header1 + h1::kMoreHeaders, m_wNrOfHeaders < 2 ? h1::kOneHeaderBlock : h1::kMoreHeaderBlocks);
    put_le16(header1 + h1::kFlags34, 0xFFFE);
    put_le16(header1 + h1::kFlags36, 0xFFF7);
    std::memcpy(header1 + h1::kStartDate, "000000", h1::kDateTimeSize);
    std::memcpy(header1 + h1::kStartTime, "000000", h1::kDateTimeSize);
    std::memcpy(header1 + h1::kLength, "000000", h1::kDateTimeSize);
    header1[h1::kByte68] = 0xFF;
    header1[h1::kByte69] = 0;
    write_fileheader(1);

    // Header block 2 is prepared also when it is not written, so that an
    // operation that raises the header count later finds a valid one.
    put_le16(header2 + h2::kVersion, 1);
    put_le16(header2 + h2::kWord2, 0);
    std::memset(header2 + h2::kBytes4, 0, h2::kBytes12 - h2::kBytes4);
    put_le32(header2 + h2::kBytes12, 0);
    put_le16(header2 + h2::kCompressionId, m_byCompressionId);
    put_le32(header2 + h2::kLengthMs, 0);
    std::memset(header2 + h2::kField22, 0, h2::kTextsEnd - h2::kField22);
    put_le32(header2 + h2::kWord504, 0);
    put_le32(header2 + h2::kWord508, 0);
    if (m_wNrOfHeaders >= 2) write_fileheader(2);
    if (m_wNrOfHeaders >= 3) write_fileheader(3);

    m_dwFirstDataBlockPos = static_cast<uint32_t>(m_wNrOfHeaders) * DSS_BLOCK_SIZE;
    start_fresh_out_block();
}

void CDssFile::start_fresh_out_block() {
    std::memset(m_abyOutBlock, 0, sizeof m_abyOutBlock);
    namespace b = vkt::dss::block;
    m_abyOutBlock[b::kFramePointer] = 0x03;  // frame-pointer word 0x030F: a frame starts at offset 6
    m_abyOutBlock[b::kFramePointer + 1] = 0x0F;
    m_abyOutBlock[b::kFrameCount - 1] = 0xFF;
    m_abyOutBlock[b::kFrameCountAlt] = 0xFF;
    m_abyOutBlock[b::kCompressionId] = m_byCompressionId;
    m_byOutFrames = 0;
    m_pbyOutPos = m_abyOutBlock + kBlockHeaderSize;
}

void CDssFile::append_block(const uint8_t* pbyBlock) {
    if (!m_hFile) {
        VKT_TRACE_ERROR(ERROR_INVALID_HANDLE, "by KRVDSS_write_file() file data");
        remember_write_error(ERROR_INVALID_HANDLE);
        return;
    }
    if (!m_bAtEndOfFile) {
        if (uint32_t err = KRVDSS_set_position_file(m_hFile, 0, FILE_END)) {
            VKT_TRACE_ERROR(err, "by KRVDSS_set_position_file() file data");
            remember_write_error(err);
        } else {
            m_bAtEndOfFile = true;
        }
    }
    if (!m_bDataStartChecked && m_pDssFileHeader) {
        // Data begins behind all N header blocks; header blocks after the
        // third are not ours to write, so they are laid down as 0xFF blocks.
        m_bDataStartChecked = true;
        const uint64_t data_start = static_cast<uint64_t>(m_pDssFileHeader[0]) * DSS_BLOCK_SIZE;
        uint64_t size = 0;
        if (m_bAtEndOfFile && file_size(m_hFile, &size) == 0) {
            uint8_t filler[DSS_BLOCK_SIZE];
            std::memset(filler, 0xFF, sizeof filler);
            for (; size + DSS_BLOCK_SIZE <= data_start; size += DSS_BLOCK_SIZE) {
                if (uint32_t err = KRVDSS_write_file(m_hFile, filler, DSS_BLOCK_SIZE)) {
                    remember_write_error(err);
                    break;
                }
            }
        }
    }
    if (uint32_t err = KRVDSS_write_file(m_hFile, pbyBlock, DSS_BLOCK_SIZE)) {
        VKT_TRACE_ERROR(err, "by KRVDSS_write_file() file data");
        remember_write_error(err);
        m_bAtEndOfFile = false;
    }
}

void CDssFile::transfer_from_buffer_to_file(const uint8_t* pbyBuffer, uint32_t dwSize) {
    VKT_TRACE_TEXT("-----CDssFile::transfer_from_buffer_to_file(...)");
    // Identifiers without a codec are packed like standard play.
    const auto* row = vkt::dss::compression_format(m_byCompressionId);
    const uint32_t codec_block = (row ? *row : vkt::dss::kCompressionIds[vkt::dss::kIdStandardPlay]).block_align;
    const uint32_t frame_size = codec_block - 1;
    uint8_t* const end = m_abyOutBlock + DSS_BLOCK_SIZE;
    for (uint32_t n = dwSize / codec_block; n > 0; --n, pbyBuffer += codec_block) {
        ++m_byOutFrames;
        const uint32_t fits = std::min<uint32_t>(frame_size, static_cast<uint32_t>(end - m_pbyOutPos));
        std::memcpy(m_pbyOutPos, pbyBuffer, fits);
        m_pbyOutPos += fits;
        if (m_pbyOutPos != end) continue;
        flush_out_block();
        const uint32_t remainder = frame_size - fits;
        if (remainder == 0) continue;
        // The rest of a parted frame opens the next block; its frame pointer
        // points behind it. It is not a frame start of that block.
        std::memcpy(m_pbyOutPos, pbyBuffer + fits, remainder);
        m_pbyOutPos += remainder;
        const uint16_t word = static_cast<uint16_t>((kBlockHeaderSize + remainder) * 128 + 15);
        m_abyOutBlock[0] = static_cast<uint8_t>(word >> 8);
        m_abyOutBlock[1] = static_cast<uint8_t>(word);
    }
}

void CDssFile::flush_out_block() {
    VKT_TRACE_TEXT("-----CDssFile::swap_bytes_in_datablock(void)");
    m_abyOutBlock[vkt::dss::block::kCompressionId] = m_byCompressionId;
    m_abyOutBlock[vkt::dss::block::kFrameCount] = m_byOutFrames;
    if (m_Encryptor.ready()) {
        // Used length as the encryption of whole files counts it: frame
        // pointer + frames x codec block size.
        const uint32_t frame_pointer = ((static_cast<uint32_t>(m_abyOutBlock[0]) << 8) | m_abyOutBlock[1]) >> 7;
        uint32_t codec_block = 0;
        VKT_get_size_of_blockalign(m_byCompressionId, &codec_block);
        const uint32_t used = std::min<uint32_t>(frame_pointer + m_byOutFrames * codec_block, DSS_BLOCK_SIZE);
        if (m_Encryptor.crypt(m_abyOutBlock))
            fill_block_tail(m_abyOutBlock, used);
        else
            VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "by crypt_block(.)");
    }
    swap_bytes_in_datablock(m_abyOutBlock);
    append_block(m_abyOutBlock);
    start_fresh_out_block();
}

bool CDssFile::SetWriteKey(const uint8_t* pbyKey, uint32_t dwKeyLength) {
    return m_Encryptor.init(pbyKey, dwKeyLength, true);
}

uint32_t CDssFile::write_datablock() {
    VKT_TRACE_TEXT("-----CDssFile::write_datablock ()");
    if (!m_pDssDataBlock) return 0;
    swap_bytes_in_datablock(m_pDssDataBlock.get());
    append_block(m_pDssDataBlock.get());
    return 0;
}

uint32_t CDssFile::write_fileheader(int nNrOfFileheader_p) {
    VKT_TRACE_TEXT("CDssFile::write_fileheader(.)");
    VKT_TRACE_PARAM("nNrOfFileheader_p", "%d", nNrOfFileheader_p);
    const uint8_t* header = nNrOfFileheader_p == 1   ? m_pDssFileHeader.get()
                            : nNrOfFileheader_p == 2 ? m_pDssFileHeader_2.get()
                            : nNrOfFileheader_p == 3 ? m_pDssFileHeader_3.get()
                                                     : nullptr;
    if (!header || !m_hFile) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "by KRVDSS_write_file() file header");
        return VKT_ERR_WRITE_FILE;
    }
    m_bAtEndOfFile = false;
    const uint32_t position = static_cast<uint32_t>(nNrOfFileheader_p - 1) * DSS_BLOCK_SIZE;
    if (uint32_t err = KRVDSS_set_position_file(m_hFile, position, FILE_BEGIN)) {
        VKT_TRACE_ERROR(err, "GetLastError() after SetFilePointer()");
        remember_write_error(err);
        return VKT_ERR_WRITE_FILE;
    }
    if (uint32_t err = KRVDSS_write_file(m_hFile, header, DSS_BLOCK_SIZE)) {
        VKT_TRACE_ERROR(err, "by KRVDSS_write_file() file header");
        remember_write_error(err);
        return VKT_ERR_WRITE_FILE;
    }
    return 0;
}

uint32_t CDssFile::closing_work() {
    VKT_TRACE_TEXT("-----CDssFile::closing_work(void)");
    try {
        if (!m_hFile || !m_pDssFileHeader) raise(VKT_ERR_WRITE_FILE);
        uint8_t* const header1 = m_pDssFileHeader.get();
        m_bAtEndOfFile = false;
        const uint32_t first_data_block = static_cast<uint32_t>(header1[h1::kHeaderCount]) * DSS_BLOCK_SIZE;
        if (uint32_t err = KRVDSS_set_position_file(m_hFile, first_data_block, FILE_BEGIN)) {
            VKT_TRACE_ERROR(err, "GetLastError() after SetFilePointer()");
            raise(VKT_ERR_READ_FILE);
        }
        read_next_datablock();
        ascertain_total_nr_of_frames();

        const uint32_t dwLengthMs = VKT_get_frame_duration_ms(m_byCompressionId) * m_dwTotalNrOfFrames;
        VKT_TRACE_VALUE("closing_work:dwLengthMs", "%lu", dwLengthMs);
        const uint32_t hours = dwLengthMs / 3600000;
        uint32_t seconds = (dwLengthMs - hours * 3600000) / 1000;
        const uint32_t minutes = seconds / 60;
        seconds %= 60;
        char text[40];
        std::snprintf(text, sizeof text, "%02d%02d%02d", static_cast<int>(hours), static_cast<int>(minutes),
                      static_cast<int>(seconds));
        // Hours beyond 99 make the text longer than its field: it is cut.
        std::memcpy(header1 + h1::kLength, text, h1::kDateTimeSize);

        write_fileheader(1);
        VKT_TRACE_WARNING("closing_work:write_fileheader(1)");
        if (m_wNrOfHeaders >= 2) {
            put_le32(m_pDssFileHeader_2.get() + h2::kLengthMs, dwLengthMs);
            write_fileheader(2);
            VKT_TRACE_WARNING("closing_work:write_fileheader(2)");
        } else {
            VKT_TRACE_WARNING("closing_work:no header #2");
        }
        return 0;
    } catch (...) {
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in closing_work()");
    }
}
