#include "dss/dss_encryption.h"

#include <openssl/crypto.h>

#include <cstring>

#include "dss/dss_file.h"
#include "dss/crypt.h"
#include "platform/byte_order.h"
#include "dss/dss_layout.h"
#include "dss/dss_written_file.h"
#include "platform/file_identity.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "dss/frame_sizing.h"

VKT_TRACE_UNIT("DssEncryption");

namespace h1 = vkt::dss::h1;

using namespace vkt::platform;

namespace {

constexpr uint32_t kReadAccess = GENERIC_READ;
constexpr uint32_t kShareRead = FILE_SHARE_READ;
constexpr uint32_t kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Writing the copy over its own source would destroy the source before it
// is read.
uint32_t refuse_same_file(const char* source, const char* destination) {
    if (!same_file(source, destination)) return 0;
    VKT_TRACE_ERROR(VKT_ERR, "source and destination are the same file");
    return VKT_ERR;
}

// A header count that reaches past the end of the file leaves no data
// blocks, and no header blocks to copy: the file is damaged, as the
// reader says of files it cannot use (14). Checked before the target is
// created, so that nothing is left behind.
uint32_t refuse_missing_header_blocks(const char* path, uint16_t wNrOfHeaders_p) {
    uint32_t err = 0;
    UniqueFile file(file_open(path, GENERIC_READ, kShareReadWrite, OPEN_EXISTING, 0, &err));
    uint64_t size = 0;
    if (file && file_size(file.get(), &size) == 0 && size >= uint64_t{wNrOfHeaders_p} * DSS_BLOCK_SIZE) return 0;
    VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "VKT_ERR_OPEN_FILE header blocks missing");
    return VKT_ERR_OPEN_FILE;
}

// Writes header blocks 1 to N of the target (N at most 3); blocks 2 and 3
// are the source's when bCopy_p is set. Returns 0 or 15.
uint32_t write_target_headers(CDssFile& targetDss, const CDssFile& sourceDss, uint16_t wNrOfHeaders_p, bool bCopy_p) {
    const struct {
        uint8_t* target;
        const uint8_t* source;
        const char* failure;
    } blocks[] = {
        {nullptr, nullptr, "by targetDss.write_fileheader (1)"},
        {targetDss.m_pDssFileHeader_2.get(), sourceDss.m_pDssFileHeader_2.get(), "by targetDss.write_fileheader (2)"},
        {targetDss.m_pDssFileHeader_3.get(), sourceDss.m_pDssFileHeader_3.get(), "by targetDss.write_fileheader (3)"},
    };
    for (uint16_t n = 1; n <= 3 && (n == 1 || n <= wNrOfHeaders_p); ++n) {
        const auto& block = blocks[n - 1];
        if (bCopy_p && block.target) std::memcpy(block.target, block.source, DSS_BLOCK_SIZE);
        if (targetDss.write_fileheader(n) != 0) {
            VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, block.failure);
            return VKT_ERR_WRITE_FILE;
        }
    }
    return 0;
}

}  // namespace

uint32_t VKTIsEncryptedDSSFile(const char* lpszFilepath_p, uint32_t* pbEncrypted) {
    try {
        CDssFile dssFile(true);
        if (uint32_t rc = dssFile.create_file(lpszFilepath_p, kReadAccess, kShareRead, OPEN_EXISTING, false)) {
            VKT_TRACE_ERROR(rc, "dssFile.create_file(.)");
            return rc;
        }
        if (!pbEncrypted) {
            VKT_TRACE_ERROR(VKT_ERR, "pbEncrypted is NULL");
            return VKT_ERR;
        }
        *pbEncrypted = dssFile.IsEncrypted() ? 1 : 0;
        return 0;
    }
    VKT_CATCH_RETURN("catched in ORVKTIsEncryptedDSSFile")
}

