// orvkt convert as a person runs it: batch work on several threads.
#include <gtest/gtest.h>

#include "convert/conv_files.h"

using namespace conv_test;
using namespace orvkt_test;

namespace {
std::string cli() { return shell_quote(ORVKT_CLI) + " -q "; }
std::string q(const std::string& s) { return shell_quote(s); }
}  // namespace

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

