// A full disk and a cancel in the middle of DSS to DSS.
#include <gtest/gtest.h>

#include "conv_files.h"
#include "support/disk_full.h"

using namespace conv_test;
using namespace orvkt_test;

// Decoded into "~" + name + "1", then packed: once packing has begun, the decoding and the part stay.
TEST(FullDisk, DssToDssInEitherStep) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string src = tmp.path("s.dss"), dst = tmp.path("d.dss"), decoded = tmp.path("~d1");
    const WAVEFORMATEX sp = sp_format();
    ASSERT_TRUE(write_speech_wav(tmp.path("s.wav"), 22050));
    ASSERT_EQ(convert(Export::WavToDss, tmp.path("s.wav"), src, sp), VKT_OK);
    std::remove(tmp.path("s.wav").c_str());
    const Bytes source = read_bytes(src);
    auto expect_only = [&](std::vector<std::string> names) {
        names.push_back("s.dss");
        EXPECT_EQ(tmp.entries(), names);
        EXPECT_EQ(read_bytes(src), source);
    };
    ASSERT_EQ(convert(Export::DssToWav, src, decoded, pcm_format(12000)), VKT_OK);
    const uint64_t decoded_size = read_bytes(decoded).size();
    std::remove(decoded.c_str());
    ASSERT_EQ(convert(Export::DssToDss, src, dst, sp), VKT_OK);
    const size_t whole = read_bytes(dst).size();
    std::remove(dst.c_str());
    bool decode_failed = false, pack_failed = false;
    for (uint64_t after = decoded_size - 4000; after < decoded_size + 40000; after += 3000) {
        SCOPED_TRACE(after);
        const uint32_t rc = with_disk_full_after(after, [&] { return convert(Export::DssToDss, src, dst, sp); });
        const bool kept = orvkt_test::file_exists(decoded);
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
        std::remove(dst.c_str());
        std::remove(decoded.c_str());
    }
    EXPECT_TRUE(decode_failed);
    EXPECT_TRUE(pack_failed);
}

// Once the decoding is complete it stays, with what was packed so far; 100 % cannot cancel.
TEST(Cancel, DssToDssKeepsTheDecodingOnceItIsComplete) {
    TempDir tmp;
    const std::string src = tmp.path("lp.dss"), dst = tmp.path("out.dss");
    orvkt_test::write_bytes(src, read_bytes(data_path("speech_lp.dss")));
    ProgressLog count;
    ASSERT_EQ(convert(Export::DssToDss, src, dst, sp_format(), &count), VKT_OK);
    ASSERT_EQ(std::remove(dst.c_str()), 0);
    const size_t calls = count.percents.size();
    ASSERT_GE(calls, 3u);
    const std::vector<std::string> only_source{"lp.dss"}, decoded{"lp.dss", "~out1"},
        packed{"lp.dss", "out.dss", "~out1"};
    for (size_t at : {size_t{1}, calls / 2, calls - 1}) {
        SCOPED_TRACE(at);
        ProgressLog log;
        log.cancel_at = at;
        EXPECT_EQ(convert(Export::DssToDss, src, dst, sp_format(), &log), VKT_CANCELLED);
        const auto left = tmp.entries();
        if (at == 1) {
            EXPECT_EQ(left, only_source);
        } else if (at == calls - 1) {
            EXPECT_EQ(left, packed);
        } else {
            EXPECT_TRUE(left == only_source || left == decoded || left == packed);
        }
        std::remove(dst.c_str());
        std::remove(tmp.path("~out1").c_str());
    }
}
