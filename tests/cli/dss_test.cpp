// Templates and passwords from a file, standard input or a terminal; never from the command line.
#include "cli_session.h"
#include "support/dss_bytes.h"

using namespace orvkt_test;
using cli_test::run_session;

TEST(DssCli, TemplatesAndPasswords) {
    TempDir tmp;
    edit_test::Recording r;
    r.self_id = "ds2";
    r.frames = edit_test::random_frames(60, 41, 1);
    write_bytes(tmp.path("plain.ds2"), edit_test::build(r));
    write_bytes(tmp.path("pw.txt"), {'l', 'e', 't', '-', 'm', 'e', '-', 'i', 'n', '\n'});
    const std::string tty = "/usr/bin/python3 " + shell_quote(std::string(ORVKT_SOURCE_DIR) + "/tests/dss/tty_answer.py");
    run_session(tmp, {
        {"orvkt template sp.dss", 0, ""},
        {"orvkt template lp.dss --mode lp", 0, ""},
        {"orvkt template id.ds2 --mode 7", 0, ""},
        {"orvkt template x.dss --mode fast", 36, "unknown mode"},
        {"orvkt template x.wav", 14, "x.wav: a template is a .dss or .ds2 file (code 14)"},
        {tty + " Ter-minal9,Ter-minal9 orvkt template t.ds2 --password --mode qp", 0, "Repeat the password",
         "Ter-minal9"},
        {tty + " Ter-minal9 orvkt check-password t.ds2", 0, "password accepted"},
        {tty + " abcdef,abcdeg orvkt template u.ds2 --password", 44, "the passwords differ"},
        {"orvkt encrypt plain.ds2 e.ds2 --password-file pw.txt", 0, ""},
        {"orvkt is-encrypted e.ds2", 0, ": encrypted"},
        {"orvkt is-encrypted plain.ds2", 0, "not encrypted"},
        {"printf 'let-me-in\\n' | orvkt check-password e.ds2 --password-stdin", 0, ""},
        {"printf 'let-me-out\\n' | orvkt check-password e.ds2 --password-stdin", 44, "e.ds2: wrong password (code 44)"},
        {"printf 'let-me-in' | orvkt decrypt e.ds2 d.ds2 --password-stdin", 0, ""},
        // No terminal and no password source; a password in the arguments.
        {"orvkt encrypt plain.ds2 n.ds2 < /dev/null", 44, "--password-file"},
        {"orvkt encrypt plain.ds2 n.ds2 --password abcd", 64, ""},
        {"orvkt decrypt plain.ds2 n.ds2 --password-file nope.txt", 44, "cannot read the password file"},
    });
    EXPECT_EQ(read_bytes(tmp.path("sp.dss")).size(), 1536u);
    for (const auto& [name, mode] : {std::pair{"sp.dss", 0}, {"lp.dss", 4}, {"id.ds2", 7}, {"t.ds2", 6}})
        EXPECT_EQ(read_bytes(tmp.path(name)).at(512 + 16), mode) << name;
    const auto t = read_bytes(tmp.path("t.ds2"));
    EXPECT_EQ(std::string(t.begin() + 1, t.begin() + 4), "enc");
    EXPECT_EQ(read_bytes(tmp.path("d.ds2")).size(), read_bytes(tmp.path("plain.ds2")).size());
    EXPECT_FALSE(file_exists(tmp.path("u.ds2")) || file_exists(tmp.path("n.ds2")));
}
