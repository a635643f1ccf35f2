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

namespace {

// A six-digit field (YYMMDD, HHMMSS).
bool set_digits(const std::string& value, char* field) {
    if (value.size() != 6 || value.find_first_not_of("0123456789") != std::string::npos) return false;
    std::memcpy(field, value.data(), 6);
    return true;
}

}  // namespace

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
        ZRM2HeaderInfo h{};
        h.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        ctx.result = ORVKTReadZRM2Header(g->file.c_str(), &h);
        if (report_failure(g->file, ctx.result) != 0) return;
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
    for (const char* name : {"header1-text", "start-date", "start-time", "end-date", "end-time", "length",
                             "download-date", "download-time"}) {
        set->add_option_function<std::string>(std::string("--") + name,
                                              [s, name](const std::string& v) { s->values[name] = v; },
                                              std::string("New value of ") + name);
    }
    set->add_option("--text", s->texts, "N=VALUE: text field N (1 to 13) in UTF-8");
    set->add_option("--length-ms", s->length_ms, "Recording length in milliseconds (header 2)");
    set->callback([s, &ctx] {
        ZRM2HeaderInfo h{};
        h.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        ctx.result = ORVKTReadZRM2Header(s->file.c_str(), &h);
        if (report_failure(s->file, ctx.result) != 0) return;
        bool ok = true;
        for (const auto& [name, v] : s->values) {
            bool done = true;
            if (name == "header1-text") done = utf8_to_ansi_field(v, h.achH1Text, 16);
            else if (name == "start-date") done = set_digits(v, h.achRecStartDate);
            else if (name == "start-time") done = set_digits(v, h.achRecStartTime);
            else if (name == "end-date") done = set_digits(v, h.achRecEndDate);
            else if (name == "end-time") done = set_digits(v, h.achRecEndTime);
            else if (name == "length") done = set_digits(v, h.achLength);
            else if (name == "download-date") done = set_digits(v, h.achH2Field22);
            else if (name == "download-time") done = set_digits(v, h.achH2Field28);
            if (!done) {
                std::fprintf(stderr, "orvkt: --%s: invalid value '%s'\n", name.c_str(), v.c_str());
                ok = false;
            }
        }
        for (const auto& t : s->texts) {
            const auto eq = t.find('=');
            int n = eq == std::string::npos ? 0 : std::atoi(t.substr(0, eq).c_str());
            char* field = n >= 1 && n <= 11 ? h.aachText[n - 1] : n == 12 ? h.achTextExt1 : n == 13 ? h.achTextExt2 : nullptr;
            if (!field || !utf8_to_ansi_field(t.substr(eq + 1), field, 30)) {
                std::fprintf(stderr, "orvkt: --text %s: expected N=TEXT, N from 1 to 13, at most 30 characters\n",
                             t.c_str());
                ok = false;
            }
        }
        if (s->length_ms >= 0) h.dwLengthMs = static_cast<uint32_t>(s->length_ms);
        if (!ok) {
            ctx.result = VKT_ERR_INVALID_PARAM;
            return;
        }
        ctx.result = ORVKTWriteZRM2Header(s->file.c_str(), &h);
        report_failure(s->file, ctx.result);
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
        ctx.result = ORVKTCopyDSSHeaders(c->src.c_str(), c->dst.c_str(), c->markers_only ? 0 : 1, c->no_markers ? 0 : 1);
        report_failure(c->dst, ctx.result);
    });
}

}  // namespace orvkt_cli
