// Verified copy and safe delete, through the exports.
#include <cstdio>
#include <ctime>

#include "OrvaneVktapi.h"
#include "platform/fileio.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "tools/secure_file_management.h"
#include "trace/xkrvlog_capture.h"

using namespace orvkt_test;

namespace {

// A DSS file of our family: two header blocks and `blocks` plausible data
// blocks, of which block `corrupt` (1-based, 0 = none) holds 14 frames.
std::vector<uint8_t> zrm2_dss(int blocks, int corrupt) {
    std::vector<uint8_t> f = dss_test::concat({dss_test::header1(2, "dss"), dss_test::header2(0)});
    for (int b = 1; b <= blocks; ++b) {
        auto blk = dss_test::block(0x030F, b == corrupt ? 14 : 12, 0);
        std::fill(blk.begin() + 6, blk.end(), static_cast<uint8_t>(b));
        blk = dss_test::stored(blk);
        f.insert(f.end(), blk.begin(), blk.end());
    }
    return f;
}

// Header 2 bytes 22-33 of a copy hold the date (YYMMDD) and time (HHMMSS)
// of the copy, in local time, between the two moments given.
void expect_download_stamp(const std::vector<uint8_t>& copy, std::time_t before, std::time_t after) {
    ASSERT_GE(copy.size(), 1024u);
    const std::string stamp(copy.begin() + 512 + 22, copy.begin() + 512 + 34);
    bool matched = false;
    for (std::time_t t = before; t <= after && !matched; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        char expected[32];
        std::snprintf(expected, sizeof expected, "%02d%02d%02d%02d%02d%02d", local.tm_year % 100, local.tm_mon + 1,
                      local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        matched = stamp == expected;
    }
    EXPECT_TRUE(matched) << "stamp " << stamp;
}

}  // namespace

TEST(CopyFile, ArgumentAndExistenceChecks) {
    TempDir tmp;
    EXPECT_EQ(ORVKTCopyFile(tmp.path("missing").c_str(), tmp.path("b").c_str(), 0), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(ORVKTCopyFile(tmp.dir().c_str(), tmp.path("b").c_str(), 0), VKT_ERR_OPEN_FILE) << "a directory";
    EXPECT_FALSE(file_exists(tmp.path("b")));

    write_bytes(tmp.path("a"), {1, 2, 3});
    write_bytes(tmp.path("b"), {4, 5});
    EXPECT_EQ(ORVKTCopyFile(tmp.path("a").c_str(), tmp.path("b").c_str(), 0), VKT_ERR_DEST_EXISTS);
    EXPECT_EQ(read_bytes(tmp.path("b")), (std::vector<uint8_t>{4, 5})) << "the existing file is untouched";
}

TEST(CopyFile, EmptySourceGives40AndKeepsTheEmptyCopy) {
    TempDir tmp;
    write_bytes(tmp.path("empty.wav"), {});
    EXPECT_EQ(ORVKTCopyFile(tmp.path("empty.wav").c_str(), tmp.path("copy.wav").c_str(), 0), VKT_ERR_COPY_FAILED);
    EXPECT_TRUE(file_exists(tmp.path("copy.wav")));
    EXPECT_TRUE(read_bytes(tmp.path("copy.wav")).empty());

    // A ".dss" name is read as a recording first: without a header there is
    // nothing to decide the filter on, and nothing is copied.
    write_bytes(tmp.path("empty.dss"), {});
    xkrvlog::Capture capture;
    EXPECT_EQ(ORVKTCopyFile(tmp.path("empty.dss").c_str(), tmp.path("copy.dss").c_str(), 0), VKT_ERR_OPEN_FILE);
    EXPECT_TRUE(capture.contains_error(VKT_ERR_OPEN_FILE, "ORVKTIsValidZRM2File() failed"));
    EXPECT_FALSE(file_exists(tmp.path("copy.dss")));
}

// Our DSS recordings lose their corrupt blocks in both modes; the buffered
// mode stamps header 2 with the download time. DS2 files, other licensees'
// files and long-play blocks (21 or 22 frames of 24 bytes, more than a
// standard-play block may hold) are copied as they are.
TEST(CopyFile, VerifiedCopiesOfDictationFiles) {
    auto olympus = zrm2_dss(6, 4);
    olympus[8] = 2;
    const auto long_play = read_bytes(data_path("speech_lp.dss"));
    ASSERT_EQ(long_play[1024 + 4], 2) << "compression id of the first data block";
    ASSERT_GT(long_play[1024 + 2], 13) << "frames starting in it";
    const struct {
        const char* name;
        std::vector<uint8_t> src;
        uint32_t write_through;
        int dropped;  // 1-based data block left out, 0 = none
        bool filtered;
    } rows[] = {
        {"rec.dss", zrm2_dss(6, 0), 0, 0, true},  {"rec.dss", zrm2_dss(6, 0), 1, 0, true},
        {"rec.dss", zrm2_dss(6, 4), 0, 4, true},  {"rec.dss", zrm2_dss(6, 4), 1, 4, true},
        {"rec.ds2", zrm2_dss(6, 4), 1, 0, false}, {"oly.dss", olympus, 1, 0, false},
        {"lp.dss", long_play, 1, 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + (row.write_through ? " written through" : " buffered"));
        TempDir tmp;
        write_bytes(tmp.path(row.name), row.src);
        xkrvlog::Capture capture;
        const std::time_t before = std::time(nullptr);
        const std::string copy_name = tmp.path(std::string("copy_") + row.name);
        ASSERT_EQ(ORVKTCopyFile(tmp.path(row.name).c_str(), copy_name.c_str(), row.write_through), VKT_OK);
        const std::time_t after = std::time(nullptr);
        EXPECT_EQ(capture.contains("ZRM2 DSS file: Using WriteWithoutCorrBlocks()"), row.filtered);
        auto copy = read_bytes(copy_name);
        auto expected = row.src;
        if (row.dropped) {
            const auto at = expected.begin() + 1024 + 512 * (row.dropped - 1);
            expected.erase(at, at + 512);
        }
        if (!row.write_through) {
            expect_download_stamp(copy, before, after);
            std::copy(expected.begin() + 534, expected.begin() + 546, copy.begin() + 534);
        }
        EXPECT_EQ(copy, expected);
    }
}

TEST(FilterChoice, OurFamilyWithHeader2Version1Or2Only) {
    std::vector<uint8_t> img = dss_test::zrm2_image(1024, 2, "enc");
    for (uint8_t version : {1, 2, 3}) {
        img[512] = version;
        EXPECT_EQ(SecureFileManagement::IsFilterableHeaderImage(img.data(), 1024), version != 3) << int(version);
    }
}

TEST(FileCrc, Ieee8023Reflected) {
    TempDir tmp;
    write_bytes(tmp.path("check"), {'1', '2', '3', '4', '5', '6', '7', '8', '9'});
    uint32_t crc = 0;
    ASSERT_EQ(SecureFileManagement::FileCrc(tmp.path("check").c_str(), &crc), 0u);
    EXPECT_EQ(crc, 0xCBF43926u);  // the standard check value of CRC-32
    EXPECT_EQ(SecureFileManagement::FileCrc(tmp.path("none").c_str(), &crc), vkt::platform::ERROR_FILE_NOT_FOUND);
}
