// orvkt convert as a person runs it: the operation by the extensions, the
// wanted format, batch work on several threads, exit status = result code.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "OrvaneVktapi.h"
#include "convert/conv_files.h"
#include "codecs/sp_quality.h"
#include "support/test_support.h"

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

// Standard play by default, long play (id 4) with --format lp; ffmpeg
// decodes the standard-play file to the speech that went in.
TEST(CliConvert, WavToDssInBothStandardPlayClocks) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const auto pcm = orvkt_test::speech_samples(kSpeechText, 12000);
    ASSERT_FALSE(pcm.empty());
    const std::string wav = tmp.path("x.wav");
    write_pcm16_wav(wav, pcm, 12000);
    auto r = run_command(cli() + "convert " + q(wav) + " " + q(tmp.path("y.dss")));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(dss_facts(tmp.path("y.dss")).block_id, 0);
    r = run_command(cli() + "convert " + q(wav) + " " + q(tmp.path("z.dss")) + " --format lp");
    ASSERT_EQ(r.status, 0) << r.output;
    const DssFacts lp = dss_facts(tmp.path("z.dss"));
    EXPECT_EQ(lp.block_id, 4);
    EXPECT_EQ(lp.header2_id, 4);
    EXPECT_EQ(lp.headers, 3u);

    if (orvkt_test::have_program("ffmpeg")) {
        const std::string raw = tmp.path("y.raw");
        r = run_command("ffmpeg -nostdin -v error -i " + q(tmp.path("y.dss")) + " -f s16le -y " + q(raw));
        ASSERT_EQ(r.status, 0) << r.output;
        const Bytes b = read_bytes(raw);
        std::vector<int16_t> decoded(b.size() / 2);
        std::memcpy(decoded.data(), b.data(), decoded.size() * 2);
        decoded.resize(pcm.size() / 288 * 264);
        const auto ref = sp_quality::resample(sp_quality::to_float(pcm), 12, 11, sp_quality::kDecoderDelay);
        EXPECT_GE(sp_quality::measure(ref, sp_quality::to_float(decoded), 11000).correlation, 0.9);
    }
}

// Back to WAV: the decoder's rate by default, --rate and --format pcm8 on
// request; the line printed names the format and length.
TEST(CliConvert, DssToWavWithFormatOptions) {
    TempDir tmp;
    const std::string dss = tmp.path("lp.dss");
    write_bytes(dss, read_bytes(data_path("speech_lp.dss")));
    auto r = run_command(shell_quote(ORVKT_CLI) + " convert " + q(dss) + " " + q(tmp.path("a.wav")), false);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("PCM 16-bit mono 8000 Hz, 5.550 s"), std::string::npos) << r.output;
    r = run_command(cli() + "convert " + q(dss) + " " + q(tmp.path("b.wav")) + " --format pcm8 --rate 22050");
    ASSERT_EQ(r.status, 0) << r.output;
    const ParsedWav b = parse_wav(tmp.path("b.wav"));
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(b.format.nSamplesPerSec, 22050u);
    EXPECT_EQ(b.format.wBitsPerSample, 8);
    // DSS to DSS and WAV to WAV by the extensions.
    r = run_command(cli() + "convert " + q(dss) + " " + q(tmp.path("c.ds2")) + " --format qp");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(dss_facts(tmp.path("c.ds2")).block_id, 6);
    r = run_command(cli() + "convert " + q(tmp.path("a.wav")) + " " + q(tmp.path("d.wav")) + " --rate 16000");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(parse_wav(tmp.path("d.wav")).format.nSamplesPerSec, 16000u);
}

