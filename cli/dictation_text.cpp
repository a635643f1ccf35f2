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

namespace orvkt_cli {

namespace {

// The length in bytes of the UTF-8 sequence starting with b, 0 if invalid.
size_t utf8_length(unsigned char b) {
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) return 2;
    if ((b & 0xF0) == 0xE0) return 3;
    if ((b & 0xF8) == 0xF0) return 4;
    return 0;
}

uint32_t code_point(const std::string& seq) {
    const auto* b = reinterpret_cast<const unsigned char*>(seq.data());
    if (seq.size() == 1) return b[0];
    uint32_t cp = b[0] & (0x7F >> seq.size());
    for (size_t i = 1; i < seq.size(); ++i) cp = (cp << 6) | (b[i] & 0x3F);
    return cp;
}

bool digits(const std::string& s, size_t from, size_t n, int& value) {
    if (from + n > s.size()) return false;
    value = 0;
    for (size_t i = from; i < from + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// Seconds with an optional fraction ("5", "5.25") in milliseconds.
bool seconds_ms(const std::string& s, uint64_t& ms) {
    if (s.empty()) return false;
    const auto dot = s.find('.');
    const std::string whole = s.substr(0, dot);
    if (whole.empty() || whole.size() > 9 || whole.find_first_not_of("0123456789") != std::string::npos) return false;
    ms = std::stoull(whole) * 1000;
    if (dot != std::string::npos) {
        std::string frac = s.substr(dot + 1);
        if (frac.empty() || frac.size() > 3 || frac.find_first_not_of("0123456789") != std::string::npos) return false;
        frac.resize(3, '0');
        ms += std::stoul(frac);
    }
    return true;
}

}  // namespace

std::string ansi_field_problem(const std::string& text, size_t n) {
    size_t count = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t len = utf8_length(static_cast<unsigned char>(text[i]));
        if (len == 0 || i + len > text.size()) return "is not valid UTF-8";
        const std::string seq = text.substr(i, len);
        char one[4];
        if (!utf8_to_ansi_field(seq, one, 1)) {
            char cp[16];
            std::snprintf(cp, sizeof cp, "U+%04X", code_point(seq));
            return "the character '" + seq + "' (" + cp + ") has no Windows-1252 form";
        }
        ++count;
        i += len;
    }
    if (count > n) return "is " + std::to_string(count) + " characters long; at most " + std::to_string(n) + " fit";
    return "";
}

bool parse_date(const std::string& v, std::string& out) {
    int y = 0, m = 0, d = 0;
    if (v.size() == 6 && digits(v, 0, 2, y) && digits(v, 2, 2, m) && digits(v, 4, 2, d)) {
    } else if (v.size() == 10 && v[4] == '-' && v[7] == '-' && digits(v, 0, 4, y) && digits(v, 5, 2, m) &&
               digits(v, 8, 2, d)) {
        y %= 100;
    } else {
        return false;
    }
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    char text[8];
    std::snprintf(text, sizeof text, "%02d%02d%02d", y, m, d);
    out = text;
    return true;
}

bool parse_time(const std::string& v, std::string& out) {
    int h = 0, m = 0, s = 0;
    if (v.size() == 6 && digits(v, 0, 2, h) && digits(v, 2, 2, m) && digits(v, 4, 2, s)) {
    } else if (v.size() == 8 && v[2] == ':' && v[5] == ':' && digits(v, 0, 2, h) && digits(v, 3, 2, m) &&
               digits(v, 6, 2, s)) {
    } else {
        return false;
    }
    if (h > 23 || m > 59 || s > 59) return false;
    char text[8];
    std::snprintf(text, sizeof text, "%02d%02d%02d", h, m, s);
    out = text;
    return true;
}

bool parse_offset(const std::string& v, uint32_t& ms) {
    uint64_t value = 0;
    if (v.size() > 2 && v.compare(v.size() - 2, 2, "ms") == 0) {
        const std::string n = v.substr(0, v.size() - 2);
        if (n.empty() || n.size() > 10 || n.find_first_not_of("0123456789") != std::string::npos) return false;
        value = std::stoull(n);
    } else if (v.size() > 1 && v.back() == 's') {
        if (!seconds_ms(v.substr(0, v.size() - 1), value)) return false;
    } else if (v.find(':') != std::string::npos) {
        // [h:]m:ss[.fff]
        std::vector<std::string> parts;
        size_t from = 0;
        for (size_t c; (c = v.find(':', from)) != std::string::npos; from = c + 1) parts.push_back(v.substr(from, c - from));
        parts.push_back(v.substr(from));
        if (parts.size() > 3) return false;
        uint64_t sec_ms = 0;
        // The seconds have two digits (1:05, 1:05.5).
        const size_t dot = parts.back().find('.');
        if ((dot == std::string::npos ? parts.back().size() : dot) != 2 || !seconds_ms(parts.back(), sec_ms))
            return false;
        if (sec_ms >= 60000) return false;
        value = sec_ms;
        uint64_t scale = 60000;
        for (size_t i = parts.size() - 1; i-- > 0; scale *= 60) {
            const std::string& p = parts[i];
            if (p.empty() || p.size() > 6 || p.find_first_not_of("0123456789") != std::string::npos) return false;
            if (i > 0 && std::stoull(p) >= 60) return false;
            value += std::stoull(p) * scale;
        }
    } else {
        if (v.empty() || v.size() > 10 || v.find_first_not_of("0123456789") != std::string::npos) return false;
        value = std::stoull(v);
    }
    if (value >= 0xFFFFFFFFull) return false;
    ms = static_cast<uint32_t>(value);
    return true;
}

std::string offset_text(uint32_t ms) {
    const uint32_t total_s = ms / 1000, frac = ms % 1000;
    std::string fraction;
    if (frac) {
        char f[8];
        std::snprintf(f, sizeof f, ".%03u", frac);
        fraction = f;
        while (fraction.back() == '0') fraction.pop_back();
    }
    char text[48];
    if (total_s < 60) std::snprintf(text, sizeof text, "%u%ss", total_s, fraction.c_str());
    else if (total_s < 3600) std::snprintf(text, sizeof text, "%u:%02u%s", total_s / 60, total_s % 60, fraction.c_str());
    else
        std::snprintf(text, sizeof text, "%u:%02u:%02u%s", total_s / 3600, total_s / 60 % 60, total_s % 60,
                      fraction.c_str());
    return text;
}

}  // namespace orvkt_cli
