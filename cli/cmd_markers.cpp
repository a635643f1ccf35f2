// orvkt markers get FILE [--json] | markers set FILE START-END... | markers extract SRC DST
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "dictation_text.h"
#include "report.h"

namespace orvkt_cli {

void register_markers(CLI::App& app, Context& ctx) {
    auto* markers = app.add_subcommand("markers", "Read, write or extract the spoken-instruction markers");
    markers->require_subcommand(1);

    auto* get = markers->add_subcommand("get", "Print the markers of a DSS, DS2, WAV or MP3 file");
    struct GetArgs {
        std::string file;
        bool json = false;
    };
    auto g = std::make_shared<GetArgs>();
    get->add_option("FILE", g->file, "File")->required();
    get->add_flag("--json", g->json, "Print JSON");
    get->callback([g, &ctx] {
        uint8_t array[256];
        ctx.result = ORVKTReadSpokenInstructionMarkers(g->file.c_str(), array);
        if (report_failure(g->file, ctx.result) != 0) return;
        auto list = markers_from_array(array);
        if (g->json) {
            std::printf("%s\n", markers_to_json(list).dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
            return;
        }
        int i = 1;
        for (const auto& m : list) std::printf("%2d  %s .. %s\n", i++, ms_text(m.start).c_str(), ms_text(m.end).c_str());
        if (list.empty()) std::printf("no markers\n");
    });

    auto* set = markers->add_subcommand("set", "Replace the markers (instructions as START-END in milliseconds)");
    struct SetArgs {
        std::string file;
        std::vector<std::string> ranges;
    };
    auto s = std::make_shared<SetArgs>();
    set->add_option("FILE", s->file, "File")->required();
    set->add_option("RANGE", s->ranges, "START-END in ms, at most 32; none clears the markers");
    set->callback([s, &ctx] {
        std::vector<Marker> list;
        for (const auto& r : s->ranges) {
            unsigned long a = 0, b = 0;
            char tail = 0;
            if (std::sscanf(r.c_str(), "%lu-%lu%c", &a, &b, &tail) != 2 || a > b || b >= 0xFFFFFFFFul) {
                std::fprintf(stderr, "orvkt: '%s' is not START-END in milliseconds\n", r.c_str());
                ctx.result = VKT_ERR_INVALID_PARAM;
                return;
            }
            list.push_back({static_cast<uint32_t>(a), static_cast<uint32_t>(b)});
        }
        if (list.size() > 32) {
            std::fprintf(stderr, "orvkt: at most 32 markers\n");
            ctx.result = VKT_ERR_INVALID_PARAM;
            return;
        }
        uint8_t array[256];
        markers_to_array(list, array);
        ctx.result = ORVKTWriteSpokenInstructionMarkers(s->file.c_str(), array);
        report_failure(s->file, ctx.result);
    });

    auto* extract = markers->add_subcommand("extract", "Copy the markers of SRC into DST (a new WAV carrier when DST does not exist)");
    auto names = std::make_shared<std::pair<std::string, std::string>>();
    extract->add_option("SRC", names->first, "Source file")->required();
    extract->add_option("DST", names->second, "Destination file")->required();
    extract->callback([names, &ctx] {
        ctx.result = ORVKTExtractSpokenInstructionMarkers(names->first.c_str(), names->second.c_str());
        report_failure(names->second, ctx.result);
    });
}

}  // namespace orvkt_cli
