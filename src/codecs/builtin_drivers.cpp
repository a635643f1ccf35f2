// The codec drivers that come with the library, in the order the codec
// manager asks them.
#include "codecs/dss_sp_frame_encoder.h"
#include "codecs/g723_driver.h"
#include "codecs/mp3_driver.h"
#include "codecs/qp_driver.h"
#include "codecs/sp_driver.h"
#include "platform/acm.h"

namespace vkt::codecs {

std::vector<std::shared_ptr<acm::Driver>> builtin_drivers() {
    return {std::make_shared<SpDriver>(make_dss_sp_encoder), std::make_shared<QpDriver>(), std::make_shared<G723Driver>(),
            std::make_shared<Mp3Driver>()};
}

}  // namespace vkt::codecs
