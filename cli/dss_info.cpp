#include "dss_info.h"

#include <cstring>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"
#include "platform/path.h"

using namespace vkt::platform;

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

// Through the DSS file object: the frames are counted from the block
// headers, which are never encrypted, so no password is needed.
uint32_t dss_audio(const std::string& path, nlohmann::json* out) {
    CDssFile dss(false);
    dss.m_bSkipDecryption = true;
    if (uint32_t r = dss.create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, true))
        return r;
    const uint8_t* h1 = dss.get_dss_file_header();
    (*out)["self_id"] = std::string(reinterpret_cast<const char*>(h1 + 1), 3);
    (*out)["encrypted"] = dss.IsEncrypted();
    (*out)["header_blocks"] = dss.m_wNrOfHeaders;
    (*out)["licensee_id"] = dss.GetLicenseeId();
    // A file without audio yet (a template) names its mode only in header 2.
    uint32_t id = dss.m_byCompressionId;
    if (dss.m_dwTotalNrOfFrames == 0 && dss.GetLicenseeId() == DSS_LICENSEEID_VALMERO && dss.m_wNrOfHeaders >= 2)
        id = dss.m_pDssFileHeader_2[16];
    (*out)["compression_id"] = id;
    (*out)["compression_name"] = compression_name(id);
    (*out)["frames"] = dss.m_dwTotalNrOfFrames;
    (*out)["length_ms"] = static_cast<uint64_t>(dss.m_dwTotalNrOfFrames) * dss.GetFrameLengthInMs();
    WAVEFORMATEX f{};
    if (id == dss.m_byCompressionId && dss.read_format(&f, sizeof f) == 0)
        (*out)["codec_format"] = {{"format_tag", f.wFormatTag}, {"samples_per_sec", f.nSamplesPerSec},
                                  {"avg_bytes_per_sec", f.nAvgBytesPerSec}, {"block_align", f.nBlockAlign}};
    return 0;
}

}  // namespace orvkt_cli

namespace orvkt_cli {

std::string dss_mode_words(unsigned id) {
    switch (id) {
        case 0: return "standard play";
        case 1: return "standard play (compressed frames)";
        case 2: return "long play (G.723.1)";
        case 3: return "long play (G.723.1, compressed frames)";
        case 4: return "long play";
        case 6: return "quality play";
        case 7: return "quality play (compressed frames)";
        default: return "unknown mode (compression id " + std::to_string(id) + ")";
    }
}

}  // namespace orvkt_cli