uint32_t VKTCheckDSSFilePassword(const char* lpszFilepath_p, const char* pcszPassword) {
    try {
        CDssFile dssFile(true);
        if (dssFile.SetPassword(pcszPassword) != 0) {
            VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "by dssFile.SetPassword(.)");
            return VKT_ERR_PASSWORD;
        }
        // Opening compares the password's verification value with the file's.
        if (uint32_t rc = dssFile.create_file(lpszFilepath_p, kReadAccess, kShareRead, OPEN_EXISTING, false)) {
            VKT_TRACE_ERROR(rc, "dssFile.create_file(.)");
            return rc;
        }
        if (dssFile.IsEncrypted()) return 0;
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "dssFile.create_file(.)");
        return VKT_ERR_PASSWORD;
    }
    VKT_CATCH_RETURN("catched in ORVKTCheckDSSFilePassword")
}

uint32_t VKTDecryptDSSFile(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, const char* pcszPassword) {
    try {
        CDssFile sourceDss(false);
        if (sourceDss.SetPassword(pcszPassword) != 0) {
            VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "by sourceDss.SetPassword(.)");
            return VKT_ERR_PASSWORD;
        }
        // Checks the password and leaves the first data block decrypted.
        if (uint32_t rc = sourceDss.create_file(pcszSrcFileName_p, kReadAccess, kShareReadWrite, OPEN_EXISTING, true)) {
            VKT_TRACE_ERROR(rc, "by sourceDss.create_file(.)");
            return rc;
        }
        if (!sourceDss.IsEncrypted()) {
            VKT_TRACE_ERROR(VKT_ERR, "by !sourceDss.IsEncrypted ()");
            return VKT_ERR;
        }
        if (uint32_t rc = check_dss_target_name(pcszDstFileName_p, vkt::dss::needs_dss_pro(sourceDss.m_byCompressionId))) return rc;
        if (uint32_t rc = refuse_same_file(pcszSrcFileName_p, pcszDstFileName_p)) return rc;
        if (uint32_t rc = refuse_missing_header_blocks(pcszSrcFileName_p, sourceDss.m_wNrOfHeaders)) return rc;

        uint16_t headers = sourceDss.m_wNrOfHeaders;
        CDssFile targetDss(false);
        targetDss.m_wNrOfHeaders = headers;
        targetDss.m_byCompressionId = sourceDss.m_byCompressionId;
        if (uint32_t rc = targetDss.create_file(pcszDstFileName_p, GENERIC_WRITE, 0, CREATE_ALWAYS, false)) {
            VKT_TRACE_ERROR(rc, "by targetDss.create_file(.)");
            return rc;
        }

        uint8_t* header1 = targetDss.get_dss_file_header();
        std::memcpy(header1, sourceDss.get_dss_file_header(), DSS_BLOCK_SIZE);
        const bool ds2 = extension_starts_with(extension_of(pcszDstFileName_p), ".ds2", 4);
        h1::put_format_id(header1, ds2);
        // A DSS file has no long index table.
        if (!ds2) std::memset(header1 + h1::kLongIndex, 0xFF, h1::kIndexEnd - h1::kLongIndex);
        // not encrypted: version, salt, check value
        std::memset(header1 + h1::kEncryptionVersion, 0xFF, h1::kEncryptionEnd - h1::kEncryptionVersion);
        const bool ours = sourceDss.GetLicenseeId() == DSS_LICENSEEID_VALMERO;
        if (!ours) {
            vkt::put_le32(header1 + h1::kLicensee, DSS_LICENSEEID_VALMERO);
            header1[h1::kHeaderCount] = 3;
            headers = 3;
        }
        if (uint32_t rc = write_target_headers(targetDss, sourceDss, headers, ours)) return rc;

        // The current block is the first one; an empty file gives one block
        // taken from the zero-filled buffer.
        uint64_t blocks = 0;
        do {
            std::memcpy(targetDss.m_pDssDataBlock.get(), sourceDss.m_pDssDataBlock.get(), DSS_BLOCK_SIZE);
            targetDss.write_datablock();
            ++blocks;
        } while (sourceDss.read_next_datablock() == 0);
        vkt::dss::close_and_check_size(targetDss, pcszDstFileName_p, (headers + blocks) * DSS_BLOCK_SIZE, "targetDss");
        return 0;
    }
    VKT_CATCH_RETURN("catched in ORVKTDecryptDSSFile")
}

