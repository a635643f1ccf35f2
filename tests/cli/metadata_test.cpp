// The orvkt subcommands for header, markers, separation and stereo files.
#include <nlohmann/json.hpp>

#include "OrvaneVktapi.h"
#include "support/test_support.h"

using namespace orvkt_test;

namespace {

CommandResult orvkt(const std::string& args) { return run_command(std::string(ORVKT_CLI) + " -q " + args, false); }

}  // namespace

TEST(CliMetadata, InfoJsonOfTheMutagenMp3) {
    auto r = orvkt("info --json " + shell_quote(data_path("dictation_v23.mp3")));
    ASSERT_EQ(r.status, 0) << r.output;
    auto j = nlohmann::json::parse(r.output);
    EXPECT_EQ(j["kind"], "mp3");
    EXPECT_EQ(j["zrm2_class"], 2);
    EXPECT_EQ(j["header"]["texts"][0], "Typist M\xC3\xBCller") << "UTF-8 for people and machines";
    EXPECT_EQ(j["header"]["compression_id"], 6);
    ASSERT_EQ(j["markers"].size(), 2u);
    EXPECT_EQ(j["markers"][1]["start_ms"], 5000);
    EXPECT_EQ(j["format"]["format_tag"], 0x55);
}

TEST(CliMetadata, MarkersAndHeaderRoundTripThroughAWavFile) {
    TempDir tmp;
    const std::string wav = tmp.path("c.wav");
    write_bytes(wav, read_bytes(data_path("ffmpeg_comment.wav")));
    ASSERT_EQ(orvkt("markers set " + shell_quote(wav) + " 100-200 300-450").status, 0);
    auto got = orvkt("markers get --json " + shell_quote(wav));
    ASSERT_EQ(got.status, 0);
    EXPECT_EQ(nlohmann::json::parse(got.output), nlohmann::json::parse(R"([{"start_ms":100,"end_ms":200},{"start_ms":300,"end_ms":450}])"));
    EXPECT_EQ(orvkt("markers set " + shell_quote(wav) + " 5-1").status, 36) << "end before start";

    EXPECT_EQ(orvkt("header get " + shell_quote(wav)).status, 38) << "a text comment is no dictation header";
    ASSERT_EQ(orvkt("header copy " + shell_quote(data_path("dictation_v24.mp3")) + " " + shell_quote(wav) + " --no-markers").status, 0);
    ASSERT_EQ(orvkt("header set " + shell_quote(wav) + " --text 2=Kardiologie --length-ms 5000").status, 0);
    auto h = orvkt("header get --json " + shell_quote(wav));
    ASSERT_EQ(h.status, 0);
    auto j = nlohmann::json::parse(h.output);
    EXPECT_EQ(j["texts"][1], "Kardiologie");
    EXPECT_EQ(j["length_ms"], 5000);
    EXPECT_EQ(orvkt("header set " + shell_quote(wav) + " --start-date 2501").status, 36);

    ASSERT_EQ(orvkt("separate " + shell_quote(wav) + " " + shell_quote(tmp.path("o.wav"))).status, 0);
    EXPECT_TRUE(file_exists(tmp.path("o.wav")));
    EXPECT_TRUE(file_exists(tmp.path("o_i.wav")));
    EXPECT_EQ(orvkt("stereo mix " + shell_quote(wav) + " " + shell_quote(tmp.path("m.wav"))).status, 45);
}

TEST(CliMetadata, InfoOfADs2TemplateWithMarkers) {
    TempDir tmp;
    const std::string ds2 = tmp.path("t.ds2");
    ASSERT_EQ(ORVKTCreateDSSTemplate(ds2.c_str(), nullptr, 6), 0u);
    ASSERT_EQ(orvkt("markers set " + shell_quote(ds2) + " 100-300").status, 0);
    auto r = orvkt("info --json " + shell_quote(ds2));
    ASSERT_EQ(r.status, 0) << r.output;
    auto j = nlohmann::json::parse(r.output);
    EXPECT_EQ(j["kind"], "ds2");
    EXPECT_EQ(j["compression_id"], 6);
    EXPECT_EQ(j["encrypted"], false);
    EXPECT_EQ(j["header_blocks"], 3);
    EXPECT_EQ(j["zrm2_class"], 2);
    ASSERT_EQ(j["markers"].size(), 1u);
    EXPECT_EQ(j["markers"][0]["end_ms"], 300);
    EXPECT_EQ(j["header"]["record_end_date"], "") << "0xFF bytes of an unset date";
}

// The text form for people reads the same record as --json; every kind of
// file must print it, including those without a bit-rate field.
TEST(CliMetadata, InfoTextOfDssAndDs2Files) {
    TempDir tmp;
    const std::string ds2 = tmp.path("t.ds2");
    ASSERT_EQ(ORVKTCreateDSSTemplate(ds2.c_str(), nullptr, 6), 0u);
    const std::string sealed = tmp.path("s.ds2");
    ASSERT_EQ(ORVKTCreateDSSTemplate(sealed.c_str(), "secret", 6), 0u);

    auto lp = orvkt("info " + shell_quote(data_path("speech_lp.dss")));
    ASSERT_EQ(lp.status, 0) << lp.output;
    EXPECT_NE(lp.output.find("kind        DSS\n"), std::string::npos) << lp.output;
    EXPECT_NE(lp.output.find("frames      185\n"), std::string::npos) << lp.output;
    EXPECT_EQ(lp.output.find("bit rate"), std::string::npos) << "DSS frames have no bit-rate kind";

    auto t = orvkt("info " + shell_quote(ds2));
    ASSERT_EQ(t.status, 0) << t.output;
    EXPECT_NE(t.output.find("frames      0\n"), std::string::npos) << t.output;
    EXPECT_NE(t.output.find("headers     3 block(s)\n"), std::string::npos) << t.output;

    auto s = orvkt("info " + shell_quote(sealed));
    ASSERT_EQ(s.status, 0) << s.output;
    EXPECT_NE(s.output.find("encrypted   yes\n"), std::string::npos) << s.output;
}
