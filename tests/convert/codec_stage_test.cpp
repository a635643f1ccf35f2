// The rate ratio of the codec stage.
#include "convert/codec_stage.h"

#include <gtest/gtest.h>

#include "trace/xkrvlog_capture.h"

TEST(EuklidAlgorithm, GcdLcmAndZeros) {
    xkrvlog::Capture log;
    const struct {
        uint32_t a, b, what, ok, result;  // what: 1 the divisor, 2 the multiple; a refusal keeps the result
    } rows[] = {
        {44100, 8000, 1, 1, 100}, {8000, 44100, 1, 1, 100}, {12, 18, 2, 1, 36}, {7, 7, 0, 1, 7},
        {882, 576, 2, 1, 28224},  // 2^6 x 3^2 x 7^2
        {0, 18, 1, 0, 1234},      {12, 0, 2, 0, 1234},
        {65537, 65539, 2, 0, 1234},  // needs more than 32 bits
    };
    for (const auto& r : rows) {
        uint32_t result = 1234;
        EXPECT_EQ(InternalEuklidAlgorithm(r.a, r.b, r.what, &result), r.ok) << r.a << " " << r.b;
        EXPECT_EQ(result, r.result) << r.a << " " << r.b;
    }
    EXPECT_TRUE(log.contains("one value is 0"));
}
