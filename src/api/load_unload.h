// Load and unload notification of the library.
#pragma once

#include <cstdint>

namespace vkt {

inline constexpr uint32_t DLL_PROCESS_DETACH = 0;
inline constexpr uint32_t DLL_PROCESS_ATTACH = 1;
inline constexpr uint32_t DLL_THREAD_ATTACH = 2;
inline constexpr uint32_t DLL_THREAD_DETACH = 3;

// What the library does for each notification; always reports success (1).
int dll_main(uint32_t reason);

}  // namespace vkt
