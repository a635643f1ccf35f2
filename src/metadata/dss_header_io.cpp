#include "metadata/dss_header_io.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"
#include "dss/traced_file_io.h"
#include "dss/dss_layout.h"
#include "metadata/header_image.h"
#include "platform/byte_order.h"
#include "platform/path.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("dss_header_io");

using namespace vkt::platform;
namespace h1 = vkt::dss::h1;

namespace {

constexpr uint32_t kBlock = DSS_BLOCK_SIZE;

// The header blocks of a DSS file, opened through the DSS file object (no
// password is needed for the headers of an encrypted file). A file forced
// to be read as DSS under another extension (a temporary file) is read
// directly, since the object insists that extension and self-identifier
// agree; its self-identifier is checked all the same.
class HeaderAccess {
public:
    uint32_t open(const char* name, bool writable) {
        const uint32_t access = writable ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ;
        const uint32_t share = writable ? FILE_SHARE_READ : (FILE_SHARE_READ | FILE_SHARE_WRITE);
        const std::string ext = extension_of(name);
        if (extension_starts_with(ext, ".dss", 4) || extension_starts_with(ext, ".ds2", 4)) {
            dss_ = std::make_unique<CDssFile>(true);
            if (uint32_t r = dss_->create_file(name, access, share, OPEN_EXISTING, false)) return r;
            std::memcpy(h1_, dss_->get_dss_file_header(), kBlock);
            handle_ = dss_->GetFileHandle();
            return VKT_OK;
        }
        uint32_t err = 0;
        raw_ = KRVDSS_open_file(name, &err, access, share, OPEN_EXISTING);
        if (!raw_) return VKT_ERR_OPEN_FILE;
        handle_ = raw_;
        if (KRVDSS_read_file(raw_, h1_, kBlock, nullptr) != 0) return VKT_ERR_OPEN_FILE;
        if (!IsDssSelfId(h1_, kBlock)) {
            VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "VKT_ERR_OPEN_FILE invalid Self-Id");
            return VKT_ERR_OPEN_FILE;
        }
        return VKT_OK;
    }
    ~HeaderAccess() { close(); }
    // Closes the file; false when written bytes did not reach it.
    bool close() {
        bool ok = true;
        if (raw_) ok = KRVDSS_close_file(&raw_) == 0;
        if (dss_) ok = dss_->cleanup() == 0 && ok;
        dss_.reset();
        handle_ = nullptr;
        return ok;
    }
    const uint8_t* h1() const { return h1_; }
    uint32_t blocks() const { return h1_[h1::kHeaderCount]; }
    uint32_t licensee() const { return ImageLicenseeId(h1_); }
    KRVHANDLE handle() const { return handle_; }
    // Header block `index` (1 or 2, counted from 0) as stored.
    bool read_block(uint32_t index, uint8_t* out) const {
        uint32_t got = 0;
        return KRVDSS_set_position_file(handle_, index * kBlock, FILE_BEGIN) == 0 &&
               KRVDSS_read_file(handle_, out, kBlock, &got) == 0 && got == kBlock;
    }

private:
    std::unique_ptr<CDssFile> dss_;
    KRVHANDLE raw_ = nullptr;
    KRVHANDLE handle_ = nullptr;
    uint8_t h1_[kBlock] = {};
};

// The header bytes are written through the file's buffer: they are on disk
// only once the close went through.
uint32_t finish_write(HeaderAccess& dss) {
    if (!dss.close()) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "KRVDSS_write_file()");
        return VKT_ERR_WRITE_FILE;
    }
    return VKT_OK;
}

}  // namespace

uint32_t ReadDssHeaderImage(const char* name, uint8_t* buffer, uint32_t capacity, uint32_t* length) {
    *length = 0;
    // Header 1 alone needs 512 bytes.
    if (capacity < kBlock) return VKT_ERR_BUFFER_TOO_SMALL;
    HeaderAccess dss;
    if (dss.open(name, false) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "ZRM2DssFile.create_file()");
        return VKT_ERR_OPEN_FILE;
    }
    std::memcpy(buffer, dss.h1(), kBlock);
    *length = kBlock;
    const uint32_t blocks = dss.blocks();
    const uint32_t licensee = dss.licensee();
    if (blocks <= 1) return VKT_OK;
    if (licensee == DSS_LICENSEEID_VALMERO && capacity >= 2 * kBlock) {
        // A header block the file does not hold stays zero.
        dss.read_block(1, buffer + kBlock);
        *length = 2 * kBlock;
        if (blocks > 2 && capacity >= 3 * kBlock) {
            dss.read_block(2, buffer + 2 * kBlock);
            *length = 3 * kBlock;
        }
        return VKT_OK;
    }
    if (licensee == DSS_LICENSEEID_OLYMPUS && capacity >= 2 * kBlock) {
        // Olympus recorders keep one flag byte in their second header block.
        const bool ds2 = extension_starts_with(extension_of(name), ".ds2", 4);
        KRVHANDLE h = dss.handle();
        if (KRVDSS_set_position_file(h, ds2 ? vkt::dss::olympus::kFlagAtDs2 : vkt::dss::olympus::kFlagAtDss, FILE_BEGIN) != 0) {
            VKT_TRACE_ERROR(VKT_ERR_READ_FILE, "KRVDSS_set_position_file failed in ORVKTUpdateFile");
            return VKT_ERR_READ_FILE;
        }
        uint32_t got = 0;
        if (KRVDSS_read_file(h, buffer + kBlock, 1, &got) != 0 || got != 1) {
            VKT_TRACE_ERROR(VKT_ERR_READ_FILE, "KRVDSS_read_file failed in ORVKTUpdateFile");
            return VKT_ERR_READ_FILE;
        }
        *length = kBlock + 1;
    }
    return VKT_OK;
}

