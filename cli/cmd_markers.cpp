// orvkt markers get FILE [--json] | markers set FILE START-END... | markers extract SRC DST
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "dictation_text.h"
#include "dss_info.h"
#include "report.h"

namespace orvkt_cli {

namespace {

// The recording's length in milliseconds; 0 when it has no audio (a
// template) or its length cannot be told.
uint32_t recording_length(const std::string& path) {
    const std::string ext = lower_extension(path);
    if (ext == ".dss" || ext == ".ds2") {
        nlohmann::json j;
        return dss_audio(path, &j) == 0 && j.contains("length_ms") ? j["length_ms"].get<uint32_t>() : 0;
    }
    uint32_t ms = 0;
    return ORVKTWAVGetSndDataLength(path.c_str(), &ms) == VKT_OK ? ms : 0;
}

}  // namespace

void register_markers(CLI::App& app, Context& ctx) {
    auto* markers = app.add_subcommand("markers", "Read, write or extract the spoken-instruction markers");
    markers->require_subcommand(1);

    auto* get = markers->add_subcommand("get", "Print the markers of a DSS, DS2, WAV or MP3 file (as 'markers set' takes them)");
    struct GetArgs {
        std::string file;
        bool json = false;
    };
    auto g = std::make_shared<GetArgs>();
    get->add_option("FILE", g->file, "File")->required();
    get->add_flag("--json", g->json, "Print JSON (milliseconds)");
    get->callback([g, &ctx] {
        if (!check_source(ctx, g->file)) return;
        uint8_t array[256];
        if (report_result(ctx, {"markers get", g->file, "", {}}, ORVKTReadSpokenInstructionMarkers(g->file.c_str(), array)))
            return;
        auto list = markers_from_array(array);
        if (g->json) {
            std::printf("%s\n", markers_to_json(list).dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
            return;
        }
        int i = 1;
        for (const auto& m : list)
            std::printf("%2d  %s-%s\n", i++, offset_text(m.start).c_str(), offset_text(m.end).c_str());
        if (list.empty()) std::printf("no markers\n");
    });

    auto* set = markers->add_subcommand("set", "Replace the markers of a file (spoken instructions, START-END each)");
    struct SetArgs {
        std::string file;
        std::vector<std::string> ranges;
    };
    auto s = std::make_shared<SetArgs>();
    set->add_option("FILE", s->file, "DSS, DS2, WAV or MP3 file")->required();
    set->add_option("RANGE", s->ranges,
                    "START-END, at most 32, within the recording; each end as 5s, 5.25s, 1:05, 1:02:03, 5000ms or "
                    "plain milliseconds (5s-8s, 1:05-1:08, 5000ms-8000ms); none clears the markers");
    set->callback([s, &ctx] {
        if (!check_source(ctx, s->file)) return;
        const uint32_t length = recording_length(s->file);
        std::vector<Marker> list;
        for (const auto& r : s->ranges) {
            const auto dash = r.find('-');
            Marker m{};
            if (dash == std::string::npos || !parse_offset(r.substr(0, dash), m.start) ||
                !parse_offset(r.substr(dash + 1), m.end)) {
                fail(ctx, r, "expected START-END, e.g. 5s-8s, 1:05-1:08 or 5000ms-8000ms", VKT_ERR_INVALID_PARAM);
                return;
            }
            if (m.start > m.end) {
                fail(ctx, r, "ends before it starts", VKT_ERR_INVALID_PARAM);
                return;
            }
            // A recording without audio (a template) takes markers for the
            // recording to come.
            if (length > 0 && m.end > length) {
                fail(ctx, r, "ends after the end of the recording (" + offset_text(length) + ")",
                     VKT_ERR_INVALID_PARAM);
                return;
            }
            list.push_back(m);
        }
        if (list.size() > VKT_SPOKEN_INSTRUCTION_MARKERS) {
            fail(ctx, s->file, "takes at most 32 markers", VKT_ERR_INVALID_PARAM);
            return;
        }
        uint8_t array[256];
        markers_to_array(list, array);
        if (report_result(ctx, {"markers set", s->file, "", {}}, ORVKTWriteSpokenInstructionMarkers(s->file.c_str(), array)) == 0)
            say(ctx, "wrote " + std::to_string(list.size()) + " marker(s) into " + s->file);
    });

    auto* extract = markers->add_subcommand("extract", "Copy the markers of SRC into DST (a new WAV carrier when DST does not exist)");
    auto names = std::make_shared<std::pair<std::string, std::string>>();
    extract->add_option("SRC", names->first, "Source file")->required();
    extract->add_option("DST", names->second, "Destination file")->required();
    extract->callback([names, &ctx] {
        if (!check_source(ctx, names->first)) return;
        if (!file_exists(names->second) && !check_destination(ctx, names->second, false)) return;
        const uint32_t r = ORVKTExtractSpokenInstructionMarkers(names->first.c_str(), names->second.c_str());
        if (report_result(ctx, {"markers extract", names->first, names->second, {}}, r) == 0)
            say(ctx, "copied the markers of " + names->first + " into " + names->second);
    });
}

}  // namespace orvkt_cli
