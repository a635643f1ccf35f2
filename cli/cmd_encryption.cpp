// orvkt encrypt SRC DST / decrypt SRC DST / check-password FILE /
// is-encrypted FILE: password-protected DS2 files.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "password.h"
#include "report.h"

namespace orvkt_cli {

namespace {

struct TwoFiles {
    std::string src, dst;
    PasswordSource password;
};

// Reads the password or reports why there is none (VKT_ERR_PASSWORD).
bool get_password(const PasswordSource& source, const std::string& file, bool confirm, std::string& password,
                  Context& ctx) {
    std::string error;
    if (read_password(source, "Password for " + file + ": ", confirm, password, error)) return true;
    fail(ctx, source.file.empty() ? file : source.file, error, VKT_ERR_PASSWORD);
    return false;
}

void forget(std::string& password) { std::memset(password.data(), 0, password.size()); }

}  // namespace

void register_encryption(CLI::App& app, Context& ctx) {
    {
        auto* cmd = app.add_subcommand("encrypt", "Write a password-protected copy of a DSS/DS2 file (to .ds2)");
        auto a = std::make_shared<TwoFiles>();
        cmd->add_option("SRC", a->src, "Plain DSS or DS2 file of our own family (licensee 3)")->required();
        cmd->add_option("DST", a->dst, "Encrypted copy (.ds2)")->required();
        add_password_options(cmd, a->password);
        add_force_flag(cmd, ctx);
        cmd->callback([a, &ctx] {
            if (!check_source(ctx, a->src)) return;
            if (lower_extension(a->dst) != ".ds2") {
                fail(ctx, a->dst, "an encrypted copy must be a .ds2 file", VKT_ERR_INVALID_PARAM);
                return;
            }
            if (!check_destination(ctx, a->dst, ctx.force, {a->src})) return;
            std::string password;
            if (!get_password(a->password, a->dst, true, password, ctx)) return;
            const uint32_t r = ORVKTEncryptDSSFile(a->src.c_str(), a->dst.c_str(), password.c_str());
            forget(password);
            if (report_result(ctx, {"encrypt", a->src, a->dst, {}}, r) == 0)
                say(ctx, "encrypted " + a->src + " -> " + a->dst);
        });
    }
    {
        auto* cmd = app.add_subcommand("decrypt", "Write a decrypted copy of a password-protected DS2 file");
        auto a = std::make_shared<TwoFiles>();
        cmd->add_option("SRC", a->src, "Encrypted DS2 file")->required();
        cmd->add_option("DST", a->dst, "Plain copy (.ds2, or .dss unless quality play)")->required();
        add_password_options(cmd, a->password);
        add_force_flag(cmd, ctx);
        cmd->callback([a, &ctx] {
            if (!check_source(ctx, a->src) || !check_destination(ctx, a->dst, ctx.force, {a->src})) return;
            std::string password;
            if (!get_password(a->password, a->src, false, password, ctx)) return;
            const uint32_t r = ORVKTDecryptDSSFile(a->src.c_str(), a->dst.c_str(), password.c_str());
            forget(password);
            if (report_result(ctx, {"decrypt", a->src, a->dst, {}}, r) == 0)
                say(ctx, "decrypted " + a->src + " -> " + a->dst);
        });
    }
    {
        auto* cmd = app.add_subcommand("check-password", "Check a password against an encrypted DS2 file");
        auto a = std::make_shared<TwoFiles>();
        cmd->add_option("FILE", a->src, "Encrypted DS2 file")->required();
        add_password_options(cmd, a->password);
        cmd->callback([a, &ctx] {
            if (!check_source(ctx, a->src)) return;
            std::string password;
            if (!get_password(a->password, a->src, false, password, ctx)) return;
            const uint32_t r = ORVKTCheckDSSFilePassword(a->src.c_str(), password.c_str());
            forget(password);
            if (report_result(ctx, {"check-password", a->src, "", {}}, r) == 0)
                std::printf("%s: password accepted\n", a->src.c_str());
        });
    }
    {
        auto* cmd = app.add_subcommand("is-encrypted", "Tell whether a DSS/DS2 file is password-protected");
        auto file = std::make_shared<std::string>();
        cmd->add_option("FILE", *file, "DSS or DS2 file")->required();
        cmd->callback([file, &ctx] {
            if (!check_source(ctx, *file)) return;
            uint32_t encrypted = 0;
            const uint32_t r = ORVKTIsEncryptedDSSFile(file->c_str(), &encrypted);
            if (report_result(ctx, {"is-encrypted", *file, "", {}}, r) == 0)
                std::printf("%s: %s\n", file->c_str(), encrypted ? "encrypted" : "not encrypted");
        });
    }
}

}  // namespace orvkt_cli
