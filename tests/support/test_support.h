// Helpers shared by all test suites.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvkt_test {

// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> entries() const;

private:
    std::string dir_;
};

std::vector<uint8_t> read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool file_exists(const std::string& path);
// A file of the test data folder (tests/data).
std::string data_path(const std::string& name);

// Runs a shell command: its exit status and its stdout (and stderr if merged).
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult run_command(const std::string& command, bool merge_stderr = true);
// Quotes a string for the shell.
std::string shell_quote(const std::string& s);
bool have_program(const std::string& name);

// 16-bit mono espeak-ng speech at the given rate, cached per (text, voice, rate);
// empty when espeak-ng or sox is missing.
std::vector<int16_t> speech_samples(const std::string& text, int rate, const std::string& voice = "en");

}  // namespace orvkt_test

// A test needing an outside program is skipped without it, except in CI, where
// setup must have installed it.
#define ORVKT_REQUIRE_PROGRAM(name)                                                     \
    do {                                                                                \
        if (!::orvkt_test::have_program(name)) {                                        \
            const char* ci_ = std::getenv("CI");                                        \
            if (ci_ && std::string(ci_) == "true") FAIL() << "missing program " << name; \
            GTEST_SKIP() << "missing program " << name;                                 \
        }                                                                               \
    } while (0)
