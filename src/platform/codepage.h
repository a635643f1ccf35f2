// OEM (CP850) <-> ANSI (CP1252) conversion of header text: one byte in, one
// byte out, like OemToCharBuff / CharToOemBuff. A character the other code
// page lacks becomes its transliteration when that is one byte, else '?'.
#pragma once

#include <cstddef>

namespace vkt::platform {

void oem_to_ansi(const char* src, char* dst, std::size_t n);
void ansi_to_oem(const char* src, char* dst, std::size_t n);

}  // namespace vkt::platform
