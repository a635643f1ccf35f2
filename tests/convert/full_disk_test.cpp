// A disk that fills up in the middle of a conversion: a clear result code,
// sources untouched, no temporary file left, and no success reported for a
// file that is not whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "OrvaneVktapi.h"
#include "conv_files.h"
#include "platform/fileio.h"
#include "support/disk_full.h"
#include "support/test_support.h"

using namespace conv_test;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;
using orvkt_test::with_disk_full_after;

namespace {

std::set<std::string> names_in(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        ORVKT_REQUIRE_PROGRAM("espeak-ng");
        ASSERT_TRUE(write_speech_wav(src_wav, 22050));
        ASSERT_EQ(ORVKTWAVToDSS(src_wav.c_str(), src_dss.c_str(), &sp, 3, nullptr, 0), VKT_OK);
        src_wav_bytes = read_bytes(src_wav);
        src_dss_bytes = read_bytes(src_dss);
    }
    // Only the sources and the listed files may be there afterwards.
    void expect_only(const std::set<std::string>& extra) {
        std::set<std::string> want{"s.wav", "s.dss"};
        want.insert(extra.begin(), extra.end());
        EXPECT_EQ(names_in(tmp.path("")), want);
        EXPECT_EQ(read_bytes(src_wav), src_wav_bytes);
        EXPECT_EQ(read_bytes(src_dss), src_dss_bytes);
    }
    void remove(const std::string& name) { std::filesystem::remove(tmp.path(name)); }

    TempDir tmp;
    const std::string src_wav = tmp.path("s.wav"), src_dss = tmp.path("s.dss");
    const WAVEFORMATEX sp = sp_format(), pcm8 = pcm_format(8000);
    Bytes src_wav_bytes, src_dss_bytes;
};

}  // namespace

// Packing goes through a temporary codec WAV file and then the DSS writer:
// the failure is 43 in the first step and 15 in the second, where the DSS
// file of what was packed stays (a truncated file is never reported whole).
TEST_F(FullDisk, WavToDssFailsInEitherStep) {
    const std::string dst = tmp.path("a.dss");
    std::set<uint32_t> seen;
    for (uint64_t after = 0; after <= 30000; after += 2500) {
        SCOPED_TRACE(after);
        const uint32_t rc = with_disk_full_after(after, [&] { return ORVKTWAVToDSS(src_wav.c_str(), dst.c_str(), &sp, 3, nullptr, 0); });
        seen.insert(rc);
        if (rc == VKT_OK) {
            EXPECT_EQ(read_bytes(dst).size(), src_dss_bytes.size());
            expect_only({"a.dss"});
        } else if (rc == VKT_ERR_WRITE_FILE) {
            ASSERT_TRUE(orvkt_test::file_exists(dst));
            EXPECT_LT(read_bytes(dst).size(), src_dss_bytes.size());
            expect_only({"a.dss"});
        } else {
            EXPECT_EQ(rc, VKT_ERR_OUT_OF_DISKSPACE);
            expect_only({});
        }
        remove("a.dss");
    }
    EXPECT_TRUE(seen.count(VKT_ERR_OUT_OF_DISKSPACE));
    EXPECT_TRUE(seen.count(VKT_ERR_WRITE_FILE)) << "the DSS writer's own failure";
}

// DSS to DSS decodes into a WAV file beside the destination ("~" + name +
// "1") and packs that. A failure while decoding leaves nothing; once the
// packing has begun, the decoded recording and the packed part stay for the
// caller to look at.
TEST_F(FullDisk, DssToDssInEitherStep) {
    const WAVEFORMATEX pcm12 = pcm_format(12000);
    ASSERT_EQ(ORVKTDSSToWAV(src_dss.c_str(), tmp.path("ref.wav").c_str(), &pcm12, nullptr, 0, nullptr), VKT_OK);
    const uint64_t decoded = read_bytes(tmp.path("ref.wav")).size();
    remove("ref.wav");
    const std::string dst = tmp.path("d.dss");
    ASSERT_EQ(ORVKTDSSToDSS(src_dss.c_str(), dst.c_str(), &sp, nullptr, 0, nullptr), VKT_OK);
    const size_t whole = read_bytes(dst).size();
    remove("d.dss");

    bool decode_failed = false, pack_failed = false;
    // From inside the decoding to past the end of the packing.
    for (uint64_t after = decoded - 4000; after < decoded + 40000; after += 3000) {
        SCOPED_TRACE(after);
        const uint32_t rc = with_disk_full_after(after, [&] {
            return ORVKTDSSToDSS(src_dss.c_str(), dst.c_str(), &sp, nullptr, 0, nullptr);
        });
        const bool kept = orvkt_test::file_exists(tmp.path("~d1"));
        if (rc == VKT_OK) {
            EXPECT_EQ(read_bytes(dst).size(), whole);
            expect_only({"d.dss"});
        } else if (rc == VKT_ERR_WRITE_FILE) {
            pack_failed |= kept;
            EXPECT_TRUE(orvkt_test::file_exists(dst));
        } else {
            EXPECT_EQ(rc, VKT_ERR_OUT_OF_DISKSPACE);
            EXPECT_FALSE(orvkt_test::file_exists(dst));
            if (!kept) {
                decode_failed = true;
                expect_only({});
            }
        }
        remove("d.dss");
        remove("~d1");
    }
    EXPECT_TRUE(decode_failed);
    EXPECT_TRUE(pack_failed);
}