// Several sources into a folder, converted on several threads: each
// result as the single conversion gives it.
TEST(CliConvert, BatchOnSeveralThreads) {
    TempDir tmp;
    const std::string in = tmp.path("in"), out = tmp.path("out");
    ASSERT_EQ(run_command("mkdir " + q(in) + " " + q(out)).status, 0);
    std::string sources;
    for (int i = 0; i < 5; ++i) {
        const std::string wav = in + "/memo" + std::to_string(i) + ".wav";
        write_pcm16_wav(wav, sine(300 + 100 * i, 16000, 16000 + 4000 * i), 16000);
        sources += " " + q(wav);
    }
    auto r = run_command(cli() + "convert" + sources + " --out-dir " + q(out) + " --format qp --jobs 3");
    ASSERT_EQ(r.status, 0) << r.output;
    for (int i = 0; i < 5; ++i) {
        const std::string name = out + "/memo" + std::to_string(i) + ".ds2";
        ASSERT_TRUE(orvkt_test::file_exists(name)) << name;
        const DssFacts f = dss_facts(name);
        EXPECT_EQ(f.block_id, 6);
        EXPECT_NEAR(f.frames * 0.016, 1.0 + 0.25 * i, 0.02);
    }
    // And back, into WAV files at 8000 Hz.
    std::string dss_sources;
    for (int i = 0; i < 5; ++i) dss_sources += " " + q(out + "/memo" + std::to_string(i) + ".ds2");
    r = run_command(cli() + "convert" + dss_sources + " --out-dir " + q(in) + " --to wav --rate 8000 -j 4 -f");
    ASSERT_EQ(r.status, 0) << r.output;
    for (int i = 0; i < 5; ++i) {
        const ParsedWav w = parse_wav(in + "/memo" + std::to_string(i) + ".wav");
        ASSERT_TRUE(w.ok);
        EXPECT_EQ(w.format.nSamplesPerSec, 8000u);
        EXPECT_NEAR(dominant_frequency(w.samples(), 8000, 1000), 300 + 100 * i, 20);
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
    TempDir tmp;
    const Bytes data = samples_to_bytes(sine(440, 16000, 16384));
    struct Source {
        const char* name;
        uint32_t avg_bytes;
        uint32_t fmt_size;  // 0: the normal 16
        uint32_t result;
    };
    const Source sources[] = {
        {"rate7fffffff.wav", 0x7FFFFFFFu, 0, VKT_OK},
        {"ratefffffff0.wav", 0xFFFFFFF0u, 0, VKT_OK},
        {"fmtfffffff0.wav", 32000, 0xFFFFFFF0u, VKT_ERR_INVALID_WAVFMT},
        {"fmtffffffff.wav", 32000, 0xFFFFFFFFu, VKT_ERR_INVALID_WAVFMT},
    };
    struct Target {
        const char* name;
        const char* options;
    };
    const Target targets[] = {{"out.wav", "--rate 8000"}, {"out.ds2", "--format qp"}, {"out.dss", "--format sp"}};
    for (const Source& s : sources) {
        Bytes file = wav_bytes(pcm_format(16000), data);
        std::memcpy(file.data() + 28, &s.avg_bytes, 4);
        if (s.fmt_size) std::memcpy(file.data() + 16, &s.fmt_size, 4);
        write_bytes(tmp.path(s.name), file);
        for (const Target& t : targets) {
            SCOPED_TRACE(std::string(s.name) + " to " + t.name);
            const std::string command = shell_quote(ORVKT_CLI) + " -q convert " +
                                        shell_quote(tmp.path(s.name)) + " " +
                                        shell_quote(tmp.path(t.name)) + " " + t.options + " >/dev/null 2>&1";
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
            if (!ORVKT_SANITIZED) {
                EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak memory in KiB";
            }
            std::vector<std::string> expected = {s.name};
            if (s.result == VKT_OK) expected.push_back(t.name);
            std::vector<std::string> left = tmp.entries();
            for (const Source& other : sources) std::erase(left, std::string(other.name));
            std::erase(expected, std::string(s.name));
            EXPECT_EQ(left, expected) << "nothing but the destination";
            std::remove(tmp.path(t.name).c_str());
        }
    }
}
