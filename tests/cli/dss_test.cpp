// orvkt template / encrypt / decrypt / check-password / is-encrypted as a
// user runs them, with passwords from a file, from standard input and typed
// on a terminal.
#include <gtest/gtest.h>

#include "support/dss_bytes.h"
#include "support/test_support.h"

using namespace orvkt_test;
using dss_test::Bytes;

namespace {

std::string cli() { return shell_quote(ORVKT_CLI); }
std::string q(const std::string& s) { return shell_quote(s); }

// Runs orvkt on a terminal that answers each prompt with the next answer.
CommandResult on_terminal(const std::string& answers, const std::string& args) {
    return run_command("/usr/bin/python3 " + q(std::string(ORVKT_SOURCE_DIR) + "/tests/dss/tty_answer.py") + " " +
                       q(answers) + " " + cli() + " " + args);
}

class DssCli : public ::testing::Test {
protected:
    TempDir tmp;
    std::string p(const std::string& name) const { return tmp.path(name); }

    // A small standard-play recording of our own family.
    void recording(const std::string& path) {
        edit_test::Recording r;
        r.self_id = "ds2";
        r.frames = edit_test::random_frames(60, 41, 1);
        write_bytes(path, edit_test::build(r));
    }
};

}  // namespace

TEST_F(DssCli, TemplateModes) {
    auto r = run_command(cli() + " template " + q(p("sp.dss")));
    EXPECT_EQ(r.status, 0) << r.output;
    Bytes sp = read_bytes(p("sp.dss"));
    ASSERT_EQ(sp.size(), 1536u);
    EXPECT_EQ(sp[512 + 16], 0);
    EXPECT_EQ(run_command(cli() + " template " + q(p("lp.dss")) + " --mode lp").status, 0);
    EXPECT_EQ(read_bytes(p("lp.dss"))[512 + 16], 4);
    EXPECT_EQ(run_command(cli() + " template " + q(p("id.ds2")) + " --mode 7").status, 0);
    EXPECT_EQ(read_bytes(p("id.ds2"))[512 + 16], 7);
    auto bad = run_command(cli() + " template " + q(p("x.dss")) + " --mode fast");
    EXPECT_EQ(bad.status, 36);
    EXPECT_NE(bad.output.find("unknown mode"), std::string::npos) << bad.output;
    auto wav = run_command(cli() + " template " + q(p("x.wav")));
    EXPECT_EQ(wav.status, 14);
    EXPECT_NE(wav.output.find("x.wav: a template is a .dss or .ds2 file (code 14)"), std::string::npos) << wav.output;
}

TEST_F(DssCli, ProtectedTemplateTypedOnATerminalIsNotEchoed) {
    auto r = on_terminal("Ter-minal9,Ter-minal9", "template " + q(p("t.ds2")) + " --password --mode qp");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Password for"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Repeat the password"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Ter-minal9"), std::string::npos) << "the password was echoed: " << r.output;
    Bytes t = read_bytes(p("t.ds2"));
    EXPECT_EQ(std::string(t.begin() + 1, t.begin() + 4), "enc");
    EXPECT_EQ(t[512 + 16], 6);

    auto check = on_terminal("Ter-minal9", "check-password " + q(p("t.ds2")));
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_NE(check.output.find("password accepted"), std::string::npos);

    auto differ = on_terminal("abcdef,abcdeg", "template " + q(p("u.ds2")) + " --password");
    EXPECT_EQ(differ.status, 44);
    EXPECT_NE(differ.output.find("the passwords differ"), std::string::npos) << differ.output;
    EXPECT_FALSE(file_exists(p("u.ds2")));
}

TEST_F(DssCli, EncryptDecryptAndCheckWithPasswordFileAndStdin) {
    recording(p("plain.ds2"));
    write_bytes(p("pw.txt"), {'l', 'e', 't', '-', 'm', 'e', '-', 'i', 'n', '\n'});
    auto enc = run_command(cli() + " encrypt " + q(p("plain.ds2")) + " " + q(p("e.ds2")) + " --password-file " +
                           q(p("pw.txt")));
    ASSERT_EQ(enc.status, 0) << enc.output;

    auto is = run_command(cli() + " is-encrypted " + q(p("e.ds2")), false);
    EXPECT_EQ(is.status, 0);
    EXPECT_NE(is.output.find(": encrypted"), std::string::npos) << is.output;
    auto is_not = run_command(cli() + " is-encrypted " + q(p("plain.ds2")), false);
    EXPECT_NE(is_not.output.find("not encrypted"), std::string::npos) << is_not.output;

    auto right = run_command("printf 'let-me-in\\n' | " + cli() + " check-password " + q(p("e.ds2")) +
                             " --password-stdin");
    EXPECT_EQ(right.status, 0) << right.output;
    auto wrong = run_command("printf 'let-me-out\\n' | " + cli() + " check-password " + q(p("e.ds2")) +
                             " --password-stdin");
    EXPECT_EQ(wrong.status, 44);
    EXPECT_NE(wrong.output.find("e.ds2: wrong password (code 44)"), std::string::npos) << wrong.output;

    auto dec = run_command("printf 'let-me-in' | " + cli() + " decrypt " + q(p("e.ds2")) + " " + q(p("d.ds2")) +
                           " --password-stdin");
    ASSERT_EQ(dec.status, 0) << dec.output;
    EXPECT_EQ(read_bytes(p("d.ds2")).size(), read_bytes(p("plain.ds2")).size());
}

TEST_F(DssCli, PasswordsAreNeverTakenFromTheCommandLine) {
    recording(p("plain.ds2"));
    // No terminal and no password source: refused, nothing written.
    auto r = run_command(cli() + " encrypt " + q(p("plain.ds2")) + " " + q(p("e.ds2")) + " < /dev/null");
    EXPECT_EQ(r.status, 44);
    EXPECT_NE(r.output.find("--password-file"), std::string::npos) << r.output;
    EXPECT_FALSE(file_exists(p("e.ds2")));
    auto plain = run_command(cli() + " encrypt " + q(p("plain.ds2")) + " " + q(p("e.ds2")) + " --password abcd");
    EXPECT_NE(plain.status, 0);
    EXPECT_FALSE(file_exists(p("e.ds2")));
    auto missing = run_command(cli() + " decrypt " + q(p("plain.ds2")) + " " + q(p("d.ds2")) + " --password-file " +
                               q(p("nope.txt")));
    EXPECT_EQ(missing.status, 44);
    EXPECT_NE(missing.output.find("cannot read the password file"), std::string::npos) << missing.output;
}
