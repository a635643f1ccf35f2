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
#include "media/mp3_file.h"
#include "metadata/header_transport.h"
#include "platform/vkt_error.h"
#include "report.h"
#include "wav/wav_file.h"

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
        wav.get_sizeof_format(&fmt_size);
        WAVEFORMATEX f{};
        if (uint32_t r = wav.read_format(&f, std::min<uint32_t>(fmt_size, sizeof f))) return r;
        uint32_t data = 0;
        wav.get_sizeof_data(&data);
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

const char* zrm2_class_words(unsigned cls) {
    switch (cls) {
        case 0: return "no dictation header";
        case 1: return "a dictation header of another maker (read only)";
        case 2: return "a full dictation header of our own family (can be changed)";
        case 3: return "only the first header block of our own family";
        default: return "unknown";
    }
}

// "2026-12-04" from YYMMDD, "14:03:00" from HHMMSS; "" for unset fields.
std::string iso_date(const std::string& d) {
    if (d.size() != 6) return "";
    return "20" + d.substr(0, 2) + "-" + d.substr(2, 2) + "-" + d.substr(4, 2);
}
std::string iso_time(const std::string& t) {
    if (t.size() != 6) return "";
    return t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
}
std::string when(const nlohmann::json& h, const char* date, const char* time) {
    std::string text = iso_date(h[date].get<std::string>());
    const std::string t = iso_time(h[time].get<std::string>());
    if (!t.empty()) text += (text.empty() ? "" : " ") + t;
    return text.empty() ? "not set" : text;
}

// What a format record is, in words.
std::string format_words(const nlohmann::json& f) {
    const unsigned tag = f["format_tag"].get<unsigned>(), rate = f["samples_per_sec"].get<unsigned>();
    const unsigned channels = f["channels"].get<unsigned>();
    const std::string layout = channels == 1 ? "mono" : channels == 2 ? "stereo" : std::to_string(channels) + " channels";
    char text[160];
    if (tag == WAVE_FORMAT_PCM)
        std::snprintf(text, sizeof text, "PCM %u-bit %s, %u Hz", f["bits_per_sample"].get<unsigned>(), layout.c_str(), rate);
    else if (tag == WAVE_FORMAT_MPEGLAYER3)
        std::snprintf(text, sizeof text, "MPEG layer 3, %s, %u Hz, %u kbit/s", layout.c_str(), rate,
                      f["avg_bytes_per_sec"].get<unsigned>() * 8 / 1000);
    else if (tag == WAVE_FORMAT_DSS_SP)
        std::snprintf(text, sizeof text, "%s (DSS codec in a WAV file)",
                      rate == 16000 ? "quality play" : rate == 8000 ? "long play" : "standard play");
    else if (tag == WAVE_FORMAT_DSS_LP)
        std::snprintf(text, sizeof text, "long play (G.723.1) (DSS codec in a WAV file)");
    else
        std::snprintf(text, sizeof text, "%s, %s, %u Hz", tag_name(static_cast<uint16_t>(tag)), layout.c_str(), rate);
    return text;
}

