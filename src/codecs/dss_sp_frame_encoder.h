// Our standard-play encoder behind the SP driver's frame-encoder plug:
// SpDriver(make_dss_sp_encoder) opens PCM -> 0x0121 streams at 12000 and
// 8000 blocks a second.
#pragma once

#include <cstdint>
#include <memory>

#include "codecs/sp_driver.h"

namespace vkt::codecs {

// A DssSpEncoder for block rates 12000 and 8000; null for any other rate.
std::unique_ptr<SpFrameEncoder> make_dss_sp_encoder(uint32_t block_rate);

}  // namespace vkt::codecs
