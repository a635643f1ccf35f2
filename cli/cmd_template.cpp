// orvkt template FILE [--mode sp|lp|qp|ID] [--password]: an empty dictation
// file with three header blocks.
#include <memory>
#include <string>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "password.h"
#include "report.h"

namespace orvkt_cli {

namespace {

// Recording modes by name, or a compression identifier as a number.
bool parse_mode(const std::string& mode, uint8_t& id) {
    if (mode == "sp") id = 0;
    else if (mode == "lp") id = 4;
    else if (mode == "qp") id = 6;
    else {
        if (mode.empty() || mode.find_first_not_of("0123456789") != std::string::npos || mode.size() > 3) return false;
        int value = std::stoi(mode);
        if (value > 255) return false;
        id = static_cast<uint8_t>(value);
    }
    return true;
}

}  // namespace

void register_template(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("template", "Create an empty DSS/DS2 file (three header blocks, no audio)");
    struct Args {
        std::string file;
        std::string mode = "sp";
        bool protect = false;
        PasswordSource password;
    };
    auto a = std::make_shared<Args>();
    cmd->add_option("FILE", a->file, "Template to write (.dss or .ds2)")->required();
    cmd->add_option("--mode", a->mode,
                    "Recording mode: sp (standard play, id 0), lp (long play, id 4), qp (quality play, id 6, "
                    ".ds2 only) or a compression identifier 0-255 (stored unchecked)")
        ->capture_default_str();
    cmd->add_flag("--password", a->protect, "Protect the template with a password (4-16 characters, .ds2 only)");
    add_password_options(cmd, a->password);
    add_force_flag(cmd, ctx);
    cmd->callback([a, &ctx] {
        uint8_t id = 0;
        if (!parse_mode(a->mode, id)) {
            fail(ctx, "--mode " + a->mode, "unknown mode (sp, lp, qp or a compression id 0-255)", VKT_ERR_INVALID_PARAM);
            return;
        }
        if (lower_extension(a->file) != ".dss" && lower_extension(a->file) != ".ds2") {
            fail(ctx, a->file, "a template is a .dss or .ds2 file", VKT_ERR_OPEN_FILE);
            return;
        }
        if ((a->protect || a->password.given()) && lower_extension(a->file) != ".ds2") {
            fail(ctx, a->file, "a password-protected template must be a .ds2 file", VKT_ERR_INVALID_PARAM);
            return;
        }
        if (!check_destination(ctx, a->file, ctx.force)) return;
        std::string password;
        if (a->protect || a->password.given()) {
            std::string error;
            if (!read_password(a->password, "Password for " + a->file + ": ", true, password, error)) {
                fail(ctx, a->password.file.empty() ? a->file : a->password.file, error, VKT_ERR_PASSWORD);
                return;
            }
        }
        const bool protect = a->protect || a->password.given();
        const uint32_t r = ORVKTCreateDSSTemplate(a->file.c_str(), protect ? password.c_str() : nullptr, id);
        if (report_result(ctx, {"template", a->file, a->file, {}}, r) == 0)
            say(ctx, "wrote the template " + a->file + (protect ? " (password-protected)" : ""));
    });
}

}  // namespace orvkt_cli
