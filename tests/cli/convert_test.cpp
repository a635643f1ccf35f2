// orvkt convert as a person runs it: the operation by the extensions, the
// wanted format, batch work on several threads, exit status = result code.
#include <gtest/gtest.h>

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
