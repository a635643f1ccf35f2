#include "metadata/header_image.h"

#include <cstddef>
#include <cstring>

#include "platform/codepage.h"
#include "platform/vkt_trace.h"
#include "platform/byte_order.h"

using vkt::get_le16;
using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

namespace {


// A text field of n bytes (16 or 30) through a zeroed 31-byte scratch: the
// copy stops at the first zero byte, so what follows it comes out as zeros.
template <typename Convert>
void convert_text(const void* src, void* dst, std::size_t n, Convert convert) {
    char scratch[31] = {};
    const auto* s = static_cast<const char*>(src);
    for (std::size_t i = 0; i < n && s[i] != 0; ++i) scratch[i] = s[i];
    char out[31];
    convert(scratch, out, sizeof scratch);
    std::memcpy(dst, out, n);
}

void oem_text(const uint8_t* src, char* dst, std::size_t n) { convert_text(src, dst, n, vkt::platform::oem_to_ansi); }
void ansi_text(const char* src, uint8_t* dst, std::size_t n) { convert_text(src, dst, n, vkt::platform::ansi_to_oem); }

bool all_ff(const uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] != 0xFF) return false;
    return true;
}

constexpr std::size_t kShortEnd = offsetof(ZRM2HeaderInfo, achTextExt1);

// Zeros the header-2 fields of the record (13 to 19c, and 20, 21 in the
// full form).
void clear_h2_fields(ZRM2HeaderInfo* r, bool full) {
    auto* bytes = reinterpret_cast<uint8_t*>(r);
    const std::size_t from = offsetof(ZRM2HeaderInfo, wH2Version);
    const std::size_t to = full ? sizeof(ZRM2HeaderInfo) : kShortEnd;
    std::memset(bytes + from, 0, to - from);
}

}  // namespace

bool IsDssSelfId(const uint8_t* image, uint32_t length) {
    if (length < DSS_HEADERBLOCK_SIZE) return false;
    return std::memcmp(image + 1, "dss", 3) == 0 || std::memcmp(image + 1, "ds2", 3) == 0 ||
           std::memcmp(image + 1, "enc", 3) == 0;
}

uint32_t ImageLicenseeId(const uint8_t* image) { return get_le32(image + 8); }
uint16_t ImageH1Word32(const uint8_t* image) { return get_le16(image + 32); }
uint16_t ImageH2Version(const uint8_t* image) { return get_le16(image + 512); }

bool IsZRM2DictOrInsImage(const uint8_t* image, uint32_t length) {
    if (!IsDssSelfId(image, length) || ImageLicenseeId(image) != DSS_LICENSEEID_VALMERO) return false;
    if (length == DSS_HEADERBLOCK_SIZE) return ImageH1Word32(image) == 0xFFFD;
    if (length >= 2 * DSS_HEADERBLOCK_SIZE) {
        const uint16_t v = ImageH2Version(image);
        return v == 1 || v == 2;
    }
    return false;
}

uint32_t ClassifyZRM2Image(const uint8_t* image, uint32_t length) {
    if (!IsDssSelfId(image, length)) return 0;
    if (ImageLicenseeId(image) != DSS_LICENSEEID_VALMERO) return 1;
    if (length >= 2 * DSS_HEADERBLOCK_SIZE) {
        const uint16_t v = ImageH2Version(image);
        return v == 1 || v == 2 ? 2 : 1;
    }
    if (length == DSS_HEADERBLOCK_SIZE && ImageH1Word32(image) == 0xFFFD) return 3;
    return 1;
}

