// orvkt split, join and repair-index as a user runs them.
#include <sys/stat.h>

#include "support/dss_bytes.h"
#include "support/test_support.h"

using namespace edit_test;
using namespace orvkt_test;

namespace {

std::string cli() { return shell_quote(ORVKT_CLI); }
std::string q(const std::string& s) { return shell_quote(s); }

class EditCli : public ::testing::Test {
protected:
    TempDir tmp;
    std::string p(const std::string& name) const { return tmp.path(name); }
    Recording rec(size_t frames, uint32_t seed) {
        Recording r;
        r.frames = random_frames(frames, 41, seed);
        return r;
    }
};

}  // namespace

TEST_F(EditCli, SplitNamesThePiecesAndJoinPutsThemBack) {
    Recording r = rec(5000, 1);  // 120 s
    r.markers = {{10000, 70000}};
    write_bytes(p("memo.dss"), build(r));
    auto s = run_command(cli() + " split " + q(p("memo.dss")) + " --length 50", false);
    ASSERT_EQ(s.status, 0) << s.output;
    EXPECT_EQ(s.output, "split " + p("memo.dss") + " into 3 piece(s):\n" + p("memo_001.dss") + "\n" +
                            p("memo_002.dss") + "\n" + p("memo_003.dss") + "\n");
    // 50 s is frame 2084 (50016 ms), 100 s frame 4167 (100008 ms).
    EXPECT_EQ(frames_of(read_bytes(p("memo_002.dss")), 41), slice(r.frames, 2084, 4167));
    EXPECT_EQ(markers_of(read_bytes(p("memo_002.dss"))), (std::vector<Marker>{{0, 70000 - 50016}}));

    ::mkdir(p("parts").c_str(), 0755);
    s = run_command(cli() + " -q split " + q(p("memo.dss")) + " -l 60 --overlap 10 -n 2 -o " + q(p("parts")) +
                        " -m 'take-%d.ds2'",
                    false);
    ASSERT_EQ(s.status, 0) << s.output;
    EXPECT_EQ(s.output, p("parts/take-1.ds2") + "\n" + p("parts/take-2.ds2") + "\n") << "-q keeps the names only";
    EXPECT_TRUE(file_exists(p("parts/take-1.ds2")) && file_exists(p("parts/take-2.ds2")));
    // The pieces exist now: a second split is refused without -f.
    s = run_command(cli() + " -q split " + q(p("memo.dss")) + " -l 60 --overlap 10 -n 2 -o " + q(p("parts")) +
                    " -m 'take-%d.ds2'");
    EXPECT_EQ(s.status, 37) << s.output;
    EXPECT_NE(s.output.find("take-1.ds2: exists already"), std::string::npos) << s.output;
    EXPECT_EQ(frames_of(read_bytes(p("parts/take-2.ds2")), 41), slice(r.frames, 2084, 5000));

    auto j = run_command(cli() + " -q join " + q(p("whole.dss")) + " " + q(p("memo_001.dss")) + " " +
                         q(p("memo_002.dss")) + " " + q(p("memo_003.dss")));
    ASSERT_EQ(j.status, 0) << j.output;
    EXPECT_EQ(frames_of(read_bytes(p("whole.dss")), 41), r.frames);

    auto bad = run_command(cli() + " join " + q(p("x.dss")) + " " + q(p("a?b.dss")));
    EXPECT_EQ(bad.status, 13);
    EXPECT_NE(bad.output.find("'?'"), std::string::npos) << bad.output;
    bad = run_command(cli() + " split " + q(p("memo.dss")) + " --length 0");
    EXPECT_NE(bad.status, 0);
    bad = run_command(cli() + " split " + q(p("memo.dss")) + " --length 20 --mask 'x%s.dss'");
    EXPECT_EQ(bad.status, 10) << bad.output;
}

TEST_F(EditCli, EncryptedSourceTakesThePasswordFromAFile) {
    Recording r = rec(2500, 2);
    r.self_id = "ds2";
    write_bytes(p("plain.ds2"), build(r));
    write_bytes(p("pw"), {'s', 'e', 'c', 'r', 'e', 't', '\n'});
    ASSERT_EQ(run_command(cli() + " encrypt " + q(p("plain.ds2")) + " " + q(p("enc.ds2")) + " --password-file " +
                          q(p("pw")))
                  .status,
              0);
    auto s = run_command(cli() + " -q split " + q(p("enc.ds2")) + " -l 30 --password-file " + q(p("pw")), false);
    ASSERT_EQ(s.status, 0) << s.output;
    ASSERT_EQ(run_command(cli() + " decrypt " + q(p("enc_002.ds2")) + " " + q(p("dec.ds2")) + " --password-file " +
                          q(p("pw")))
                  .status,
              0);
    EXPECT_EQ(frames_of(read_bytes(p("dec.ds2")), 41), slice(r.frames, 1250, 2500));
    // Without a terminal and without a password source there is no password.
    auto none = run_command(cli() + " split -f " + q(p("enc.ds2")) + " -l 30 < /dev/null");
    EXPECT_EQ(none.status, 44) << none.output;
}

TEST_F(EditCli, RepairIndex) {
    Recording r = rec(600, 3);
    r.markers = {{2400, 3000}};  // frame 100, byte 4100: data block 8 (from 4048), first frame there 99
    write_bytes(p("rec.dss"), build(r));
    auto s = run_command(cli() + " repair-index " + q(p("rec.dss")) + " " + q(p("fixed.dss")));
    ASSERT_EQ(s.status, 0) << s.output;
    const Bytes fixed = read_bytes(p("fixed.dss"));
    EXPECT_EQ(dss_test::get16(fixed, 86), 3 + 8);
    EXPECT_EQ(fixed[88], 1);
    EXPECT_TRUE(all_ff(fixed, 89, 326));
    auto bad = run_command(cli() + " repair-index " + q(p("rec.dss")) + " " + q(p("fixed.wav")));
    EXPECT_EQ(bad.status, 10);
}
