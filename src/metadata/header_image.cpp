#include "metadata/header_image.h"

#include <cstddef>
#include <cstring>

#include "dss/dss_layout.h"
#include "platform/codepage.h"
#include "platform/vkt_trace.h"
#include "platform/byte_order.h"

VKT_TRACE_UNIT("header_image");

using vkt::get_le16;
using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

namespace h1 = vkt::dss::h1;
namespace h2 = vkt::dss::h2;

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
    const uint8_t* id = image + h1::kSelfId;
    return std::memcmp(id, "dss", h1::kSelfIdSize) == 0 || std::memcmp(id, "ds2", h1::kSelfIdSize) == 0 ||
           std::memcmp(id, "enc", h1::kSelfIdSize) == 0;
}

uint32_t ImageLicenseeId(const uint8_t* image) { return get_le32(image + h1::kLicensee); }
uint16_t ImageH1Word32(const uint8_t* image) { return get_le16(image + h1::kMoreHeaders); }
uint16_t ImageH2Version(const uint8_t* image) { return get_le16(image + vkt::dss::image::kHeader2 + h2::kVersion); }

bool IsZRM2DictOrInsImage(const uint8_t* image, uint32_t length) {
    if (!IsDssSelfId(image, length) || ImageLicenseeId(image) != DSS_LICENSEEID_VALMERO) return false;
    if (length == DSS_HEADERBLOCK_SIZE) return ImageH1Word32(image) == h1::kOneHeaderBlock;
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
    if (length == DSS_HEADERBLOCK_SIZE && ImageH1Word32(image) == h1::kOneHeaderBlock) return 3;
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
    const uint8_t* hdr1 = image;
    r->dwLicenseeId = get_le32(hdr1 + h1::kLicensee);
    oem_text(hdr1 + h1::kText, r->achH1Text, h1::kTextSize);
    r->dwH1Value = get_le32(hdr1 + h1::kValue);
    r->bMoreHeaderBlocks = get_le16(hdr1 + h1::kMoreHeaders) != h1::kOneHeaderBlock ? 1 : 0;
    r->bFlag36Clear = (get_le16(hdr1 + h1::kFlags36) & 0x8) == 0 ? 1 : 0;
    std::memcpy(r->achRecStartDate, hdr1 + h1::kStartDate, h1::kDateTimeSize);
    std::memcpy(r->achRecStartTime, hdr1 + h1::kStartTime, h1::kDateTimeSize);
    std::memcpy(r->achRecEndDate, hdr1 + h1::kEndDate, h1::kDateTimeSize);
    std::memcpy(r->achRecEndTime, hdr1 + h1::kEndTime, h1::kDateTimeSize);
    std::memcpy(r->achLength, hdr1 + h1::kLength, h1::kDateTimeSize);
    // Olympus recorders keep a flag outside header 1; it raises the value
    // of byte 69 to 8.
    r->byH1Byte69 = hdr1[h1::kByte69];
    if (r->dwLicenseeId == DSS_LICENSEEID_OLYMPUS && length == DSS_HEADERBLOCK_SIZE + 1 &&
        image[vkt::dss::image::kHeader2] == 1 && hdr1[h1::kByte69] <= 7)
        r->byH1Byte69 = 8;

    const uint8_t* hdr2 = image + vkt::dss::image::kHeader2;
    const bool has_h2 = length >= vkt::dss::image::kTwoHeaders && r->dwLicenseeId == DSS_LICENSEEID_VALMERO &&
                        (get_le16(hdr2 + h2::kVersion) == 1 || get_le16(hdr2 + h2::kVersion) == 2);
    if (!has_h2) {
        clear_h2_fields(r, full);
        return VKT_OK;
    }
    r->wH2Version = get_le16(hdr2 + h2::kVersion);
    r->wH2Word2 = get_le16(hdr2 + h2::kWord2);
    std::memcpy(r->achH2Bytes4, hdr2 + h2::kBytes4, h2::kBytes12 - h2::kBytes4);
    std::memcpy(r->achH2Bytes12, hdr2 + h2::kBytes12, h2::kCompressionId - h2::kBytes12);
    r->wCompressionId = get_le16(hdr2 + h2::kCompressionId);
    r->dwLengthMs = get_le32(hdr2 + h2::kLengthMs);
    std::memcpy(r->achH2Field22, hdr2 + h2::kField22, h1::kDateTimeSize);
    std::memcpy(r->achH2Field28, hdr2 + h2::kField28, h1::kDateTimeSize);
    for (uint32_t i = 0; i < h2::kTextCount; ++i)
        oem_text(hdr2 + h2::kTexts + h2::kTextSize * i, r->aachText[i], h2::kTextSize);
    if (full) {
        // Areas of 0xFF were never written: two empty texts.
        if (all_ff(hdr2 + h2::kTextExt1, h2::kTextsEnd - h2::kTextExt1)) {
            std::memset(r->achTextExt1, 0, h2::kTextSize);
            std::memset(r->achTextExt2, 0, h2::kTextSize);
        } else {
            oem_text(hdr2 + h2::kTextExt1, r->achTextExt1, h2::kTextSize);
            oem_text(hdr2 + h2::kTextExt2, r->achTextExt2, h2::kTextSize);
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
    uint8_t* hdr1 = image;
    put_le32(hdr1 + h1::kLicensee, r->dwLicenseeId);
    ansi_text(r->achH1Text, hdr1 + h1::kText, h1::kTextSize);
    put_le32(hdr1 + h1::kValue, r->dwH1Value);
    put_le16(hdr1 + h1::kMoreHeaders, r->bMoreHeaderBlocks ? h1::kMoreHeaderBlocks : h1::kOneHeaderBlock);
    uint16_t w36 = get_le16(hdr1 + h1::kFlags36);
    if (r->bFlag36Clear == 1) {
        w36 = static_cast<uint16_t>(w36 & ~0x8u);
    } else {
        w36 = static_cast<uint16_t>((w36 & ~0x4u) | 0x8u);
    }
    put_le16(hdr1 + h1::kFlags36, w36);
    std::memcpy(hdr1 + h1::kStartDate, r->achRecStartDate, h1::kDateTimeSize);
    std::memcpy(hdr1 + h1::kStartTime, r->achRecStartTime, h1::kDateTimeSize);
    std::memcpy(hdr1 + h1::kEndDate, r->achRecEndDate, h1::kDateTimeSize);
    std::memcpy(hdr1 + h1::kEndTime, r->achRecEndTime, h1::kDateTimeSize);
    std::memcpy(hdr1 + h1::kLength, r->achLength, h1::kDateTimeSize);
    hdr1[h1::kByte69] = r->byH1Byte69;

    if (length >= vkt::dss::image::kTwoHeaders) {
        uint8_t* hdr2 = image + vkt::dss::image::kHeader2;
        put_le16(hdr2 + h2::kVersion, r->wH2Version);
        put_le16(hdr2 + h2::kWord2, r->wH2Word2);
        std::memcpy(hdr2 + h2::kBytes4, r->achH2Bytes4, h2::kBytes12 - h2::kBytes4);
        put_le16(hdr2 + h2::kCompressionId, r->wCompressionId);
        put_le32(hdr2 + h2::kLengthMs, r->dwLengthMs);
        std::memcpy(hdr2 + h2::kField22, r->achH2Field22, h1::kDateTimeSize);
        std::memcpy(hdr2 + h2::kField28, r->achH2Field28, h1::kDateTimeSize);
        for (uint32_t i = 0; i < h2::kTextCount; ++i)
            ansi_text(r->aachText[i], hdr2 + h2::kTexts + h2::kTextSize * i, h2::kTextSize);
        if (r->dwSize == ZRM2HEADERINFO_SIZE_FULL) {
            ansi_text(r->achTextExt1, hdr2 + h2::kTextExt1, h2::kTextSize);
            ansi_text(r->achTextExt2, hdr2 + h2::kTextExt2, h2::kTextSize);
        }
    }
    return VKT_OK;
}
