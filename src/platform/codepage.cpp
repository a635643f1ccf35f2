#include "platform/codepage.h"

#include <array>
#include <iconv.h>
#include <mutex>

namespace vkt::platform {

namespace {

using Table = std::array<unsigned char, 256>;

Table build(const char* from, const char* to) {
    Table t{};
    for (int i = 0; i < 256; ++i) t[i] = i < 0x80 ? static_cast<unsigned char>(i) : '?';
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return t;
    for (int i = 0x80; i < 256; ++i) {
        char in = static_cast<char>(i);
        char out[8];
        char* pin = &in;
        char* pout = out;
        size_t in_left = 1, out_left = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &pin, &in_left, &pout, &out_left) != static_cast<size_t>(-1) && in_left == 0 &&
            pout - out == 1)
            t[i] = static_cast<unsigned char>(out[0]);
    }
    iconv_close(cd);
    return t;
}

struct Tables {
    Table oem_to_ansi;
    Table ansi_to_oem;
};

const Tables& tables() {
    static const Tables t{build("CP850", "CP1252//TRANSLIT"), build("CP1252", "CP850//TRANSLIT")};
    return t;
}

void apply(const Table& t, const char* src, char* dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<char>(t[static_cast<unsigned char>(src[i])]);
}

}  // namespace

void oem_to_ansi(const char* src, char* dst, std::size_t n) { apply(tables().oem_to_ansi, src, dst, n); }
void ansi_to_oem(const char* src, char* dst, std::size_t n) { apply(tables().ansi_to_oem, src, dst, n); }

}  // namespace vkt::platform
