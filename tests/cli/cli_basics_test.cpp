// orvkt as a user runs it: version, help, mistakes, Ctrl-C, no silent overwrite.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli_session.h"
#include "convert/conv_files.h"

using namespace orvkt_test;
using cli_test::run_session;

namespace {
std::string cli() { return shell_quote(ORVKT_CLI); }

void write_tone(const std::string& path, uint32_t rate, uint32_t seconds) {
    conv_test::write_pcm16_wav(path, conv_test::sine(440, rate, rate * seconds), rate);
}
}  // namespace

// One line naming the file and the reason with the code, the code as exit status, nothing written.
TEST(Cli, MistakesNameTheFileAndTheReason) {
    TempDir tmp;
    auto p = [&](const std::string& n) { return shell_quote(tmp.path(n)); };
    write_tone(tmp.path("memo.wav"), 8000, 2);
    ASSERT_EQ(run_command(cli() + " -q convert " + p("memo.wav") + " " + p("memo.dss")).status, 0);
    ASSERT_EQ(run_command(cli() + " -q template " + p("t.ds2") + " --mode qp").status, 0);
    write_bytes(tmp.path("fake.wav"), read_bytes(tmp.path("memo.dss")));
    write_bytes(tmp.path("lp.dss"), read_bytes(data_path("speech_lp.dss")));
    write_bytes(tmp.path("exists.wav"), {1, 2, 3});
    write_bytes(tmp.path("short"), {'a', 'b', '\n'});
    write_bytes(tmp.path("pw"), {'a', 'b', 'c', 'd', 'e', '\n'});
    struct Case {
        std::string args;     // after "orvkt", names relative to the folder
        std::string message;  // "FILE: reason" as printed
        int status;
    };
    const Case cases[] = {
        {"convert memo.wav nodir/x.dss", "nodir/x.dss: the folder nodir does not exist", 13},
        {"copy memo.wav exists.wav", "exists.wav: exists already; add -f", 37},
        {"join j3.dss memo.dss nosuch.dss", "nosuch.dss: no such file", 13},
        {"convert nosuch.mp3 x.wav", "nosuch.mp3: no such file", 13},
        {"convert nosuch.wav x.dss", "nosuch.wav: no such file", 13},
        {"convert memo.wav q.dss --format qp", "q.dss: quality play needs a .ds2 destination", 10},
        {"encrypt memo.dss e.dss --password-file pw", "e.dss: an encrypted copy must be a .ds2 file", 36},
        {"convert fake.wav out.dss", "fake.wav: is a DSS file named .wav: rename it to fake.dss", 16},
        {"split memo.wav -l 1", "memo.wav: split takes DSS, DS2 or MP3 recordings", 14},
        {"join j.dss memo.dss lp.dss",
         "lp.dss: is recorded in long play (G.723.1), the first source in standard play; join needs recordings of "
         "one mode",
         18},
        {"convert memo.wav x.mp4", "x.mp4: convert writes .wav, .dss and .ds2 files", 13},
        {"convert memo.dss x.mp3", "x.mp3: convert writes .wav, .dss and .ds2 files", 13},
        {"convert memo.dss memo.dss", "memo.dss: is the source itself", 10},
        {"convert -f memo.dss ./memo.dss --format lp", "./memo.dss: is the source itself", 10},
        {"convert memo.wav same.wav", "same.wav: would have the source's format", 23},
        {"encrypt memo.dss e.ds2 --password-file short", "short: the password is too short", 44},
        {"header set t.ds2 --text 1=\xF0\x9F\x98\x80", "the character '\xF0\x9F\x98\x80' (U+1F600) has no Windows-1252 form", 36},
        {"header set t.ds2 --header1-text 12345678901234567", "is 17 characters long; at most 16 fit", 36},
        {"header set t.ds2 --start-date 2026-13-01", "--start-date 2026-13-01: expected a date as YYMMDD or 2026-12-04", 36},
        {"markers set memo.wav 1s-3s", "1s-3s: ends after the end of the recording (2s)", 36},
        {"markers set memo.wav 5", "5: expected START-END", 36},
    };
    const auto before = tmp.entries();
    const auto memo = read_bytes(tmp.path("memo.dss"));
    for (const auto& c : cases) {
        auto r = run_command("cd " + shell_quote(tmp.dir()) + " && " + cli() + " " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find("(code " + std::to_string(c.status) + ")\n"), std::string::npos) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << "one line: " << r.output;
        EXPECT_EQ(tmp.entries(), before) << c.args << " left or removed a file";
    }
    EXPECT_EQ(read_bytes(tmp.path("memo.dss")), memo);
    EXPECT_EQ(read_bytes(tmp.path("exists.wav")), (std::vector<uint8_t>{1, 2, 3}));
    // Command lines that cannot be parsed: 64.
    for (const char* args : {"bogus", "convert", "convert a.wav b.dss --format xx", "split memo.dss -l"})
        EXPECT_EQ(run_command(cli() + " " + args).status, 64) << args;
}

TEST(Cli, InterruptCancelsAndCleansUp) {
    TempDir tmp;
    write_tone(tmp.path("long.wav"), 16000, 600);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(ORVKT_CLI, "orvkt", "-q", "convert", tmp.path("long.wav").c_str(), tmp.path("long.ds2").c_str(),
              "--format", "qp", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 1000 && tmp.entries().size() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(tmp.entries().size(), 2u) << "the conversion never started writing";
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"long.wav"});
}

TEST(Cli, Session) {
    TempDir tmp;
    write_tone(tmp.path("memo.wav"), 8000, 70);
    write_bytes(tmp.path("old.dss"), {7, 7, 7});
    run_session(tmp, {
        {"orvkt --version", 0, "orvkt 1."},
        {"orvkt --help", 0, "header-block"},
        {"orvkt --help", 0, "--trace"},
        {"orvkt markers set memo.wav 1s-2.5s 3000ms-4000ms 1:05-1:08.25 100-200", 0, ""},
        {"orvkt markers get memo.wav", 0, " 1  1s-2.5s\n 2  3s-4s\n 3  1:05-1:08.25\n 4  0.1s-0.2s\n"},
        {"orvkt -q template t.ds2", 0, ""},
        {"orvkt header set t.ds2 --start-date 2026-12-04 --start-time 14:03:00 --end-date 261205 --text 2=Kardiologie",
         0, ""},
        {"orvkt info t.ds2", 0, "recorded from    2026-12-04 14:03:00\n", "GRUNDIG"},  // internal labels only with --raw
        {"orvkt info t.ds2", 0, "recorded until   2026-12-05\n"},
        {"orvkt info t.ds2", 0, "mode        standard play\n"},
        {"orvkt info --raw t.ds2", 0, "GRUNDIG"},
        {"orvkt convert memo.wav old.dss", 37, ""},
        {"orvkt convert memo.wav old.dss -f", 0, "memo.wav -> "},  // the summary line
        {"orvkt --trace t.log header-block t.ds2", 0, "0000  03 64 73 32"},
    });
    const auto log = read_bytes(tmp.path("t.log"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("+ORVKTReadDSSHeader"), std::string::npos);
    run_session(tmp, {
        {"orvkt copy memo.wav c.wav && orvkt copy --force memo.wav old.dss", 0, ""},
        {"orvkt delete c.wav t.log", 0, ""},
    });
    EXPECT_EQ(read_bytes(tmp.path("old.dss")), read_bytes(tmp.path("memo.wav")));
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"memo.wav", "old.dss", "t.ds2"}));
}
