// orvkt header get FILE [--json] | header set FILE [fields] | header copy SRC DST
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "dictation_text.h"
#include "report.h"

namespace orvkt_cli {

void register_header(CLI::App& app, Context& ctx) {
    auto* header = app.add_subcommand("header", "Read, change or copy the dictation header");
    header->require_subcommand(1);

    auto* get = header->add_subcommand("get", "Print the dictation header of a DSS, DS2, WAV or MP3 file");
    struct GetArgs {
        std::string file;
        bool json = false;
    };
    auto g = std::make_shared<GetArgs>();
    get->add_option("FILE", g->file, "File")->required();
    get->add_flag("--json", g->json, "Print JSON");
    get->callback([g, &ctx] {
        if (!check_source(ctx, g->file)) return;
        ZRM2HeaderInfo h{};
        h.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        if (report_result(ctx, {"header get", g->file, "", {}}, ORVKTReadZRM2Header(g->file.c_str(), &h)) != 0) return;
        if (g->json) std::printf("%s\n", header_to_json(h).dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        else print_header(h);
    });

    auto* set = header->add_subcommand("set", "Change fields of the dictation header (our own family of files only)");
    struct SetArgs {
        std::string file;
        std::map<std::string, std::string> values;
        std::vector<std::string> texts;
        int64_t length_ms = -1;
    };
    auto s = std::make_shared<SetArgs>();
    set->add_option("FILE", s->file, "File")->required();
    static const std::pair<const char*, const char*> kFields[] = {
        {"header1-text", "Header 1 text (the author or device name): at most 16 Windows-1252 characters"},
        {"start-date", "Recording start date: YYMMDD or 2026-12-04"},
        {"start-time", "Recording start time: HHMMSS or 14:03:00"},
        {"end-date", "Recording end date: YYMMDD or 2026-12-04"},
        {"end-time", "Recording end time: HHMMSS or 14:03:00"},
        {"length", "Recording length: HHMMSS or 00:05:30"},
        {"download-date", "Date the recording was downloaded from the recorder: YYMMDD or 2026-12-04"},
        {"download-time", "Time the recording was downloaded: HHMMSS or 14:03:00"},
    };
    for (const auto& [name, help] : kFields) {
        const std::string key = name;
        set->add_option_function<std::string>(std::string("--") + name,
                                              [s, key](const std::string& v) { s->values[key] = v; }, help);
    }
    set->add_option("--text", s->texts,
                    "N=TEXT: text field N (1 to 13: work type, comments, patient or case data as the practice uses "
                    "them), at most 30 Windows-1252 characters; may be repeated");
    set->add_option("--length-ms", s->length_ms, "Recording length in milliseconds (header 2)");
    set->callback([s, &ctx] {
        if (!check_source(ctx, s->file)) return;
        ZRM2HeaderInfo h{};
        h.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        if (report_result(ctx, {"header set", s->file, "", {}}, ORVKTReadZRM2Header(s->file.c_str(), &h)) != 0) return;
        bool ok = true;
        auto bad = [&](const std::string& what, const std::string& why) {
            fail(ctx, what, why, VKT_ERR_INVALID_PARAM);
            ok = false;
        };
        for (const auto& [name, v] : s->values) {
            const std::string what = "--" + name + " " + v;
            std::string digits;
            if (name == "header1-text") {
                if (std::string problem = ansi_field_problem(v, 16); !problem.empty()) bad(what, problem);
                else utf8_to_ansi_field(v, h.achH1Text, 16);
                continue;
            }
            const bool is_date = name.find("date") != std::string::npos;
            if (is_date ? !parse_date(v, digits) : !parse_time(v, digits)) {
                bad(what, is_date ? "expected a date as YYMMDD or 2026-12-04" : "expected a time as HHMMSS or 14:03:00");
                continue;
            }
            char* field = name == "start-date"      ? h.achRecStartDate
                          : name == "start-time"    ? h.achRecStartTime
                          : name == "end-date"      ? h.achRecEndDate
                          : name == "end-time"      ? h.achRecEndTime
                          : name == "length"        ? h.achLength
                          : name == "download-date" ? h.achH2Field22
                                                    : h.achH2Field28;
            std::memcpy(field, digits.data(), 6);
        }
        for (const auto& t : s->texts) {
            const auto eq = t.find('=');
            const std::string number = eq == std::string::npos ? "" : t.substr(0, eq);
            const int n = number.empty() || number.size() > 2 || number.find_first_not_of("0123456789") != std::string::npos
                              ? 0
                              : std::stoi(number);
            char* field = n >= 1 && n <= 11 ? h.aachText[n - 1] : n == 12 ? h.achTextExt1 : n == 13 ? h.achTextExt2 : nullptr;
            if (!field) {
                bad("--text " + t, "expected N=TEXT with N from 1 to 13");
                continue;
            }
            if (std::string problem = ansi_field_problem(t.substr(eq + 1), 30); !problem.empty()) {
                bad("--text " + t, "text " + number + " " + problem);
                continue;
            }
            utf8_to_ansi_field(t.substr(eq + 1), field, 30);
        }
        if (s->length_ms >= 0) h.dwLengthMs = static_cast<uint32_t>(s->length_ms);
        if (!ok) return;
        if (report_result(ctx, {"header set", s->file, "", {}}, ORVKTWriteZRM2Header(s->file.c_str(), &h)) == 0)
            say(ctx, "wrote the dictation header of " + s->file);
    });

    auto* copy = header->add_subcommand("copy", "Copy the dictation header (blocks 1, 2) and markers to another file");
    struct CopyArgs {
        std::string src, dst;
        bool no_markers = false, markers_only = false;
    };
    auto c = std::make_shared<CopyArgs>();
    copy->add_option("SRC", c->src, "Source file")->required();
    copy->add_option("DST", c->dst, "Destination file")->required();
    copy->add_flag("--no-markers", c->no_markers, "Copy headers 1 and 2 only");
    copy->add_flag("--markers-only", c->markers_only, "Copy the markers only");
    copy->callback([c, &ctx] {
        if (!check_source(ctx, c->src) || !check_source(ctx, c->dst)) return;
        const uint32_t r =
            ORVKTCopyDSSHeaders(c->src.c_str(), c->dst.c_str(), c->markers_only ? 0 : 1, c->no_markers ? 0 : 1);
        if (report_result(ctx, {"header copy", c->src, c->dst, {}}, r) == 0)
            say(ctx, "copied the header of " + c->src + " into " + c->dst);
    });
}

}  // namespace orvkt_cli
