#include "api/load_unload.h"

#include <gtest/gtest.h>

#include "trace/xkrvlog_capture.h"

TEST(DllMain, EveryReasonReportsSuccessAndTheOddOnesAreNamed) {
    xkrvlog::Capture capture;
    EXPECT_EQ(vkt::dll_main(vkt::DLL_THREAD_ATTACH), 1);
    EXPECT_EQ(vkt::dll_main(vkt::DLL_THREAD_DETACH), 1);
    EXPECT_TRUE(capture.lines().empty()) << "thread notifications write nothing";
    EXPECT_EQ(vkt::dll_main(7), 1);
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].text, "VKTAPI DllMain Who knows?");
    EXPECT_EQ(capture.lines()[0].level, xkrvlog::Level::Warning);
}