uint32_t VKTEncryptDSSFile(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, const char* pcszPassword) {
    try {
        if (!pcszPassword) {
            VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "no password specified");
            return VKT_ERR_PASSWORD;
        }
        const std::size_t length = std::strlen(pcszPassword);
        if (length < 4 || length > 16) {
            VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "invalid password length");
            return VKT_ERR_PASSWORD;
        }
        if (!extension_starts_with(extension_of(pcszDstFileName_p), ".ds2", 4)) {
            VKT_TRACE_ERROR(VKT_ERR, "encrytion requires DSS Pro");
            return VKT_ERR;
        }

        // No password: an encrypted source is opened as stored, so that it is
        // refused as already encrypted rather than for the missing password.
        CDssFile sourceDss(false);
        sourceDss.m_bSkipDecryption = true;
        if (uint32_t rc = sourceDss.create_file(pcszSrcFileName_p, kReadAccess, kShareReadWrite, OPEN_EXISTING, true)) {
            VKT_TRACE_ERROR(rc, "by sourceDss.create_file(.)");
            return rc;
        }
        if (sourceDss.IsEncrypted()) {
            VKT_TRACE_ERROR(VKT_ERR, "by sourceDss.IsEncrypted ()");
            return VKT_ERR;
        }
        if (sourceDss.GetLicenseeId() != DSS_LICENSEEID_VALMERO) {
            VKT_TRACE_ERROR(VKT_ERR_LICENSEE, "LicenseeId != DSS_LICENSEEID_VALMERO");
            return VKT_ERR_LICENSEE;
        }
        if (uint32_t rc = refuse_same_file(pcszSrcFileName_p, pcszDstFileName_p)) return rc;
        if (uint32_t rc = refuse_missing_header_blocks(pcszSrcFileName_p, sourceDss.m_wNrOfHeaders)) return rc;

        const uint16_t headers = sourceDss.m_wNrOfHeaders;
        CDssFile targetDss(false);
        targetDss.m_wNrOfHeaders = headers;
        targetDss.m_byCompressionId = sourceDss.m_byCompressionId;
        if (uint32_t rc = targetDss.create_file(pcszDstFileName_p, GENERIC_WRITE, 0, CREATE_ALWAYS, false)) {
            VKT_TRACE_ERROR(rc, "by targetDss.create_file(.)");
            return rc;
        }

        uint8_t* header1 = targetDss.get_dss_file_header();
        std::memcpy(header1, sourceDss.get_dss_file_header(), DSS_BLOCK_SIZE);
        uint8_t key[16] = {};
        uint32_t key_length = sizeof key;
        AddEncryptionToHeader(header1, pcszPassword, key, &key_length);
        vkt::dss::DssBlockCipher cipher(key, key_length, true);  // the key sequence, once for all blocks
        OPENSSL_cleanse(key, sizeof key);
        if (uint32_t rc = write_target_headers(targetDss, sourceDss, headers, true)) return rc;

        if (sourceDss.SetFilePositionToFirstDatablock() != 0) {
            VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "by sourceDss.SetFilePositionToFirstDatablock ()");
            return VKT_ERR_OPEN_FILE;
        }
        uint8_t* const block = targetDss.m_pDssDataBlock.get();
        uint64_t blocks = 0;
        while (sourceDss.read_next_datablock() == 0) {
            std::memcpy(block, sourceDss.m_pDssDataBlock.get(), DSS_BLOCK_SIZE);
            if (cipher.crypt(block)) fill_block_tail(block, sourceDss.GetDataLength());
            targetDss.write_datablock();
            ++blocks;
        }
        // A block that did not reach the disk is only a trace line of the
        // writer: the finished file must hold every block.
        vkt::dss::close_and_check_size(targetDss, pcszDstFileName_p, (headers + blocks) * DSS_BLOCK_SIZE, "targetDss");
        return 0;
    }
    VKT_CATCH_RETURN("catched in ORVKTEncryptDSSFile")
}
