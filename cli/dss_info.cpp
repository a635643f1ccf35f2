#include "dss_info.h"

#include <cstring>

#include "OrvaneVktapi.h"
#include "platform/path.h"

namespace orvkt_cli {

namespace {

const char* compression_name(unsigned id) {
    static const char* names[] = {"GRUNDIG (Standardplay) without Compression",
                                  "GRUNDIG (Standardplay) with Compression",
                                  "TRUESPEECH (Longplay) without Compression",
                                  "TRUESPEECH (Longplay) with Compression",
                                  "GRUNDIG (LongPlay)",
                                  "none",
                                  "QUALITYPLAY",
                                  "QUALITYPLAY_WITH_COMPRESSION"};
    return id < 8 ? names[id] : "invalid";
}

}  // namespace

std::string dss_kind_of(const std::string& path) {
    return vkt::platform::extension_starts_with(vkt::platform::extension_of(path), ".ds2", 4) ? "ds2" : "dss";
}

// From header block 1 as stored: self-identifier, header count and the
// recording length the recorder wrote (hours, minutes, seconds).
uint32_t dss_audio(const std::string& path, nlohmann::json* out) {
    uint8_t h1[512];
    if (uint32_t r = ORVKTReadDSSHeader(path.c_str(), h1)) return r;
    const std::string self_id(reinterpret_cast<char*>(h1 + 1), 3);
    if (self_id != "dss" && self_id != "ds2" && self_id != "enc") return VKT_ERR_OPEN_FILE;
    (*out)["self_id"] = self_id;
    (*out)["encrypted"] = self_id == "enc";
    (*out)["header_blocks"] = h1[0];
    int hh = 0, mm = 0, ss = 0;
    const std::string length(reinterpret_cast<char*>(h1 + 62), 6);
    if (std::sscanf(length.c_str(), "%2d%2d%2d", &hh, &mm, &ss) == 3)
        (*out)["length_ms"] = static_cast<uint32_t>(((hh * 60 + mm) * 60 + ss) * 1000);
    ZRM2HeaderInfo h{};
    h.dwSize = ZRM2HEADERINFO_SIZE_SHORT;
    if (ORVKTReadZRM2Header(path.c_str(), &h) == 0 && h.dwLicenseeId == DSS_LICENSEEID_VALMERO) {
        (*out)["compression_id"] = h.wCompressionId;
        (*out)["compression_name"] = compression_name(h.wCompressionId);
        if (h.dwLengthMs) (*out)["length_ms"] = h.dwLengthMs;
    }
    return 0;
}

}  // namespace orvkt_cli
