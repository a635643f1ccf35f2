// Joining through the export.
#include "OrvaneVktapi.h"
#include "edit/dss_joiner.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace edit_test;
using dss_test::get32;
using orvkt_test::file_exists;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

class Join : public ::testing::Test {
protected:
    TempDir tmp;
    std::string p(const std::string& name) const { return tmp.path(name); }

    Recording rec(size_t frames, uint32_t seed, uint8_t id = 0) {
        Recording r;
        r.id = id;
        r.self_id = id >= 6 ? "ds2" : "dss";
        r.frames = random_frames(frames, frame_size_of(id), seed);
        return r;
    }
    std::string write(const std::string& name, const Recording& r) {
        write_bytes(p(name), build(r));
        return p(name);
    }
    uint32_t join(const std::string& list, const std::string& dst, ProgressCallback cb = nullptr, intptr_t user = 0) {
        return ORVKTJoinDSS(list.c_str(), dst.c_str(), cb, user, 0, 100);
    }
};

}  // namespace

TEST(JoinList, SeparatorsAndEmptyFields) {
    EXPECT_EQ(SplitSourceFileNameList("??a.dss??b.dss?"), (std::vector<std::string>{"a.dss", "b.dss"}));
    EXPECT_TRUE(SplitSourceFileNameList(nullptr).empty());
}

TEST_F(Join, TwoRecordingsBecomeOneWithHeadersFromFirstAndEndFromLast) {
    Recording a = rec(1000, 1), b = rec(777, 2);
    a.start = "240101080000";
    b.end = "240202092222";
    a.markers = {{100, 200}};
    ASSERT_EQ(join(write("a.dss", a) + "?" + write("b.dss", b), p("ab.dss")), VKT_OK);
    const Bytes ab = read_bytes(p("ab.dss"));
    EXPECT_EQ(std::string(ab.begin() + 38, ab.begin() + 68), "240101080000240202092222000042")
        << "start from the first, end from the last, 1777 x 24 ms";
    EXPECT_EQ(get32(ab, 512 + 18), 1777u * 24u);
    EXPECT_TRUE(all_ff(ab, 86, 326)) << "no index tables";
    EXPECT_TRUE(all_ff(ab, 1024, 1536)) << "no markers";
}

TEST_F(Join, OtherCompressionIdFailsAfterTheFirstFilesFrames) {
    Recording sp = rec(400, 7), qp = rec(100, 8, 6);
    const std::string list = write("sp.ds2", [&] { Recording r = sp; r.self_id = "ds2"; return r; }()) + "?" +
                             write("qp.ds2", qp);
    xkrvlog::Capture capture;
    EXPECT_EQ(join(list, p("mixed.ds2")), VKT_ERR_INVALID_COMPRESSIONID);
    EXPECT_TRUE(capture.contains_error(18, "Different compression id"));
    EXPECT_EQ(frames_of(read_bytes(p("mixed.ds2")), 41), sp.frames);
}

TEST_F(Join, QualityPlayCannotBecomeADssFile) {
    EXPECT_EQ(join(write("a.ds2", rec(300, 9, 6)), p("ab.dss")), VKT_ERR);
    EXPECT_FALSE(file_exists(p("ab.dss")));
}

TEST_F(Join, Refusals) {
    Recording olympus = rec(100, 11);
    olympus.licensee = 2;
    const std::string ours = write("ours.dss", rec(100, 12));
    EXPECT_EQ(join(write("oly.dss", olympus) + "?" + ours, p("x.dss")), VKT_ERR_INVALID_CONTENT);
    EXPECT_FALSE(file_exists(p("x.dss"))) << "refused before the destination was made";
    EXPECT_EQ(join(p("missing.dss"), p("x.dss")), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(join("", p("x.dss")), VKT_OK) << "an empty list makes no file";
    EXPECT_EQ(join("??", p("x.dss")), VKT_OK);
    EXPECT_FALSE(file_exists(p("x.dss")));

    // Variable-size frames cannot be packed again.
    Bytes compressed = read_bytes(ours);
    for (size_t at = 1536; at < compressed.size(); at += 512) compressed[at + 4] = 1;
    write_bytes(p("c1.dss"), compressed);
    EXPECT_EQ(join(p("c1.dss"), p("y.dss")), VKT_ERR_INVALID_COMPRESSIONID);

    // Encrypted sources need a password, which joining does not take.
    write("plain.ds2", [&] { Recording r = rec(100, 13); r.self_id = "ds2"; return r; }());
    ASSERT_EQ(ORVKTEncryptDSSFile(p("plain.ds2").c_str(), p("enc.ds2").c_str(), "pass word"), VKT_OK);
    EXPECT_EQ(join(p("enc.ds2"), p("z.ds2")), VKT_ERR_PASSWORD);
    EXPECT_FALSE(file_exists(p("z.ds2")));
}
