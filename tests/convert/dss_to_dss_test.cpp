// ORVKTDSSToDSS: a change of mode keeps the recording and its header, with
// the destination's own self-id and no encryption fields.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "OrvaneVktapi.h"
#include "conv_files.h"
#include "support/test_support.h"

using namespace conv_test;
using orvkt_test::data_path;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

std::string make_source(const TempDir& tmp, const std::string& name, const WAVEFORMATEX& mode) {
    const std::string wav = tmp.path("src.wav"), dss = tmp.path(name);
    if (!write_speech_wav(wav, 16000)) return "";
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, 3, nullptr, 0), VKT_OK);
    std::remove(wav.c_str());
    return dss;
}

}  // namespace

TEST(DssToDss, ChangesModeAndKeepsTheHeader) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string src = make_source(tmp, "memo.dss", sp_format());
    ASSERT_FALSE(src.empty());
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(src.c_str(), &info), VKT_OK);
    std::memcpy(info.aachText[0], "Cardiology", 10);
    ASSERT_EQ(ORVKTWriteZRM2Header(src.c_str(), &info), VKT_OK);
    const DssFacts before = dss_facts(src);

    struct Case {
        const char* name;
        WAVEFORMATEX mode;
        uint8_t id;
        double frame_seconds;
    };
    for (const Case& c : {Case{"qp.ds2", qp_format(), 6, 0.016}, Case{"lp.dss", lp_format(), 4, 0.036},
                          Case{"sp.ds2", sp_format(), 0, 0.024}}) {
        SCOPED_TRACE(c.name);
        const std::string dst = tmp.path(c.name);
        ProgressLog log;
        ASSERT_EQ(ORVKTDSSToDSS(src.c_str(), dst.c_str(), &c.mode, &ProgressLog::callback, log.user(), nullptr), VKT_OK);
        const DssFacts after = dss_facts(dst);
        EXPECT_EQ(after.block_id, c.id);
        EXPECT_EQ(after.header2_id, c.id);
        EXPECT_EQ(after.headers, 3u);
        EXPECT_NEAR(after.frames * c.frame_seconds, before.frames * 0.024, 0.06);
        const bool ds2 = std::string(c.name).find(".ds2") != std::string::npos;
        const Bytes& h = after.header1;
        EXPECT_EQ(std::string(h.begin() + 1, h.begin() + 4), ds2 ? "ds2" : "dss");
        EXPECT_EQ(h[4], ds2 ? 2 : 1);
        EXPECT_EQ(h[6], ds2 ? 3 : 1);
        for (size_t i = 326; i < 348; ++i) EXPECT_EQ(h[i], 0xFF) << i;
        if (!ds2) {
            for (size_t i = 134; i < 326; ++i) EXPECT_EQ(h[i], 0xFF) << i;
        }
        ZRM2HeaderInfo back{};
        back.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        ASSERT_EQ(ORVKTReadZRM2Header(dst.c_str(), &back), VKT_OK);
        EXPECT_EQ(std::string(back.aachText[0], 10), "Cardiology");
        // Decoding 0 to 50, then the packing's own 0 to 50 and 50 to 100.
        ASSERT_FALSE(log.percents.empty());
        EXPECT_EQ(log.percents.back(), 100u);
        const auto restart = std::adjacent_find(log.percents.begin(), log.percents.end(),
                                                [](uint32_t a, uint32_t b) { return b < a; });
        ASSERT_NE(restart, log.percents.end());
        EXPECT_EQ(*restart, 50u);
        EXPECT_TRUE(std::is_sorted(log.percents.begin(), restart + 1));
        EXPECT_TRUE(std::is_sorted(restart + 1, log.percents.end()));
        std::vector<std::string> names = tmp.entries();
        for (const auto& n : names) EXPECT_EQ(n.find('~'), std::string::npos) << n;
    }
}

// An encrypted source needs its password; the copy is never encrypted.
TEST(DssToDss, EncryptedSourceGivesAPlainFile) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string plain = make_source(tmp, "plain.ds2", qp_format());
    const std::string secret = tmp.path("secret.ds2"), out = tmp.path("out.dss");
    ASSERT_EQ(ORVKTEncryptDSSFile(plain.c_str(), secret.c_str(), "opensesame"), VKT_OK);
    const WAVEFORMATEX sp = sp_format();
    EXPECT_EQ(ORVKTDSSToDSS(secret.c_str(), out.c_str(), &sp, nullptr, 0, nullptr), VKT_ERR_PASSWORD);
    EXPECT_FALSE(orvkt_test::file_exists(out));
    ASSERT_EQ(ORVKTDSSToDSS(secret.c_str(), out.c_str(), &sp, nullptr, 0, "opensesame"), VKT_OK);
    uint32_t encrypted = 1;
    ASSERT_EQ(ORVKTIsEncryptedDSSFile(out.c_str(), &encrypted), VKT_OK);
    EXPECT_EQ(encrypted, 0u);
    EXPECT_GT(dss_facts(out).frames, 100u);
}

TEST(DssToDss, ChecksAndCancellation) {
    TempDir tmp;
    const std::string src = tmp.path("speech_lp.dss");
    write_bytes(src, read_bytes(data_path("speech_lp.dss")));
    const WAVEFORMATEX sp = sp_format(), qp = qp_format();
    const std::string dst = tmp.path("out.dss");
    EXPECT_EQ(ORVKTDSSToDSS(src.c_str(), dst.c_str(), &qp, nullptr, 0, nullptr), VKT_ERR);
    EXPECT_EQ(ORVKTDSSToDSS(src.c_str(), tmp.path("out.wav").c_str(), &sp, nullptr, 0, nullptr), VKT_ERR);
    EXPECT_NE(ORVKTDSSToDSS(tmp.path("none.dss").c_str(), dst.c_str(), &sp, nullptr, 0, nullptr), VKT_OK);

    ProgressLog count;
    ASSERT_EQ(ORVKTDSSToDSS(src.c_str(), dst.c_str(), &sp, &ProgressLog::callback, count.user(), nullptr), VKT_OK);
    ASSERT_EQ(std::remove(dst.c_str()), 0);
    const size_t calls = count.percents.size();
    ASSERT_GE(calls, 3u);
    // A cancel while decoding leaves nothing. Once the decoded recording is
    // complete it stays beside the destination ("~out1"), with what the
    // encoding packed so far.
    const std::vector<std::string> only_source{"speech_lp.dss"};
    const std::vector<std::string> decoded{"speech_lp.dss", "~out1"};
    const std::vector<std::string> packed{"out.dss", "speech_lp.dss", "~out1"};
    // (The last report, 100 %, comes when the file is complete and cannot cancel.)
    for (size_t at : {size_t{1}, calls / 2, calls - 1}) {
        ProgressLog log;
        log.cancel_at = at;
        EXPECT_EQ(ORVKTDSSToDSS(src.c_str(), dst.c_str(), &sp, &ProgressLog::callback, log.user(), nullptr),
                  VKT_CANCELLED)
            << at;
        const auto left = tmp.entries();
        if (at == 1) {
            EXPECT_EQ(left, only_source);
        } else if (at == calls - 1) {
            EXPECT_EQ(left, packed);
        } else {
            EXPECT_TRUE(left == only_source || left == decoded || left == packed) << at;
        }
        std::remove(dst.c_str());
        std::remove(tmp.path("~out1").c_str());
    }
}
