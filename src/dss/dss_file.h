// CDssFile: the one object through which DSS (".dss") and DSS Pro (".ds2")
// files are opened, checked, walked, created and written.
//
// Layout in brief. A file is a run of 512-byte blocks: N header blocks (N is
// byte 0 of header block 1), then data blocks. Data blocks are stored with
// every byte pair swapped; after reading they are swapped back into "block
// order". A data block starts with six bytes: the frame-pointer word W
// (big-endian, offset of the first frame that starts here × 128 + 15), 0xFF,
// the number of frames that start in the block, 0xFF, the compression
// identifier. Frames follow back to back from the frame pointer; a frame that
// does not fit continues at offset 6 of the next data block (a "parted"
// frame), whose frame pointer then points behind the continuation.
//
// Reading, in this order:
//
//     CDssFile dss(false);              // true: headers only, never decrypt
//     dss.SetPassword(password);        // optional; or set m_bSkipDecryption
//     if (uint32_t rc = dss.create_file(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
//                                       OPEN_EXISTING, true)) return rc;
//     // m_byCompressionId, m_dwTotalNrOfFrames, m_wNrOfHeaders and the header
//     // buffers are known now; the first data block is current.
//     uint8_t codec_block[57];
//     uint32_t block_size, frame_size; uint8_t id;
//     while (dss.transfer_from_file_to_buffer(codec_block, &block_size, &frame_size, &id) == 0) {...}
//
// or, block by block: SetFilePositionToFirstDatablock(), then
// read_next_datablock() until it returns 1; the current block (block order,
// decrypted) is m_pDssDataBlock with m_wFramePointer and m_byNrOfFrames.
// transfer_from_file_to_buffer raises VktError on failures (wrap the loop).
//
// Writing, in this order:
//
//     CDssFile dss(false);
//     dss.m_wNrOfHeaders = 2;           // 1 to 3
//     dss.m_byCompressionId = 0;
//     if (uint32_t rc = dss.create_file(name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, false))
//         return rc;
//     dss.transfer_from_buffer_to_file(codec_blocks, size);   // any number of times
//     dss.flush_out_block();                                  // once, at the end
//     dss.closing_work();                                     // stamps the length
//
// or, copying whole blocks: fill m_pDssDataBlock (block order) and call
// write_datablock() per block. write_fileheader(n) rewrites header block n
// from m_pDssFileHeader(_2, _3) at any time. The destructor closes the file.
//
// An object serves one thread at a time and is neither copied nor moved.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dss/dss_layout.h"
#include "OrvaneVktapi.h"
#include "dss/traced_file_io.h"
#include "dss/crypt.h"

inline constexpr uint32_t DSS_BLOCK_SIZE = vkt::dss::kHeaderBlockSize;
// Large enough for the codec block of every compression identifier.
inline constexpr uint32_t DSS_MAX_CODEC_BLOCK = 57;

class CDssFile {
public:
    explicit CDssFile(bool bHeaderOnly = false);
    ~CDssFile();
    CDssFile(const CDssFile&) = delete;
    CDssFile& operator=(const CDssFile&) = delete;

    // ---- opening and closing ------------------------------------------------

    // Opens (OPEN_EXISTING: header checks, password check, compression
    // identifier, optional frame count, first data block current) or creates
    // (CREATE_ALWAYS: fresh header blocks) the file. Returns 0 or a result
    // code (14 open/header, 16 read, 18/19 identifier, 20 memory, 44
    // password); after a failure the object is cleaned up and can be used
    // for another create_file.
    uint32_t create_file(const char* lpszFilepath_p, uint32_t dwDesiredAccess, uint32_t dwShareMode,
                         uint32_t dwCreationDistribution, bool bCountFrames);
    // Frees the buffers and closes the file; 0, or 1 when closing failed.
    // Safe to call twice.
    uint32_t cleanup();
    // Allocates the four 512-byte buffers that are missing; raises 20.
    void alloc_memory();

    // ---- reading ----------------------------------------------------------

