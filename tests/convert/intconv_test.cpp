// The rate ratio of the PCM converter: greatest common divisor and least
// common multiple, with the refusals of a zero and of a 32-bit overflow.
#include "convert/codec_stage.h"

#include <gtest/gtest.h>

#include "trace/xkrvlog_capture.h"

using namespace vkt::acm;

TEST(EuklidAlgorithm, GcdLcmAndZeros) {
    xkrvlog::Capture log;
    uint32_t r = 0;
    EXPECT_EQ(InternalEuklidAlgorithm(44100, 8000, 1, &r), 1u);
    EXPECT_EQ(r, 100u);
    EXPECT_EQ(InternalEuklidAlgorithm(8000, 44100, 1, &r), 1u);
    EXPECT_EQ(r, 100u);
    EXPECT_EQ(InternalEuklidAlgorithm(12, 18, 2, &r), 1u);
    EXPECT_EQ(r, 36u);
    EXPECT_EQ(InternalEuklidAlgorithm(7, 7, 0, &r), 1u);
    EXPECT_EQ(r, 7u);
    EXPECT_EQ(InternalEuklidAlgorithm(882, 576, 2, &r), 1u);
    EXPECT_EQ(r, 28224u);  // 2^6 x 3^2 x 7^2
    r = 1234;
    EXPECT_EQ(InternalEuklidAlgorithm(0, 18, 1, &r), 0u);
    EXPECT_EQ(InternalEuklidAlgorithm(12, 0, 2, &r), 0u);
    EXPECT_EQ(r, 1234u);
    EXPECT_TRUE(log.contains("one value is 0"));
    // 65537 x 65539 needs more than 32 bits.
    EXPECT_EQ(InternalEuklidAlgorithm(65537, 65539, 2, &r), 0u);
    EXPECT_EQ(r, 1234u);
}
