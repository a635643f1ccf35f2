// Sizes per compression identifier, the report-once warnings of the frame
// sizer, and the destination-name rule for DSS files.
#include <gtest/gtest.h>

#include <algorithm>

#include "dss/frame_sizing.h"
#include "trace/xkrvlog_capture.h"

namespace {

uint32_t frame_size(uint8_t id, uint8_t first = 0, uint8_t second = 0, uint32_t* rc = nullptr) {
    const uint8_t frame[2] = {first, second};
    uint32_t size = 12345;
    const uint32_t r = KRVDSS_get_size_of_frame(frame, id, &size);
    if (rc) *rc = r;
    return size;
}

}  // namespace

TEST(FrameSizing, StoredFrameAndCodecBlockSizePerIdentifier) {
    // id, first two frame bytes, stored frame size, codec block size (0: invalid id)
    const struct {
        uint8_t id, first, second;
        uint32_t frame, codec;
    } rows[] = {
        {0, 0, 0, 41, 42},       {4, 0, 0, 41, 42},    {1, 0x7F, 0, 9, 42},  // bit 7 of byte 1 clear: compressed
        {1, 0x80, 0, 41, 42},    {2, 0xFF, 0xFF, 24, 25},
        {3, 0x00, 0x02, 4, 25},  // bit 1 of byte 2 set: compressed
        {3, 0x02, 0xFD, 24, 25}, {6, 0, 0, 56, 57},    {7, 0, 0, 56, 57},    {5, 0, 0, 0, 0},
        {8, 0, 0, 0, 0},         {0xFF, 0, 0, 0, 0},
    };
    xkrvlog::Capture capture;
    for (const auto& r : rows) {
        SCOPED_TRACE(int(r.id));
        uint32_t rc = 99, codec = 77;
        EXPECT_EQ(frame_size(r.id, r.first, r.second, &rc), r.frame);
        EXPECT_EQ(rc, r.codec ? 0u : 18u);
        EXPECT_EQ(VKT_get_size_of_blockalign(r.id, &codec), r.codec ? 0u : 18u);
        EXPECT_EQ(codec, r.codec);
    }
    EXPECT_TRUE(capture.contains_error(18, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p"));
}

TEST(FrameSizing, EachKindIsReportedOnceUntilTheFlagsAreCleared) {
    VKT_clear_frame_size_reports();
    xkrvlog::Capture capture;
    const auto warnings = [&](const std::string& text) {
        const auto lines = capture.lines();
        return std::count_if(lines.begin(), lines.end(), [&](const xkrvlog::Line& l) {
            return l.level == xkrvlog::Level::Warning && (text.empty() || l.text == text);
        });
    };
    // Identifiers 0, 1 (uncompressed and compressed frame), 2, 3 (both) and
    // quality play, which is never reported, three times over.
    for (int i = 0; i < 3; ++i)
        for (auto [id, first, second] : {std::tuple{0, 0, 0}, {4, 0, 0}, {1, 0, 0}, {1, 0x80, 0}, {2, 0, 0},
                                         {3, 0, 2}, {3, 0, 0}, {6, 0, 0}, {7, 0, 0}})
            frame_size(uint8_t(id), uint8_t(first), uint8_t(second));
    for (const char* t : {"HHH Frame GRUNDIG without Compression", "HHH GRUNDIG with Compression, Frame compressed",
                          "HHH GRUNDIG with Compression, Frame   n o t   compressed",
                          "HHH Frame TRUESPEECH without Compression", "HHH TRUESPEECH with Compression, Frame compressed",
                          "HHH TRUESPEECH with Compression, Frame   n o t   compressed"})
        EXPECT_EQ(warnings(t), 1) << t;
    EXPECT_EQ(warnings(""), 6);
    capture.clear();
    VKT_clear_frame_size_reports();
    frame_size(2);
    frame_size(2);
    EXPECT_EQ(warnings("HHH Frame TRUESPEECH without Compression"), 1);
}

TEST(TargetName, ExtensionRules) {
    xkrvlog::Capture capture;
    EXPECT_EQ(check_dss_target_name("a/b.dss", false), 0u);
    EXPECT_EQ(check_dss_target_name("b.DS2", true), 0u);
    EXPECT_EQ(check_dss_target_name("b.Dss", true), 10u);
    EXPECT_TRUE(capture.contains_error(10, "QP/encryption requires DSS Pro"));
    EXPECT_EQ(check_dss_target_name("b.wav", false), 10u);
    EXPECT_EQ(check_dss_target_name("dir.dss/b", false), 10u) << "the dot of a folder is no extension";
    EXPECT_TRUE(capture.contains_error(10, "invalid file extension, must be .DSS or .DS2"));
}
