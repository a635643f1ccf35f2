// Sizes per compression identifier, the report-once warnings of the frame
// sizer, and the destination-name rule for DSS files.
#include <gtest/gtest.h>

#include "dss/frame_sizing.h"
#include "trace/xkrvlog_capture.h"

namespace {

uint32_t frame_size(uint8_t id, uint8_t first = 0, uint8_t second = 0, uint32_t* rc = nullptr) {
    const uint8_t frame[2] = {first, second};
    uint32_t size = 12345;
    uint32_t r = KRVDSS_get_size_of_frame(frame, id, &size);
    if (rc) *rc = r;
    return size;
}

int count_warnings(const xkrvlog::Capture& capture, const std::string& text) {
    int n = 0;
    for (const auto& line : capture.lines())
        if (line.level == xkrvlog::Level::Warning && line.text == text) ++n;
    return n;
}

}  // namespace

TEST(FrameSizing, StoredFrameSizePerIdentifier) {
    EXPECT_EQ(frame_size(0), 41u);
    EXPECT_EQ(frame_size(4), 41u);
    EXPECT_EQ(frame_size(1, 0x7F), 9u) << "bit 7 of the first byte clear: compressed";
    EXPECT_EQ(frame_size(1, 0x80), 41u);
    EXPECT_EQ(frame_size(2, 0xFF, 0xFF), 24u);
    EXPECT_EQ(frame_size(3, 0x00, 0x02), 4u) << "bit 1 of the second byte set: compressed";
    EXPECT_EQ(frame_size(3, 0x02, 0xFD), 24u) << "only the second byte's bit 1 counts";
    EXPECT_EQ(frame_size(6), 56u);
    EXPECT_EQ(frame_size(7), 56u);
}

TEST(FrameSizing, InvalidIdentifiersGive18AndSizeZero) {
    xkrvlog::Capture capture;
    for (uint8_t id : {5, 8, 9, 0xFF}) {
        uint32_t rc = 0;
        EXPECT_EQ(frame_size(id, 0, 0, &rc), 0u) << int(id);
        EXPECT_EQ(rc, 18u) << int(id);
    }
    EXPECT_TRUE(capture.contains_error(18, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p"));
}

TEST(FrameSizing, CodecBlockSizes) {
    const struct {
        uint8_t id;
        uint32_t size;
    } cases[] = {{0, 42}, {1, 42}, {4, 42}, {2, 25}, {3, 25}, {6, 57}, {7, 57}};
    for (const auto& c : cases) {
        uint32_t size = 0;
        EXPECT_EQ(VKT_get_size_of_blockalign(c.id, &size), 0u);
        EXPECT_EQ(size, c.size) << int(c.id);
    }
    for (uint8_t id : {5, 8, 200}) {
        uint32_t size = 77;
        EXPECT_EQ(VKT_get_size_of_blockalign(id, &size), 18u);
        EXPECT_EQ(size, 0u);
    }
}

TEST(FrameSizing, EachKindIsReportedOnceUntilTheFlagsAreCleared) {
    VKT_clear_frame_size_reports();
    xkrvlog::Capture capture;
    for (int i = 0; i < 3; ++i) {
        frame_size(0);
        frame_size(4);
        frame_size(1, 0x00);
        frame_size(1, 0x80);
        frame_size(2);
        frame_size(3, 0, 0x02);
        frame_size(3, 0, 0x00);
        frame_size(6);
        frame_size(7);
    }
    const char* texts[] = {"HHH Frame GRUNDIG without Compression",
                           "HHH GRUNDIG with Compression, Frame compressed",
                           "HHH GRUNDIG with Compression, Frame   n o t   compressed",
                           "HHH Frame TRUESPEECH without Compression",
                           "HHH TRUESPEECH with Compression, Frame compressed",
                           "HHH TRUESPEECH with Compression, Frame   n o t   compressed"};
    for (const char* t : texts) EXPECT_EQ(count_warnings(capture, t), 1) << t;
    size_t warnings = 0;
    for (const auto& line : capture.lines()) warnings += line.level == xkrvlog::Level::Warning;
    EXPECT_EQ(warnings, 6u) << "quality-play frames are never reported";

    capture.clear();
    frame_size(2);
    EXPECT_EQ(count_warnings(capture, texts[3]), 0);
    VKT_clear_frame_size_reports();
    frame_size(2);
    frame_size(2);
    EXPECT_EQ(count_warnings(capture, texts[3]), 1);
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