    // Reads the next data block into m_pDssDataBlock (block order, decrypted
    // when the file is encrypted). Returns 0, or 1 at the end of the file;
    // raises 16 (read failure) or 44 (encrypted without password). A corrupt
    // block gets m_byNrOfFrames = 0.
    uint32_t read_next_datablock();
    // m_dwTotalNrOfFrames = frames from the current block to the end of the
    // file, or to the first block whose identifier does not fit the file's.
    void ascertain_total_nr_of_frames();
    // Hands out the next frame as one zero-padded codec block (the buffer
    // must hold DSS_MAX_CODEC_BLOCK bytes): *pdwBufferSize = codec block
    // size, *pdwFrameSize = stored frame size, *pbyCompressionId = the
    // block's identifier. Returns 0, or 1 when no frame is left; raises on
    // failures.
    uint32_t transfer_from_file_to_buffer(uint8_t* pbyDestBuffer, uint32_t* pdwBufferSize, uint32_t* pdwFrameSize,
                                          uint8_t* pbyCompressionId);
    // Completes the last frame of the current block from the next block when
    // it is parted; true when it assembled the frame in pbyDestBuffer_p.
    // Throws on failure.
    bool get_last_parted_frame(const uint8_t* pbyFrame_p, uint8_t* pbyDestBuffer_p, uint32_t dwBufferSize_p,
                               uint32_t* pdwFrameSize_p);
    // 0 when a block with this identifier belongs to the file's identifier,
    // 19 when it is another valid identifier, 18 when it is invalid.
    uint32_t check_compressionId(uint8_t byCompressionId_p);
    // Sets the file position to the first data block; the next frame comes
    // from the next block read. Returns 0 or the platform error.
    uint32_t SetFilePositionToFirstDatablock();

    // ---- facts about the file -------------------------------------------------

    // True when the extension begins with ".dss" or ".ds2" (case ignored).
    static bool HasDSSFileExtension(const char* pszFileName);
    // 24, 30, 36 or 16 ms per frame by identifier; 0 (and an error line with
    // 38) for an invalid one.
    uint32_t GetFrameLengthInMs() const;
    // Used bytes of the current block: frame pointer + frames × codec block
    // size, at most 512.
    uint32_t GetDataLength() const;
    // The codec wave format of the file's identifier (18 bytes). Returns 0,
    // 22 when size is below 18, 18 for an invalid identifier.
    uint32_t read_format(WAVEFORMATEX* pwfx, uint32_t size) const;
    uint8_t* get_dss_file_header() { return m_pDssFileHeader.get(); }
    uint32_t GetLicenseeId() const;
    bool IsEncrypted() const { return m_bEncrypted; }
    bool IsDssPro() const { return m_bDssPro; }
    // The open handle, for operations that read or write the file directly.
    // Anyone may move its position, so the next appended block seeks again.
    KRVHANDLE GetFileHandle();
    // Grundig files (licensee 1): finds the header blocks H#2, H#3 and H#5
    // among the header blocks and keeps copies of those found in
    // m_pGrundigHeader_2/_3/_5. 38 for another licensee or when H#2 cannot
    // be reached; 0 otherwise, also when blocks are missing (defined in
    // dss/grundig_headers.cpp).
    uint32_t ReadGrundigHeaders();

    // ---- passwords ----------------------------------------------------------

    // Stores a copy of the password (4 to 16 characters; null stores nothing).
    // 44 when m_bSkipDecryption is set, a password is stored already or the
    // length is wrong.
    uint32_t SetPassword(const char* pcszPassword);
    // Checks the stored password against the encryption header of header
    // block 1 and derives the file key. 0 or 44.
    uint32_t CheckEncryptionHeader();

    // ---- writing ------------------------------------------------------------

    // Packs whole codec blocks (42 bytes; 25 for identifiers 2 and 3, 57 for
    // 6 and 7) into data blocks; of each codec block the frame (41, 24 or 56
    // bytes) is stored. Each full block is written at once. Bytes behind the
    // last whole codec block are ignored.
    void transfer_from_buffer_to_file(const uint8_t* pbyBuffer, uint32_t dwSize);
    // Writes the block being assembled and starts a fresh one.
    void flush_out_block();
    // From now on every block the writer packs is encrypted with this 16- or
    // 32-byte file key before it is stored (bytes 6 to 501, block tail filled
    // with random bytes). False for another key length.
    bool SetWriteKey(const uint8_t* pbyKey, uint32_t dwKeyLength);
    // Appends m_pDssDataBlock (block order); the buffer is left in file order.
    uint32_t write_datablock();
    // Writes header block 1, 2 or 3 at its place; 0 or 15.
    uint32_t write_fileheader(int nNrOfFileheader_p);
    // Counts the written frames and stamps the recording length into header
    // 1 (text "hhmmss") and header 2 (milliseconds). Needs read and write
    // access. Returns 0 or the code of the failure, which is also traced.
    uint32_t closing_work();
    // The first platform error of a block or header write since the file
    // was created or opened, 0 when every write went through. The writing
    // operations only trace their failures; a writer looks here before it
    // reports success.
    uint32_t GetWriteError() const { return m_dwWriteError; }

