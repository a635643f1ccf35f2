// orvkt info FILE [--json]: what a dictation file is and what it carries.
#include <cstdio>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "dictation_text.h"
#include "dss_info.h"
#include "media/CMp3File.h"
#include "metadata/header_transport.h"
#include "platform/vkt_error.h"
#include "report.h"
#include "wav/CWAVFILE.h"

namespace orvkt_cli {

namespace {

const char* tag_name(uint16_t tag) {
    switch (tag) {
        case WAVE_FORMAT_PCM: return "PCM";
        case WAVE_FORMAT_MPEGLAYER3: return "MPEG layer 3";
        case WAVE_FORMAT_DSS_SP: return "DSS SP";
        case WAVE_FORMAT_DSS_LP: return "DSS LP";
        case 0x0120: return "dictation codec 0x0120";
        case 0x0098: return "dictation codec 0x0098";
        default: return "other";
    }
}

nlohmann::json format_json(const WAVEFORMATEX& f) {
    return {{"format_tag", f.wFormatTag},         {"name", tag_name(f.wFormatTag)},
            {"channels", f.nChannels},            {"samples_per_sec", f.nSamplesPerSec},
            {"avg_bytes_per_sec", f.nAvgBytesPerSec}, {"block_align", f.nBlockAlign},
            {"bits_per_sample", f.wBitsPerSample}};
}

// Format and length of a WAV file through CWavFile.
uint32_t wav_audio(const std::string& path, nlohmann::json* out) {
    CWavFile wav;
    try {
        wav.open_file(path.c_str(), MMIO_READ | MMIO_DENYWRITE);
        uint32_t fmt_size = 0;
        if (uint32_t r = wav.get_sizeof_format(&fmt_size)) return r;
        WAVEFORMATEX f{};
        if (uint32_t r = wav.read_format(&f, std::min<uint32_t>(fmt_size, sizeof f))) return r;
        uint32_t data = 0;
        if (uint32_t r = wav.get_sizeof_data(&data)) return r;
        (*out)["format"] = format_json(f);
        (*out)["data_bytes"] = data;
        if (f.nAvgBytesPerSec)
            (*out)["length_ms"] = static_cast<uint32_t>(static_cast<uint64_t>(data) * 1000 / f.nAvgBytesPerSec);
    } catch (const vkt::VktError& e) {
        return e.code;
    }
    return 0;
}

uint32_t mp3_audio(const std::string& path, nlohmann::json* out) {
    CMp3File mp3;
    if (uint32_t r = mp3.create_file(path.c_str())) return r;
    WAVEFORMATEX f{};
    if (uint32_t r = mp3.read_format(&f, sizeof f)) return r;
    (*out)["format"] = format_json(f);
    (*out)["length_ms"] = mp3.GetLengthInMs();
    (*out)["frames"] = mp3.GetTotalNrOfFrames();
    (*out)["variable_bitrate"] = mp3.IsVariableBitrate();
    return 0;
}

// A WMA file as the conversions see it: the 16-bit mono PCM of its first
// channel; the length decodes the whole file.
uint32_t wma_audio(const std::string& path, nlohmann::json* out) {
    WAVEFORMATEX f{};
    if (uint32_t r = ORVKTReadWAVFormat(path.c_str(), &f, sizeof f)) return r;
    uint32_t ms = 0;
    if (uint32_t r = ORVKTWAVGetSndDataLength(path.c_str(), &ms)) return r;
    (*out)["format"] = format_json(f);
    (*out)["length_ms"] = ms;
    return 0;
}

bool is_wma(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".wma";
}

void print_text(const std::string& path, const nlohmann::json& j, const ZRM2HeaderInfo* header) {
    std::printf("file        %s\n", path.c_str());
    std::printf("kind        %s\n", j["kind"].get<std::string>().c_str());
    if (j.contains("format")) {
        const auto& f = j["format"];
        std::printf("format      %s (tag 0x%04x), %u channel(s), %u Hz, %u bit, %u bytes/s\n",
                    f["name"].get<std::string>().c_str(), f["format_tag"].get<unsigned>(), f["channels"].get<unsigned>(),
                    f["samples_per_sec"].get<unsigned>(), f["bits_per_sample"].get<unsigned>(),
                    f["avg_bytes_per_sec"].get<unsigned>());
    }
    if (j.contains("compression_id"))
        std::printf("compression %u (%s)\n", j["compression_id"].get<unsigned>(), j["compression_name"].get<std::string>().c_str());
    if (j.contains("length_ms")) std::printf("length      %s\n", ms_text(j["length_ms"].get<uint32_t>()).c_str());
    // Only MP3 files say whether their bit rate varies.
    if (j.contains("variable_bitrate"))
        std::printf("frames      %u (%s bit rate)\n", j["frames"].get<unsigned>(),
                    j["variable_bitrate"].get<bool>() ? "variable" : "constant");
    else if (j.contains("frames"))
        std::printf("frames      %u\n", j["frames"].get<unsigned>());
    if (j["kind"] == "wma") {
        std::printf("header      none (WMA files carry no dictation header)\n");
        return;
    }
    if (j.contains("encrypted")) std::printf("encrypted   %s\n", j["encrypted"].get<bool>() ? "yes" : "no");
    if (j.contains("header_blocks")) std::printf("headers     %u block(s)\n", j["header_blocks"].get<unsigned>());
    std::printf("zrm2 class  %u\n", j["zrm2_class"].get<unsigned>());
    if (j["header"].is_null()) {
        std::printf("header      none (%u %s)\n", j["header_result"].get<unsigned>(),
                    describe_result(j["header_result"].get<uint32_t>()).c_str());
    } else {
        std::printf("header\n");
        print_header(*header);
    }
    if (j["markers"].is_null()) {
        std::printf("markers     none (%u %s)\n", j["markers_result"].get<unsigned>(),
                    describe_result(j["markers_result"].get<uint32_t>()).c_str());
    } else {
        std::printf("markers     %zu\n", j["markers"].size());
        int i = 1;
        for (const auto& m : j["markers"])
            std::printf("  %2d  %s .. %s\n", i++, ms_text(m["start_ms"].get<uint32_t>()).c_str(),
                        ms_text(m["end_ms"].get<uint32_t>()).c_str());
    }
}

}  // namespace

void register_info(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("info", "Kind, format, length, encryption, dictation header and markers of a file");
    struct Args {
        std::string file;
        bool json = false;
    };
    auto a = std::make_shared<Args>();
    cmd->add_option("FILE", a->file, "DSS, DS2, WAV, MP3 or WMA file")->required();
    cmd->add_flag("--json", a->json, "Print one JSON object");
    cmd->callback([a, &ctx] {
        nlohmann::json j;
        j["file"] = a->file;
        uint32_t r = 0;
        if (is_wma(a->file)) {
            j["kind"] = "wma";
            r = wma_audio(a->file, &j);
            if (report_failure(a->file, r) != 0) {
                ctx.result = r;
                return;
            }
            if (a->json) {
                std::printf("%s\n", j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
            } else {
                print_text(a->file, j, nullptr);
            }
            return;
        }
        switch (KindOfMetadataFile(a->file.c_str())) {
            case MetadataFileKind::Dss:
                j["kind"] = dss_kind_of(a->file);
                r = dss_audio(a->file, &j);
                break;
            case MetadataFileKind::Mp3:
                j["kind"] = "mp3";
                r = mp3_audio(a->file, &j);
                break;
            case MetadataFileKind::Wav:
                j["kind"] = "wav";
                r = wav_audio(a->file, &j);
                break;
        }
        if (report_failure(a->file, r) != 0) {
            ctx.result = r;
            return;
        }
        uint32_t cls = 0;
        if (ORVKTIsValidZRM2File(a->file.c_str(), &cls) != 0) cls = 0;
        j["zrm2_class"] = cls;
        ZRM2HeaderInfo h{};
        h.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        uint32_t hr = ORVKTReadZRM2Header(a->file.c_str(), &h);
        j["header_result"] = hr;
        j["header"] = hr == 0 ? header_to_json(h) : nlohmann::json(nullptr);
        uint8_t markers[256];
        uint32_t mr = ORVKTReadSpokenInstructionMarkers(a->file.c_str(), markers);
        j["markers_result"] = mr;
        j["markers"] = mr == 0 ? markers_to_json(markers_from_array(markers)) : nlohmann::json(nullptr);
        if (a->json) {
            std::printf("%s\n", j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        } else {
            print_text(a->file, j, hr == 0 ? &h : nullptr);
        }
    });
}

}  // namespace orvkt_cli