uint32_t WriteDssHeaderImage(const char* name, const uint8_t* image, uint32_t size) {
    HeaderAccess dss;
    if (dss.open(name, true) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "ZRM2DssFile.create_file()");
        return VKT_ERR_OPEN_FILE;
    }
    KRVHANDLE h = dss.handle();
    if (KRVDSS_set_position_file(h, 0, FILE_BEGIN) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "KRVDSS_set_position_file()");
        return VKT_ERR_OPEN_FILE;
    }
    if (KRVDSS_write_file(h, image, size) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "KRVDSS_write_file()");
        return VKT_ERR_WRITE_FILE;
    }
    return finish_write(dss);
}

uint32_t ReadDssCompressionId(const char* name, uint16_t* compression_id) {
    CDssFile dss(true);
    if (dss.create_file(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, false) != 0)
        return VKT_ERR_OPEN_FILE;
    *compression_id = dss.m_byCompressionId;
    return VKT_OK;
}

uint32_t ReadDssMarkers(const char* name, uint8_t* markers) {
    HeaderAccess dss;
    if (dss.open(name, false) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "dssFile.create_file()");
        return VKT_ERR_OPEN_FILE;
    }
    uint8_t h3[kBlock];
    if (dss.blocks() < 3 || dss.licensee() != DSS_LICENSEEID_VALMERO || !dss.read_block(2, h3)) {
        VKT_TRACE_ERROR(VKT_ERR_CHUNK_NOT_FOUND, "DSS File: No header 3");
        return VKT_ERR_CHUNK_NOT_FOUND;
    }
    std::memcpy(markers, h3, vkt::dss::kMarkerArraySize);
    return VKT_OK;
}

uint32_t WriteDssMarkers(const char* name, const uint8_t* markers) {
    HeaderAccess dss;
    if (dss.open(name, true) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "dssFile.create_file()");
        return VKT_ERR_OPEN_FILE;
    }
    if (dss.blocks() < 3 || dss.licensee() != DSS_LICENSEEID_VALMERO) {
        VKT_TRACE_ERROR(VKT_ERR_CHUNK_NOT_FOUND, "DSS File: No header 3");
        // Nothing to store is no loss; markers that have no place to go are
        // refused rather than dropped behind a success.
        const bool any_marker =
            std::any_of(markers, markers + vkt::dss::kMarkerArraySize, [](uint8_t b) { return b != 0xFF; });
        return any_marker ? VKT_ERR_CHUNK_NOT_FOUND : VKT_OK;
    }
    uint8_t block[kBlock];
    std::memset(block, 0xFF, kBlock);
    std::memcpy(block, markers, vkt::dss::kMarkerArraySize);
    KRVHANDLE h = dss.handle();
    if (KRVDSS_set_position_file(h, 2 * kBlock, FILE_BEGIN) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "KRVDSS_set_position_file()");
        return VKT_ERR_OPEN_FILE;
    }
    if (KRVDSS_write_file(h, block, kBlock) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "KRVDSS_write_file()");
        return VKT_ERR_WRITE_FILE;
    }
    return finish_write(dss);
}

uint32_t CopyHeaderImageIntoDss(const char* name, const uint8_t* image, uint32_t length) {
    HeaderAccess dss;
    if (dss.open(name, true) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "ZRM2DssFile.create_file()");
        return VKT_ERR_OPEN_FILE;
    }
    const uint8_t* own = dss.h1();
    // Header 2 has our layout only when both files are of our family.
    uint32_t blocks = std::min<uint32_t>(length / kBlock, own[h1::kHeaderCount]);
    const bool both_ours = dss.licensee() == DSS_LICENSEEID_VALMERO &&
                           length >= h1::kText && vkt::get_le32(image + h1::kLicensee) == DSS_LICENSEEID_VALMERO;
    if (!both_ours) blocks = std::min<uint32_t>(blocks, 1);
    if (blocks == 0) return VKT_OK;
    std::vector<uint8_t> out(image, image + blocks * kBlock);
    // The destination stays what it is: its header count, self-identifier,
    // format words and encryption fields are its own.
    std::memcpy(out.data(), own, h1::kLicensee);
    std::memcpy(out.data() + h1::kEncryptionVersion, own + h1::kEncryptionVersion,
                h1::kEncryptionEnd - h1::kEncryptionVersion);
    KRVHANDLE h = dss.handle();
    if (KRVDSS_set_position_file(h, 0, FILE_BEGIN) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "KRVDSS_set_position_file()");
        return VKT_ERR_OPEN_FILE;
    }
    if (KRVDSS_write_file(h, out.data(), static_cast<uint32_t>(out.size())) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "KRVDSS_write_file()");
        return VKT_ERR_WRITE_FILE;
    }
    return finish_write(dss);
}