    // ---- state ----------------------------------------------------------------

    // Header blocks 1 to 3 and the current data block, 512 bytes each, null
    // while no file is open.
    std::unique_ptr<uint8_t[]> m_pDssFileHeader;
    std::unique_ptr<uint8_t[]> m_pDssFileHeader_2;
    std::unique_ptr<uint8_t[]> m_pDssFileHeader_3;
    std::unique_ptr<uint8_t[]> m_pDssDataBlock;
    // Copies of the Grundig header blocks H#2, H#3 and H#5, made on request.
    std::unique_ptr<uint8_t[]> m_pGrundigHeader_2;
    std::unique_ptr<uint8_t[]> m_pGrundigHeader_3;
    std::unique_ptr<uint8_t[]> m_pGrundigHeader_5;

    uint16_t m_wFramePointer = 0;      // of the current block
    uint8_t m_byNrOfFrames = 0;        // frames that start in the current block
    uint16_t m_byFrameIndex = 0;       // next frame of the current block to hand out
    uint32_t m_dwFirstDataBlockPos = 0;
    uint8_t m_byCompressionId = 0xFF;  // the file's; preset before creating
    uint32_t m_dwTotalNrOfFrames = 0;
    uint16_t m_wNrOfHeaders = 0;       // set by the reader; preset before creating
    bool m_bEncrypted = false;         // self-identifier "enc"
    uint16_t m_wEncryptionVersion = 0;
    bool m_bHeaderOnly = false;
    std::string m_szExtension;         // with its dot
    bool m_bIsDs2Extension = false;
    bool m_bDssPro = false;            // self-identifier "ds2" or "enc"
    bool m_bSkipDecryption = false;    // preset: take encrypted blocks as stored

private:
    void set_initial_info_from_file();
    void check_file_header();
    void ReadAndCheckCompressionId();
    void create_new_file_headers();
    void swap_bytes_in_datablock(uint8_t* pbyBlock);
    void decrypt_current_block();
    void start_fresh_out_block();
    // Appends 512 bytes (file order) at the end of the file; failures are
    // traced only.
    void append_block(const uint8_t* pbyBlock);
    void remember_write_error(uint32_t err) {
        if (m_dwWriteError == 0) m_dwWriteError = err;
    }
    void skip_rest_of_block();

    KRVHANDLE m_hFile = nullptr;
    const uint8_t* m_pbyFrame = nullptr;  // next frame in m_pDssDataBlock

    // Writer: the block being assembled (block order), its write position
    // and the frames that started in it.
    uint8_t m_abyOutBlock[DSS_BLOCK_SIZE] = {};
    uint8_t* m_pbyOutPos = nullptr;
    uint8_t m_byOutFrames = 0;
    // True while the file position is known to be the end of the file, so
    // that appending needs no seek.
    bool m_bAtEndOfFile = false;
    // False while an opening reader has not yet found the file's identifier.
    bool m_bCompressionIdKnown = true;
    bool m_bDataStartChecked = false;
    uint32_t m_dwWriteError = 0;  // see GetWriteError

    std::unique_ptr<char[]> m_pszPassword;
    uint8_t m_abyKey128[16] = {};
    uint8_t m_abyKey256[32] = {};
    vkt::dss::DssBlockCipher m_Decryptor;
    vkt::dss::DssBlockCipher m_Encryptor;  // ready only after SetWriteKey
    // While counting frames the blocks need no decryption; the last block
    // read is decrypted when the counting ends.
    bool m_bDeferDecryption = false;
    bool m_bDecryptionPending = false;
};