uint32_t MapZRM2HeaderDataToZRM2HeaderStruct(const uint8_t* image, uint32_t length, ZRM2HeaderInfo* r) {
    VKT_TRACE_TEXT("-----MapZRM2HeaderDataToZRM2HeaderStruct(...)");
    VKT_TRACE_PARAM("length", "%lu", length);
    if (length < DSS_HEADERBLOCK_SIZE) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "No Header info");
        return VKT_ERR_INVALID_CONTENT;
    }
    if (!IsDssSelfId(image, length)) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "Header info, but not from DSS");
        return VKT_ERR_INVALID_CONTENT;
    }
    const bool full = r->dwSize == ZRM2HEADERINFO_SIZE_FULL;
    const uint8_t* h1 = image;
    r->dwLicenseeId = get_le32(h1 + 8);
    oem_text(h1 + 12, r->achH1Text, 16);
    r->dwH1Value = get_le32(h1 + 28);
    r->bMoreHeaderBlocks = get_le16(h1 + 32) != 0xFFFD ? 1 : 0;
    r->bFlag36Clear = (get_le16(h1 + 36) & 0x8) == 0 ? 1 : 0;
    std::memcpy(r->achRecStartDate, h1 + 38, 6);
    std::memcpy(r->achRecStartTime, h1 + 44, 6);
    std::memcpy(r->achRecEndDate, h1 + 50, 6);
    std::memcpy(r->achRecEndTime, h1 + 56, 6);
    std::memcpy(r->achLength, h1 + 62, 6);
    // Olympus recorders keep a flag outside header 1; it raises the value
    // of byte 69 to 8.
    r->byH1Byte69 = h1[69];
    if (r->dwLicenseeId == DSS_LICENSEEID_OLYMPUS && length == DSS_HEADERBLOCK_SIZE + 1 && image[512] == 1 &&
        h1[69] <= 7)
        r->byH1Byte69 = 8;

    const uint8_t* h2 = image + DSS_HEADERBLOCK_SIZE;
    const bool has_h2 = length >= 2 * DSS_HEADERBLOCK_SIZE && r->dwLicenseeId == DSS_LICENSEEID_VALMERO &&
                        (get_le16(h2) == 1 || get_le16(h2) == 2);
    if (!has_h2) {
        clear_h2_fields(r, full);
        return VKT_OK;
    }
    r->wH2Version = get_le16(h2);
    r->wH2Word2 = get_le16(h2 + 2);
    std::memcpy(r->achH2Bytes4, h2 + 4, 8);
    std::memcpy(r->achH2Bytes12, h2 + 12, 4);
    r->wCompressionId = get_le16(h2 + 16);
    r->dwLengthMs = get_le32(h2 + 18);
    std::memcpy(r->achH2Field22, h2 + 22, 6);
    std::memcpy(r->achH2Field28, h2 + 28, 6);
    for (int i = 0; i < 11; ++i) oem_text(h2 + 34 + 30 * i, r->aachText[i], 30);
    if (full) {
        // Areas of 0xFF were never written: two empty texts.
        if (all_ff(h2 + 364, 60)) {
            std::memset(r->achTextExt1, 0, 30);
            std::memset(r->achTextExt2, 0, 30);
        } else {
            oem_text(h2 + 364, r->achTextExt1, 30);
            oem_text(h2 + 394, r->achTextExt2, 30);
        }
    }
    return VKT_OK;
}

uint32_t MapZRM2HeaderStructToZRM2HeaderData(const ZRM2HeaderInfo* r, uint8_t* image, uint32_t length) {
    VKT_TRACE_TEXT("-----MapZRM2HeaderStructToZRM2HeaderData(...)");
    VKT_TRACE_PARAM("length", "%lu", length);
    if (length < DSS_HEADERBLOCK_SIZE) {
        VKT_TRACE_ERROR(VKT_ERR_BUFFER_TOO_SMALL, "No Header info");
        return VKT_ERR_BUFFER_TOO_SMALL;
    }
    uint8_t* h1 = image;
    put_le32(h1 + 8, r->dwLicenseeId);
    ansi_text(r->achH1Text, h1 + 12, 16);
    put_le32(h1 + 28, r->dwH1Value);
    put_le16(h1 + 32, r->bMoreHeaderBlocks ? 0xFFFE : 0xFFFD);
    uint16_t w36 = get_le16(h1 + 36);
    if (r->bFlag36Clear == 1) {
        w36 = static_cast<uint16_t>(w36 & ~0x8u);
    } else {
        w36 = static_cast<uint16_t>((w36 & ~0x4u) | 0x8u);
    }
    put_le16(h1 + 36, w36);
    std::memcpy(h1 + 38, r->achRecStartDate, 6);
    std::memcpy(h1 + 44, r->achRecStartTime, 6);
    std::memcpy(h1 + 50, r->achRecEndDate, 6);
    std::memcpy(h1 + 56, r->achRecEndTime, 6);
    std::memcpy(h1 + 62, r->achLength, 6);
    h1[69] = r->byH1Byte69;

    if (length >= 2 * DSS_HEADERBLOCK_SIZE) {
        uint8_t* h2 = image + DSS_HEADERBLOCK_SIZE;
        put_le16(h2, r->wH2Version);
        put_le16(h2 + 2, r->wH2Word2);
        std::memcpy(h2 + 4, r->achH2Bytes4, 8);
        put_le16(h2 + 16, r->wCompressionId);
        put_le32(h2 + 18, r->dwLengthMs);
        std::memcpy(h2 + 22, r->achH2Field22, 6);
        std::memcpy(h2 + 28, r->achH2Field28, 6);
        for (int i = 0; i < 11; ++i) ansi_text(r->aachText[i], h2 + 34 + 30 * i, 30);
        if (r->dwSize == ZRM2HEADERINFO_SIZE_FULL) {
            ansi_text(r->achTextExt1, h2 + 364, 30);
            ansi_text(r->achTextExt2, h2 + 394, 30);
        }
    }
    return VKT_OK;
}
