// Passwords for subcommands that open or write protected DS2 files. A
// password never comes from the command line itself (it would show in the
// process list and the shell history): it is read from a file, from
// standard input, or asked for on the terminal without echo.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace orvkt_cli {

struct PasswordSource {
    std::string file;         // --password-file FILE: its first line
    bool from_stdin = false;  // --password-stdin: the first line of standard input
    bool given() const { return !file.empty() || from_stdin; }
};

// Adds --password-file and --password-stdin to a subcommand.
void add_password_options(CLI::App* cmd, PasswordSource& source);

// Reads the password from the source, or asks on the terminal ("prompt"),
// twice when confirm is set. False with a message in error when there is no
// password to be had.
bool read_password(const PasswordSource& source, const std::string& prompt, bool confirm, std::string& password,
                   std::string& error);

}  // namespace orvkt_cli
