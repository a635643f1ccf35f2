#include "password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>

namespace orvkt_cli {

namespace {

// The terminal settings to put back if the user interrupts the prompt.
struct termios g_saved_tty;
volatile sig_atomic_t g_tty_fd = -1;

void restore_and_reraise(int signal_number) {
    if (g_tty_fd >= 0) tcsetattr(g_tty_fd, TCSADRAIN, &g_saved_tty);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void strip_line_end(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

// One line from the terminal with echo off. False when there is no terminal.
bool ask(int fd, const std::string& prompt, std::string& line) {
    struct termios quiet;
    if (tcgetattr(fd, &g_saved_tty) != 0) return false;
    quiet = g_saved_tty;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    g_tty_fd = fd;
    auto old_int = std::signal(SIGINT, restore_and_reraise);
    auto old_term = std::signal(SIGTERM, restore_and_reraise);
    // Echo goes off before the prompt shows, so nothing typed after it is echoed.
    bool ok = tcsetattr(fd, TCSADRAIN, &quiet) == 0 && write(fd, prompt.data(), prompt.size()) >= 0;
    line.clear();
    char c = 0;
    while (ok) {
        ssize_t n = read(fd, &c, 1);
        if (n <= 0 || c == '\n') break;
        line.push_back(c);
    }
    tcsetattr(fd, TCSADRAIN, &g_saved_tty);
    g_tty_fd = -1;
    std::signal(SIGINT, old_int);
    std::signal(SIGTERM, old_term);
    strip_line_end(line);
    return ok;
}

}  // namespace

void add_password_options(CLI::App* cmd, PasswordSource& source) {
    auto* file = cmd->add_option("--password-file", source.file,
                                 "Read the password (4 to 16 characters) from the first line of FILE");
    auto* in = cmd->add_flag("--password-stdin", source.from_stdin,
                             "Read the password (4 to 16 characters) from the first line of standard input");
    file->excludes(in);
}

namespace {

bool read_password_text(const PasswordSource& source, const std::string& prompt, bool confirm,
                        std::string& password, std::string& error) {
    password.clear();
    if (!source.file.empty()) {
        std::ifstream in(source.file);
        if (!in) {
            error = "cannot read the password file " + source.file;
            return false;
        }
        std::getline(in, password);
        strip_line_end(password);
        return true;
    }
    if (source.from_stdin) {
        if (!std::getline(std::cin, password) && password.empty()) {
            error = "no password on standard input";
            return false;
        }
        strip_line_end(password);
        return true;
    }
    int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = "no terminal to ask for the password; use --password-file or --password-stdin";
        return false;
    }
    bool ok = ask(fd, prompt, password);
    if (ok && confirm) {
        std::string again;
        ok = ask(fd, "Repeat the password: ", again);
        if (ok && again != password) {
            close(fd);
            std::memset(again.data(), 0, again.size());
            error = "the passwords differ";
            password.clear();
            return false;
        }
        std::memset(again.data(), 0, again.size());
    }
    close(fd);
    if (!ok) error = "cannot ask for the password on the terminal";
    return ok;
}

}  // namespace

bool read_password(const PasswordSource& source, const std::string& prompt, bool confirm, std::string& password,
                   std::string& error) {
    if (!read_password_text(source, prompt, confirm, password, error)) return false;
    // The library takes 4 to 16 characters; anything else could never be right.
    if (password.size() < 4 || password.size() > 16) {
        error = std::string("the password is too ") + (password.size() < 4 ? "short" : "long") + " (" +
                std::to_string(password.size()) + " characters; passwords have 4 to 16)";
        std::memset(password.data(), 0, password.size());
        password.clear();
        return false;
    }
    return true;
}

}  // namespace orvkt_cli
