#include "api/result_codes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "OrvaneVktapi.h"

TEST(ResultCodes, EveryCodeHasOneNameAndMessage) {
    const uint32_t codes[] = {0,  2,  10, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 24, 25, 26,
                              27, 32, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48};
    std::set<std::string> names;
    for (uint32_t c : codes) {
        ASSERT_NE(vkt::result_name(c), nullptr) << c;
        EXPECT_TRUE(names.insert(vkt::result_name(c)).second) << "duplicate name for " << c;
        EXPECT_STRNE(vkt::result_message(c), "unknown result code") << c;
    }
    EXPECT_STREQ(vkt::result_name(VKT_ERR_PASSWORD), "VKT_ERR_PASSWORD");
    EXPECT_STREQ(vkt::result_message(44), "wrong or missing password");
    EXPECT_EQ(vkt::result_name(1), nullptr);
    EXPECT_STREQ(vkt::result_message(999), "unknown result code");
}