void print_text(const std::string& path, const nlohmann::json& j, bool raw) {
    const std::string kind = j["kind"].get<std::string>();
    std::printf("file        %s\n", path.c_str());
    std::printf("kind        %s\n", kind == "dss" ? "DSS" : kind == "ds2" ? "DS2 (DSS Pro)" : kind == "wav" ? "WAV"
                                    : kind == "mp3" ? "MP3" : "WMA");
    if (j.contains("compression_id")) {
        const unsigned id = j["compression_id"].get<unsigned>();
        std::printf("mode        %s\n", dss_mode_words(id).c_str());
        if (raw) std::printf("compression %u (%s)\n", id, j["compression_name"].get<std::string>().c_str());
    }
    if (j.contains("format")) {
        const auto& f = j["format"];
        std::printf("format      %s\n", format_words(f).c_str());
        if (raw)
            std::printf("wave format tag 0x%04x (%s), %u channel(s), %u Hz, %u bit, %u bytes/s, block %u\n",
                        f["format_tag"].get<unsigned>(), f["name"].get<std::string>().c_str(),
                        f["channels"].get<unsigned>(), f["samples_per_sec"].get<unsigned>(),
                        f["bits_per_sample"].get<unsigned>(), f["avg_bytes_per_sec"].get<unsigned>(),
                        f["block_align"].get<unsigned>());
    }
    if (j.contains("length_ms")) {
        const uint32_t ms = j["length_ms"].get<uint32_t>();
        std::printf("length      %s (%s)\n", ms_text(ms).c_str(), offset_text(ms).c_str());
    }
    // Only MP3 files say whether their bit rate varies.
    if (j.contains("variable_bitrate"))
        std::printf("frames      %u (%s bit rate)\n", j["frames"].get<unsigned>(),
                    j["variable_bitrate"].get<bool>() ? "variable" : "constant");
    else if (j.contains("frames"))
        std::printf("frames      %u\n", j["frames"].get<unsigned>());
    if (kind == "wma") {
        std::printf("header      none (WMA files carry no dictation header)\n");
        return;
    }
    if (j.contains("encrypted")) std::printf("encrypted   %s\n", j["encrypted"].get<bool>() ? "yes" : "no");
    if (j.contains("header_blocks")) std::printf("headers     %u block(s)\n", j["header_blocks"].get<unsigned>());
    const unsigned cls = j["zrm2_class"].get<unsigned>();
    std::printf("dictation   %s%s\n", zrm2_class_words(cls), raw ? (" (zrm2 class " + std::to_string(cls) + ")").c_str() : "");
    if (j["header"].is_null()) {
        std::printf("header      none (%s)\n", describe_result(j["header_result"].get<uint32_t>()).c_str());
    } else {
        const auto& h = j["header"];
        std::printf("header\n");
        if (raw) std::printf("  licensee id      %u\n", h["licensee_id"].get<unsigned>());
        const std::string author = h["header1_text"].get<std::string>();
        if (!author.empty()) std::printf("  author           %s\n", author.c_str());
        std::printf("  recorded from    %s\n", when(h, "record_start_date", "record_start_time").c_str());
        std::printf("  recorded until   %s\n", when(h, "record_end_date", "record_end_time").c_str());
        std::printf("  length           %s (%u ms)\n", iso_time(h["length_hhmmss"].get<std::string>()).empty()
                                                           ? "not set"
                                                           : iso_time(h["length_hhmmss"].get<std::string>()).c_str(),
                    h["length_ms"].get<unsigned>());
        std::printf("  mode             %s\n", dss_mode_words(h["compression_id"].get<unsigned>()).c_str());
        std::printf("  downloaded       %s\n", when(h, "download_date", "download_time").c_str());
        if (raw) std::printf("  header 2 version %u\n", h["header2_version"].get<unsigned>());
        int i = 1;
        for (const auto& t : h["texts"]) {
            if (!t.get<std::string>().empty()) std::printf("  text %-2d          %s\n", i, t.get<std::string>().c_str());
            ++i;
        }
    }
    if (j["markers"].is_null()) {
        std::printf("markers     none (%s)\n", describe_result(j["markers_result"].get<uint32_t>()).c_str());
    } else {
        std::printf("markers     %zu\n", j["markers"].size());
        int i = 1;
        for (const auto& m : j["markers"])
            std::printf("  %2d  %s-%s\n", i++, offset_text(m["start_ms"].get<uint32_t>()).c_str(),
                        offset_text(m["end_ms"].get<uint32_t>()).c_str());
    }
    if (j.contains("compression_id") && j["compression_id"].get<unsigned>() == 4)
        std::printf("note        ffmpeg plays long play (the standard-play codec at the 8000 clock) 1.5 times too "
                    "fast; convert it with orvkt to hear it right\n");
}

}  // namespace

void register_info(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("info", "Kind, format, length, encryption, dictation header and markers of a file");
    struct Args {
        std::string file;
        bool json = false, raw = false;
    };
    auto a = std::make_shared<Args>();
    cmd->add_option("FILE", a->file, "DSS, DS2, WAV, MP3 or WMA file")->required();
    cmd->add_flag("--json", a->json, "Print one JSON object (with the internal labels and codes)");
    cmd->add_flag("--raw", a->raw, "Show the internal labels as well (compression id, wave format record, zrm2 class)");
    cmd->callback([a, &ctx] {
        nlohmann::json j;
        j["file"] = a->file;
        uint32_t r = 0;
        if (!check_source(ctx, a->file)) return;
        if (is_wma(a->file)) {
            j["kind"] = "wma";
            r = wma_audio(a->file, &j);
            if (report_result(ctx, {"info", a->file, "", {}}, r) != 0) return;
            if (a->json) {
                std::printf("%s\n", j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
            } else {
                print_text(a->file, j, a->raw);
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
        if (report_result(ctx, {"info", a->file, "", {}}, r) != 0) return;
        uint32_t cls = 0;
        if (ORVKTIsValidZRM2File(a->file.c_str(), &cls) != 0) cls = 0;
        j["zrm2_class"] = cls;
        ZRM2HeaderInfo h{};
        h.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        uint32_t hr = ORVKTReadZRM2Header(a->file.c_str(), &h);
        j["header_result"] = hr;
        j["header"] = hr == 0 ? header_to_json(h) : nlohmann::json(nullptr);
        if (j.contains("compression_id")) j["mode"] = dss_mode_words(j["compression_id"].get<unsigned>());
        uint8_t markers[256];
        uint32_t mr = ORVKTReadSpokenInstructionMarkers(a->file.c_str(), markers);
        j["markers_result"] = mr;
        j["markers"] = mr == 0 ? markers_to_json(markers_from_array(markers)) : nlohmann::json(nullptr);
        if (a->json) {
            std::printf("%s\n", j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        } else {
            print_text(a->file, j, a->raw);
        }
    });
}

}  // namespace orvkt_cli
