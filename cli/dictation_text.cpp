#include "dictation_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>

namespace orvkt_cli {

namespace {

std::string convert(const std::string& in, const char* from, const char* to, bool* ok) {
    *ok = true;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        *ok = false;
        return {};
    }
    std::string out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = out.data();
    size_t dst_left = out.size();
    if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) *ok = false;
    iconv_close(cd);
    out.resize(out.size() - dst_left);
    return out;
}

std::string text_of(const char* field, size_t n) {
    size_t len = 0;
    while (len < n && field[len] != 0) ++len;
    return std::string(field, len);
}

// Date, time and length fields are six digits; anything else (0xFF bytes
// of a field never written) shows as empty.
std::string digits_of(const char* field) {
    for (int i = 0; i < 6; ++i)
        if (field[i] < '0' || field[i] > '9') return "";
    return std::string(field, 6);
}

}  // namespace

std::string ansi_field_to_utf8(const char* field, size_t n) {
    bool ok = true;
    std::string s = convert(text_of(field, n), "CP1252", "UTF-8", &ok);
    return s;
}

bool utf8_to_ansi_field(const std::string& text, char* field, size_t n) {
    bool ok = true;
    std::string s = convert(text, "UTF-8", "CP1252", &ok);
    if (!ok || s.size() > n) return false;
    std::memset(field, 0, n);
    std::memcpy(field, s.data(), s.size());
    return true;
}

nlohmann::json header_to_json(const ZRM2HeaderInfo& h) {
    nlohmann::json j;
    j["licensee_id"] = h.dwLicenseeId;
    j["header1_text"] = ansi_field_to_utf8(h.achH1Text, 16);
    j["header1_value"] = h.dwH1Value;
    j["more_header_blocks"] = h.bMoreHeaderBlocks != 0;
    j["flag36_clear"] = h.bFlag36Clear != 0;
    j["record_start_date"] = digits_of(h.achRecStartDate);
    j["record_start_time"] = digits_of(h.achRecStartTime);
    j["record_end_date"] = digits_of(h.achRecEndDate);
    j["record_end_time"] = digits_of(h.achRecEndTime);
    j["length_hhmmss"] = digits_of(h.achLength);
    j["header1_byte69"] = h.byH1Byte69;
    j["header2_version"] = h.wH2Version;
    j["compression_id"] = h.wCompressionId;
    j["length_ms"] = h.dwLengthMs;
    j["download_date"] = digits_of(h.achH2Field22);
    j["download_time"] = digits_of(h.achH2Field28);
    auto texts = nlohmann::json::array();
    for (const auto& t : h.aachText) texts.push_back(ansi_field_to_utf8(t, 30));
    if (h.dwSize == ZRM2HEADERINFO_SIZE_FULL) {
        texts.push_back(ansi_field_to_utf8(h.achTextExt1, 30));
        texts.push_back(ansi_field_to_utf8(h.achTextExt2, 30));
    }
    j["texts"] = texts;
    return j;
}

void print_header(const ZRM2HeaderInfo& h) {
    std::printf("  licensee id        %u\n", h.dwLicenseeId);
    std::printf("  header 1 text      %s\n", ansi_field_to_utf8(h.achH1Text, 16).c_str());
    std::printf("  recorded           %s %s .. %s %s\n", digits_of(h.achRecStartDate).c_str(),
                digits_of(h.achRecStartTime).c_str(), digits_of(h.achRecEndDate).c_str(),
                digits_of(h.achRecEndTime).c_str());
    std::printf("  length             %s (hhmmss), %u ms\n", digits_of(h.achLength).c_str(), h.dwLengthMs);
    std::printf("  header 2 version   %u\n", h.wH2Version);
    std::printf("  compression id     %u\n", h.wCompressionId);
    std::printf("  downloaded         %s %s\n", digits_of(h.achH2Field22).c_str(), digits_of(h.achH2Field28).c_str());
    const int count = h.dwSize == ZRM2HEADERINFO_SIZE_FULL ? 13 : 11;
    for (int i = 0; i < count; ++i) {
        const char* field = i < 11 ? h.aachText[i] : (i == 11 ? h.achTextExt1 : h.achTextExt2);
        std::string t = ansi_field_to_utf8(field, 30);
        if (!t.empty()) std::printf("  text %-2d            %s\n", i + 1, t.c_str());
    }
}

std::vector<Marker> markers_from_array(const uint8_t* a) {
    std::vector<Marker> out;
    for (int i = 0; i < 32; ++i) {
        uint32_t s, e;
        std::memcpy(&s, a + 8 * i, 4);
        std::memcpy(&e, a + 8 * i + 4, 4);
        if (s == 0xFFFFFFFFu) break;
        out.push_back({s, e});
    }
    return out;
}

void markers_to_array(const std::vector<Marker>& markers, uint8_t* a) {
    std::memset(a, 0xFF, 256);
    for (size_t i = 0; i < markers.size() && i < 32; ++i) {
        std::memcpy(a + 8 * i, &markers[i].start, 4);
        std::memcpy(a + 8 * i + 4, &markers[i].end, 4);
    }
}

nlohmann::json markers_to_json(const std::vector<Marker>& markers) {
    auto j = nlohmann::json::array();
    for (const auto& m : markers) j.push_back({{"start_ms", m.start}, {"end_ms", m.end}});
    return j;
}

std::string ms_text(uint32_t ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u.%03u s", ms / 1000, ms % 1000);
    return buf;
}

}  // namespace orvkt_cli
