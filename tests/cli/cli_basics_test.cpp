// orvkt as a user runs it: version, help, exit status = result code.
#include "support/test_support.h"

using namespace orvkt_test;

namespace {
std::string cli() { return shell_quote(ORVKT_CLI); }
}  // namespace

TEST(Cli, VersionAndHelp) {
    auto v = run_command(cli() + " --version");
    EXPECT_EQ(v.status, 0);
    EXPECT_NE(v.output.find("orvkt 1."), std::string::npos) << v.output;
    auto h = run_command(cli() + " --help");
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.output.find("header-block"), std::string::npos) << h.output;
    EXPECT_NE(h.output.find("--trace"), std::string::npos);
}

TEST(Cli, HeaderBlockShowsTheBytesAsHex) {
    TempDir tmp;
    std::vector<uint8_t> header(512, 0xFF);
    header[0] = 2;
    header[1] = 'd';
    header[2] = 's';
    header[3] = 's';
    write_bytes(tmp.path("x.dss"), header);
    auto r = run_command(cli() + " header-block " + shell_quote(tmp.path("x.dss")), false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind("0000  02 64 73 73 ff", 0), 0u) << r.output;
    EXPECT_NE(r.output.find("01f0  ff ff"), std::string::npos);
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 32);
}

TEST(Cli, ExitStatusIsTheResultCodeWithItsMessage) {
    TempDir tmp;
    auto r = run_command(cli() + " header-block " + shell_quote(tmp.path("missing.dss")));
    EXPECT_EQ(r.status, 14);
    EXPECT_NE(r.output.find("14 file cannot be opened"), std::string::npos) << r.output;
}

TEST(Cli, TraceOptionWritesTheLog) {
    TempDir tmp;
    auto r = run_command(cli() + " --trace " + shell_quote(tmp.path("t.log")) + " header-block " +
                         shell_quote(tmp.path("missing.dss")));
    EXPECT_EQ(r.status, 14);
    auto log = read_bytes(tmp.path("t.log"));
    std::string text(log.begin(), log.end());
    EXPECT_NE(text.find("+ORVKTReadDSSHeader"), std::string::npos) << text;
}

TEST(Cli, CopyThenDeleteWithResultCodes) {
    TempDir tmp;
    write_bytes(tmp.path("a.wav"), std::vector<uint8_t>(3000, 7));
    auto c = run_command(cli() + " copy " + shell_quote(tmp.path("a.wav")) + " " + shell_quote(tmp.path("b.wav")));
    EXPECT_EQ(c.status, 0) << c.output;
    EXPECT_EQ(read_bytes(tmp.path("b.wav")), read_bytes(tmp.path("a.wav")));
    auto again = run_command(cli() + " copy " + shell_quote(tmp.path("a.wav")) + " " + shell_quote(tmp.path("b.wav")));
    EXPECT_EQ(again.status, 37) << again.output;
    auto d = run_command(cli() + " delete " + shell_quote(tmp.path("a.wav")) + " " + shell_quote(tmp.path("b.wav")));
    EXPECT_EQ(d.status, 0) << d.output;
    EXPECT_TRUE(tmp.entries().empty());
}
