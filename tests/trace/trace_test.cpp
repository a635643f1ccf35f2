// The trace component and the library's trace macros.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/vkt_trace.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

VKT_TRACE_UNIT("trace_test");

TEST(TraceMacros, FileNameIsTheSourceFileWithoutFolderAndExtension) {
    static_assert(std::string_view(vkt::trace::file_name("src/dss/dss_file.cpp").text) == "CDSSFILE");
    static_assert(std::string_view(vkt::trace::file_name("MAIN").text) == "MAIN");
    static_assert(std::string_view(vkt::trace::file_name("/a.b/c/x.y.cpp").text) == "x.y");
    EXPECT_STREQ(VKT_TRACE_UNIT_NAME, "trace_test");
}

TEST(TraceMacros, EachLevelArrivesWithItsFields) {
    xkrvlog::Capture capture;
    const char* name = "file.dss";
    VKT_TRACE_TEXT("-----CDssFile::create_file(...)");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", name);
    VKT_TRACE_MESSAGE("Bytes read is less than expected -> cancel operation !");
    VKT_TRACE_WARNING("End of File reached");
    VKT_TRACE_VALUE("m_byNrOfFrames", "%d", static_cast<uint8_t>(13));
    VKT_TRACE_ERROR(44, "No password specified for encrypted file");
    auto l = capture.lines();
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[0].level, xkrvlog::Level::Text);
    EXPECT_EQ(l[0].line, l[1].line - 1);
    EXPECT_EQ(l[1].level, xkrvlog::Level::Param);
    EXPECT_EQ(l[1].name, "lpszFilepath_p");
    EXPECT_EQ(l[1].text, "file.dss");
    EXPECT_EQ(l[2].level, xkrvlog::Level::Message);
    EXPECT_EQ(l[2].name, "") << "the tag is always empty";
    EXPECT_EQ(l[3].level, xkrvlog::Level::Warning);
    EXPECT_EQ(l[4].level, xkrvlog::Level::Value);
    EXPECT_EQ(l[4].text, "13");
    EXPECT_EQ(l[5].level, xkrvlog::Level::Error);
    EXPECT_EQ(l[5].code, 44u);
    for (const auto& line : l) EXPECT_EQ(line.file, "trace_test");
}

TEST(TraceFormats, PrintfFormatsOfTheLibrary) {
    EXPECT_EQ(xkrvlog::format_value("%lu", 4294967296LL), "4294967296");
    EXPECT_EQ(xkrvlog::format_value("%ld", -3), "-3");
    EXPECT_EQ(xkrvlog::format_value("%d", 0xFFFFFFFFLL), "-1");
    EXPECT_EQ(xkrvlog::format_value("%u", -1), "4294967295");
    EXPECT_EQ(xkrvlog::format_value("%8x", 0x3F), "      3f");
    EXPECT_EQ(xkrvlog::format_value("%8X", 0x80000000LL), "80000000");
    EXPECT_EQ(xkrvlog::format_value("%s", 0), "(null)");
}

TEST(TraceOutput, FileGetsOneLinePerCallAndStopsWhenClosed) {
    orvkt_test::TempDir tmp;
    std::string log = tmp.path("trace.log");
    ASSERT_TRUE(xkrvlog::set_output_file(log));
    VKT_TRACE_TEXT("+ORVKTDSSToWAV");
    VKT_TRACE_ERROR(14, "VKT_ERR_OPEN_FILE invalid Self-Id");
    ASSERT_TRUE(xkrvlog::set_output_file(""));
    VKT_TRACE_TEXT("not written");
    std::ifstream in(log);
    std::stringstream all;
    all << in.rdbuf();
    std::string text = all.str();
    EXPECT_NE(text.find("TEXT trace_test:"), std::string::npos) << text;
    EXPECT_NE(text.find("+ORVKTDSSToWAV"), std::string::npos);
    EXPECT_NE(text.find("ERROR trace_test:"), std::string::npos);
    EXPECT_NE(text.find("[14] VKT_ERR_OPEN_FILE invalid Self-Id"), std::string::npos);
    EXPECT_EQ(text.find("not written"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}
