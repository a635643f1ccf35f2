#include "dss/dss_written_file.h"

#include <sys/stat.h>

#include "dss/dss_file.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("dss_written_file");

namespace vkt::dss {

void close_and_check_size(CDssFile& file, const std::string& name, uint64_t expected_size, const char* what) {
    if (file.cleanup() != 0) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, (std::string("by ") + what + ": closing failed").c_str());
        raise(VKT_ERR_WRITE_FILE);
    }
    struct stat st{};
    if (::stat(name.c_str(), &st) != 0 || static_cast<uint64_t>(st.st_size) != expected_size) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, (std::string("by ") + what + ": file incomplete on disk").c_str());
        raise(VKT_ERR_WRITE_FILE);
    }
}

}  // namespace vkt::dss
