#include "support/test_support.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace orvkt_test {

TempDir::TempDir() {
    dir_ = (fs::temp_directory_path() / "orvkt-test-XXXXXX").string();
    if (!::mkdtemp(dir_.data())) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files made by tests must not keep the folder alive.
    for (const auto& e : fs::recursive_directory_iterator(dir_, ec))
        fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
}

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool file_exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

std::string data_path(const std::string& name) { return std::string(ORVKT_TEST_DATA_DIR) + "/" + name; }

CommandResult run_command(const std::string& command, bool merge_stderr) {
    CommandResult r;
    std::string cmd = command + (merge_stderr ? " 2>&1" : " 2>/dev/null");
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
    int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string shell_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

bool have_program(const std::string& name) {
    return run_command("command -v " + shell_quote(name) + " >/dev/null").status == 0;
}

std::vector<int16_t> speech_samples(const std::string& text, int rate, const std::string& voice) {
    static std::mutex mutex;
    static std::map<std::string, std::vector<int16_t>> cache;
    std::string key = text + "|" + std::to_string(rate) + "|" + voice;
    std::lock_guard lock(mutex);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    if (!have_program("espeak-ng") || !have_program("sox")) return {};
    TempDir tmp;
    std::string wav = tmp.path("speech.wav");
    std::string raw = tmp.path("speech.raw");
    auto made = run_command("espeak-ng -v " + shell_quote(voice) + " -w " + shell_quote(wav) + " " +
                            shell_quote(text));
    if (made.status != 0) return {};
    // -D: no dither, so that the samples are the same in every run.
    auto conv = run_command("sox -D " + shell_quote(wav) + " -t raw -e signed -b 16 -c 1 -r " +
                            std::to_string(rate) + " " + shell_quote(raw));
    if (conv.status != 0) return {};
    auto bytes = read_bytes(raw);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    cache[key] = samples;
    return samples;
}

}  // namespace orvkt_test
