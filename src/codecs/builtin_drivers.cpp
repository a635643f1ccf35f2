// The codec drivers that come with the library, in the order the codec
// manager asks them.
#include "platform/acm.h"

namespace vkt::codecs {

std::vector<std::shared_ptr<acm::Driver>> builtin_drivers() { return {}; }

}  // namespace vkt::codecs
