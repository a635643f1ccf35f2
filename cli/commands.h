// The subcommands of orvkt. Each lives in its own cmd_*.cpp and registers
// itself with the app; main.cpp calls the registrars in the order of --help.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>

namespace orvkt_cli {

struct Context {
    bool quiet = false;   // no progress line and no summary line
    bool force = false;   // -f/--force of the subcommand: replace existing destinations
    uint32_t result = 0;  // exit status: the result code of the operation (the first failure's)
};

// Adds -f/--force to a subcommand that writes new files.
inline void add_force_flag(CLI::App* cmd, Context& ctx) {
    cmd->add_flag("-f,--force", ctx.force, "Replace a destination that exists already (never the source itself)");
}

void register_convert(CLI::App& app, Context& ctx);
void register_header_block(CLI::App& app, Context& ctx);
void register_copy(CLI::App& app, Context& ctx);
void register_delete(CLI::App& app, Context& ctx);
void register_info(CLI::App& app, Context& ctx);
void register_header(CLI::App& app, Context& ctx);
void register_markers(CLI::App& app, Context& ctx);
void register_separate(CLI::App& app, Context& ctx);
void register_stereo(CLI::App& app, Context& ctx);
void register_template(CLI::App& app, Context& ctx);
void register_encryption(CLI::App& app, Context& ctx);
void register_split(CLI::App& app, Context& ctx);
void register_join(CLI::App& app, Context& ctx);
void register_repair_index(CLI::App& app, Context& ctx);

}  // namespace orvkt_cli
