// orvkt info, header, markers, separate and stereo as a user runs them.
#include <nlohmann/json.hpp>

#include "OrvaneVktapi.h"
#include "support/test_support.h"

using namespace orvkt_test;
using nlohmann::json;

namespace {

CommandResult orvkt(const std::string& args) { return run_command(std::string(ORVKT_CLI) + " -q " + args, false); }

}  // namespace

TEST(CliMetadata, InfoOfEveryKindOfFile) {
    TempDir tmp;
    const std::string ds2 = tmp.path("t.ds2"), sealed = tmp.path("s.ds2");
    ASSERT_EQ(ORVKTCreateDSSTemplate(ds2.c_str(), nullptr, 6), 0u);
    ASSERT_EQ(ORVKTCreateDSSTemplate(sealed.c_str(), "secret", 6), 0u);
    ASSERT_EQ(orvkt("markers set " + shell_quote(ds2) + " 100-300").status, 0);
    const struct {
        std::string file;
        const char* pointer;
        json value;
    } json_rows[] = {
        {data_path("speech_header.mp3"), "/format/avg_bytes_per_sec", 3000},
        {data_path("speech_header.mp3"), "/frames", 53},
        {data_path("speech_header.mp3"), "/variable_bitrate", false},
        {data_path("speech_header.mp3"), "/length_ms", 53 * 36},
        // LAME's information frame is no audio: neither its bit rate nor its frame counts.
        {data_path("speech_stereo.mp3"), "/format/avg_bytes_per_sec", 4000},
        {data_path("speech_stereo.mp3"), "/variable_bitrate", false},
        {data_path("speech_stereo.mp3"), "/frames", 73},
        {data_path("speech_stereo.wma"), "/kind", "wma"},
        {data_path("speech_stereo.wma"), "/format/channels", 1},
        {data_path("speech_stereo.wma"), "/format/samples_per_sec", 16000},
        {ds2, "/kind", "ds2"},
        {ds2, "/compression_id", 6},
        {ds2, "/encrypted", false},
        {ds2, "/header_blocks", 3},
        {ds2, "/zrm2_class", 2},
        {ds2, "/markers/0/end_ms", 300},
        {ds2, "/header/record_end_date", ""},  // 0xFF bytes of an unset date
    };
    for (const auto& r : json_rows) {
        SCOPED_TRACE(r.file + r.pointer);
        const auto out = orvkt("info --json " + shell_quote(r.file));
        ASSERT_EQ(out.status, 0) << out.output;
        EXPECT_EQ(json::parse(out.output).at(json::json_pointer(r.pointer)), r.value);
    }
    const struct {
        std::string file;
        const char* line;
        bool shown;
    } text_rows[] = {
        {data_path("speech_lp.dss"), "kind        DSS\n", true},
        {data_path("speech_lp.dss"), "frames      185\n", true},
        {data_path("speech_lp.dss"), "bit rate", false},  // DSS frames have no bit-rate kind
        {ds2, "frames      0\n", true},
        {ds2, "headers     3 block(s)\n", true},
        {sealed, "encrypted   yes\n", true},
        {data_path("speech_mono.wma"), "kind        WMA", true},
        {data_path("speech_mono.wma"), "16000 Hz", true},
    };
    for (const auto& r : text_rows) {
        const auto out = orvkt("info " + shell_quote(r.file));
        ASSERT_EQ(out.status, 0) << out.output;
        EXPECT_EQ(out.output.find(r.line) != std::string::npos, r.shown) << r.line << out.output;
    }
}

TEST(CliMetadata, MarkersAndHeaderRoundTripThroughAWavFile) {
    TempDir tmp;
    const std::string wav = shell_quote(tmp.path("c.wav"));
    write_bytes(tmp.path("c.wav"), read_bytes(data_path("ffmpeg_comment.wav")));
    ASSERT_EQ(orvkt("markers set " + wav + " 100-200 300-450").status, 0);
    auto got = orvkt("markers get --json " + wav);
    ASSERT_EQ(got.status, 0);
    EXPECT_EQ(json::parse(got.output), json::parse(R"([{"start_ms":100,"end_ms":200},{"start_ms":300,"end_ms":450}])"));
    EXPECT_EQ(orvkt("markers set " + wav + " 5-1").status, 36) << "end before start";
    EXPECT_EQ(orvkt("header get " + wav).status, 38) << "a text comment is no dictation header";
    ASSERT_EQ(orvkt("header copy " + shell_quote(data_path("dictation_v24.mp3")) + " " + wav + " --no-markers").status, 0);
    ASSERT_EQ(orvkt("header set " + wav + " --text 2=Kardiologie --length-ms 5000").status, 0);
    auto h = orvkt("header get --json " + wav);
    ASSERT_EQ(h.status, 0);
    const json j = json::parse(h.output);
    EXPECT_EQ(j["texts"][1], "Kardiologie");
    EXPECT_EQ(j["length_ms"], 5000);
    EXPECT_EQ(orvkt("header set " + wav + " --start-date 2501").status, 36);
    ASSERT_EQ(orvkt("separate " + wav + " " + shell_quote(tmp.path("o.wav"))).status, 0);
    EXPECT_TRUE(file_exists(tmp.path("o.wav")));
    EXPECT_TRUE(file_exists(tmp.path("o_i.wav")));
    EXPECT_EQ(orvkt("stereo mix " + wav + " " + shell_quote(tmp.path("m.wav"))).status, 45);
}
