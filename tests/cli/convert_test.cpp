// orvkt convert as a person runs it: the operation by the extensions, the
// wanted format, batch work on several threads, exit status = result code.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "convert/conv_files.h"

using namespace conv_test;
using orvkt_test::data_path;
using orvkt_test::read_bytes;
using orvkt_test::run_command;
using orvkt_test::shell_quote;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {
std::string cli() { return shell_quote(ORVKT_CLI) + " -q "; }
std::string q(const std::string& s) { return shell_quote(s); }
}  // namespace

// The operation by the extensions; standard play by default, long play
// (id 4) with --format lp, quality play with --format qp; back to WAV at the
// decoder's rate, or --rate and --format pcm8; the line printed names the
// format and length.
TEST(CliConvert, OperationAndFormatFromTheArguments) {
    TempDir tmp;
    const std::string dss = data_path("speech_lp.dss"), wav = tmp.path("x.wav");
    write_pcm16_wav(wav, sine(440, 12000, 12000), 12000);
    auto r = run_command(shell_quote(ORVKT_CLI) + " convert " + q(dss) + " " + q(tmp.path("a.wav")), false);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("PCM 16-bit mono 8000 Hz, 5.550 s"), std::string::npos) << r.output;
    const struct {
        std::string src;
        const char *dst, *options;
        uint32_t rate;
        uint16_t bits;  // WAV destinations
        uint8_t id;     // DSS destinations
    } rows[] = {
        {wav, "y.dss", "", 0, 0, 0},
        {wav, "z.dss", "--format lp", 0, 0, 4},
        {dss, "c.ds2", "--format qp", 0, 0, 6},
        {dss, "b.wav", "--format pcm8 --rate 22050", 22050, 8, 0},
        {tmp.path("a.wav"), "d.wav", "--rate 16000", 16000, 16, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.dst);
        r = run_command(cli() + "convert " + q(row.src) + " " + q(tmp.path(row.dst)) + " " + row.options);
        ASSERT_EQ(r.status, 0) << r.output;
        if (row.rate) {
            const ParsedWav w = parse_wav(tmp.path(row.dst));
            EXPECT_EQ(w.format.nSamplesPerSec, row.rate);
            EXPECT_EQ(w.format.wBitsPerSample, row.bits);
        } else {
            EXPECT_EQ(dss_facts(tmp.path(row.dst)).block_id, row.id);
        }
    }
}

// Several sources into a folder, converted on several threads: each result
// under its own name, as the single conversion gives it.
TEST(CliConvert, BatchOnSeveralThreads) {
    TempDir tmp;
    const std::string in = tmp.path("in"), out = tmp.path("out");
    ASSERT_EQ(run_command("mkdir " + q(in) + " " + q(out)).status, 0);
    std::string sources, back;
    for (int i = 0; i < 5; ++i) {
        const std::string wav = in + "/memo" + std::to_string(i) + ".wav";
        write_pcm16_wav(wav, sine(300 + 100 * i, 16000, 16000 + 4000 * i), 16000);
        sources += " " + q(wav);
        back += " " + q(out + "/memo" + std::to_string(i) + ".ds2");
    }
    auto r = run_command(cli() + "convert" + sources + " --out-dir " + q(out) + " --format qp --jobs 3");
    ASSERT_EQ(r.status, 0) << r.output;
    // And back, into WAV files at 8000 Hz.
    r = run_command(cli() + "convert" + back + " --out-dir " + q(in) + " --to wav --rate 8000 -j 4 -f");
    ASSERT_EQ(r.status, 0) << r.output;
    for (int i = 0; i < 5; ++i) {
        const DssFacts f = dss_facts(out + "/memo" + std::to_string(i) + ".ds2");
        EXPECT_EQ(f.block_id, 6);
        EXPECT_NEAR(f.frames * 0.016, 1.0 + 0.25 * i, 0.02);
        const ParsedWav w = parse_wav(in + "/memo" + std::to_string(i) + ".wav");
        EXPECT_EQ(w.format.nSamplesPerSec, 8000u);
        EXPECT_NEAR(w.data.size() / 16000.0, 1.0 + 0.25 * i, 0.02);
    }
}

// Hostile format fields, through the command-line tool in a process of its
// own: a declared byte rate of 0x7FFFFFFF or 0xFFFFFFF0 in a 32 KiB PCM
// file, and fmt chunks that claim 4 GiB. Each conversion ends with success
// (what the file holds is converted) or a clear result code, leaves no
// temporary file, and never holds 64 MiB. (Without sanitizers the tool also
// runs under an address-space limit, so that a regression fails quickly
// instead of taking the machine's memory.)
TEST(WavSources, HostileFormatFieldsNeitherCrashNorSizeTheMemory) {
    TempDir src, out;
    const Bytes data = samples_to_bytes(sine(440, 16000, 16384));
    const struct {
        const char* name;
        uint32_t avg_bytes;
        uint32_t fmt_size;  // 0: the normal 16
        uint32_t result;
    } sources[] = {
        {"rate7fffffff.wav", 0x7FFFFFFFu, 0, VKT_OK},
        {"ratefffffff0.wav", 0xFFFFFFF0u, 0, VKT_OK},
        {"fmtfffffff0.wav", 32000, 0xFFFFFFF0u, VKT_ERR_INVALID_WAVFMT},
        {"fmtffffffff.wav", 32000, 0xFFFFFFFFu, VKT_ERR_INVALID_WAVFMT},
    };
    for (const auto& s : sources) {
        Bytes file = wav_bytes(pcm_format(16000), data);
        std::memcpy(file.data() + 28, &s.avg_bytes, 4);
        if (s.fmt_size) std::memcpy(file.data() + 16, &s.fmt_size, 4);
        write_bytes(src.path(s.name), file);
        for (const auto& [name, options] : {std::pair{"out.wav", "--rate 8000"}, {"out.ds2", "--format qp"},
                                            {"out.dss", "--format sp"}}) {
            SCOPED_TRACE(std::string(s.name) + " to " + name);
            const std::string command = shell_quote(ORVKT_CLI) + " -q convert " + q(src.path(s.name)) + " " +
                                        q(out.path(name)) + " " + options + " >/dev/null 2>&1";
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                if (!ORVKT_SANITIZED) {
                    const rlimit limit{1u << 30, 1u << 30};
                    setrlimit(RLIMIT_AS, &limit);
                }
                execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            int status = 0;
            rusage usage{};
            ASSERT_EQ(wait4(child, &status, 0, &usage), child);
            ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
            EXPECT_EQ(static_cast<uint32_t>(WEXITSTATUS(status)), s.result);
            if (!ORVKT_SANITIZED) EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak memory in KiB";
            EXPECT_EQ(out.entries().size(), s.result == VKT_OK ? 1u : 0u) << "nothing but the destination";
            std::remove(out.path(name).c_str());
        }
    }
}
