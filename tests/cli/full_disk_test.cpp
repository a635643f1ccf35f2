// A real full disk: a small tmpfs in a private mount namespace (skipped where none is allowed).
#include <sys/stat.h>

#include "support/dss_bytes.h"
#include "support/test_support.h"

using namespace edit_test;
using namespace orvkt_test;

namespace {

std::string q(const std::string& s) { return shell_quote(s); }

class FullDisk : public ::testing::Test {
protected:
    TempDir tmp;
    std::string disk = tmp.path("disk");
    void SetUp() override {
        if (!have_program("unshare") || run_command("unshare -rm true").status != 0)
            GTEST_SKIP() << "no private mount namespace on this machine";
        ::mkdir(disk.c_str(), 0755);
    }
    // The exit status, then one "name size" line per file left on the disk.
    CommandResult on_small_disk(unsigned kib, const std::string& args) {
        const std::string script = "mount -t tmpfs -o size=" + std::to_string(kib) + "k tmpfs " + q(disk) +
                                   " || exit 99; " + q(ORVKT_CLI) + " -q " + args +
                                   " >/dev/null 2>&1; echo status=$?; cd " + q(disk) +
                                   " && for f in *; do [ -e \"$f\" ] && echo \"$f $(stat -c %s \"$f\")\"; done";
        return run_command("unshare -rm sh -c " + q(script), false);
    }
};

Recording two_minutes() {
    Recording r;
    r.frames = random_frames(5000, 41, 5);
    return r;
}

}  // namespace

TEST_F(FullDisk, SplitKeepsTheFinishedPieceAndRemovesTheOpenOne) {
    write_bytes(tmp.path("rec.dss"), build(two_minutes()));
    // A one-minute piece is 3 + 203 blocks (105472 bytes); 160 KiB hold one and a part.
    auto r = on_small_disk(160, "split " + q(tmp.path("rec.dss")) + " -l 60 -o " + q(disk));
    ASSERT_NE(r.output.find("status="), std::string::npos) << r.output;
    EXPECT_EQ(r.output, "status=15\nrec_001.dss 105472\n");
}

TEST_F(FullDisk, JoinKeepsWhatItWroteAndRepairRemovesItsDestination) {
    write_bytes(tmp.path("rec.dss"), build(two_minutes()));
    auto j = on_small_disk(64, "join " + q(disk + "/joined.dss") + " " + q(tmp.path("rec.dss")));
    EXPECT_EQ(j.output.substr(0, j.output.find('\n')), "status=15") << j.output;
    EXPECT_NE(j.output.find("joined.dss"), std::string::npos) << "a failed join keeps its destination";
    auto r = on_small_disk(64, "repair-index " + q(tmp.path("rec.dss")) + " " + q(disk + "/fixed.dss"));
    EXPECT_EQ(r.output, "status=15\n");
    // The copy sees the shortage before it writes.
    auto c = on_small_disk(64, "copy " + q(tmp.path("rec.dss")) + " " + q(disk + "/copy.dss"));
    EXPECT_EQ(c.output, "status=43\n");
    EXPECT_EQ(read_bytes(tmp.path("rec.dss")), build(two_minutes()));
}
