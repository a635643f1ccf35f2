// orvkt header-block FILE: header block 1 of a DSS/DS2 file as a hex view.
#include <cstdio>
#include <string>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "report.h"

namespace orvkt_cli {

namespace {

void print_hex(const uint8_t* bytes, size_t n) {
    for (size_t row = 0; row < n; row += 16) {
        std::printf("%04zx ", row);
        for (size_t i = row; i < row + 16; ++i) std::printf(" %02x", bytes[i]);
        std::printf("  ");
        for (size_t i = row; i < row + 16; ++i) {
            unsigned char c = bytes[i];
            std::putchar(c >= 0x20 && c < 0x7F ? c : '.');
        }
        std::putchar('\n');
    }
}

}  // namespace

void register_header_block(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("header-block", "Show header block 1 of a DSS/DS2 file as hex");
    auto file = std::make_shared<std::string>();
    cmd->add_option("FILE", *file, "DSS or DS2 file")->required();
    cmd->callback([file, &ctx] {
        if (!check_source(ctx, *file)) return;
        uint8_t header[512];
        if (report_result(ctx, {"header-block", *file, "", {}}, ORVKTReadDSSHeader(file->c_str(), header)) != 0) return;
        print_hex(header, sizeof header);
    });
}

}  // namespace orvkt_cli
