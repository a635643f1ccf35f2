// Templates: empty dictation files with three header blocks, byte for byte.
#include <gtest/gtest.h>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace dss_test;
using namespace vkt::platform;
using orvkt_test::file_exists;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;

namespace {

// The three header blocks of a template: our writer's blocks with other
// flags at 34 and 36.
Bytes template_headers(const char* self_id, uint8_t id) {
    Bytes h1 = header1(3, self_id);
    put16(h1, 34, 0xFFFF);
    put16(h1, 36, 0xFFFB);
    return concat({h1, header2(id), Bytes(512, 0xFF)});
}

class Templates : public ::testing::Test {
protected:
    TempDir tmp;
};

}  // namespace

TEST_F(Templates, PlainTemplatesStoreTheIdentifierUnchecked) {
    xkrvlog::Capture capture;
    ASSERT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.dss").c_str(), nullptr, 0), VKT_OK);
    EXPECT_EQ(read_bytes(tmp.path("t.dss")), template_headers("dss", 0));
    auto lines = capture.lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0].text, "+ORVKTCreateDSSTemplate");
    EXPECT_EQ(lines[1].text, "+ORVKTCreateDSSTemplateWithEncryptionType");
    EXPECT_EQ(lines[3].name, "DSSPro256Enabled");
    EXPECT_EQ(lines[3].text, "0");

    ASSERT_EQ(ORVKTCreateDSSTemplate(tmp.path("n.ds2").c_str(), nullptr, 9), VKT_OK);
    EXPECT_EQ(read_bytes(tmp.path("n.ds2")), template_headers("ds2", 9));
    CDssFile headers(true);
    ASSERT_EQ(headers.create_file(tmp.path("n.ds2").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, false),
              0u);
    EXPECT_EQ(headers.m_byCompressionId, 9);
}

TEST_F(Templates, Refusals) {
    xkrvlog::Capture capture;
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.dss").c_str(), "abcd", 0), VKT_ERR_INVALID_PARAM);
    EXPECT_TRUE(capture.contains_error(36, "encrytion requires DSS Pro"));
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.ds2").c_str(), "abc", 0), VKT_ERR_PASSWORD);
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.ds2").c_str(), "0123456789abcdefg", 0), VKT_ERR_PASSWORD);
    EXPECT_TRUE(capture.contains_error(44, "invalid password length"));
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.wav").c_str(), nullptr, 0), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("missing/t.dss").c_str(), nullptr, 0), VKT_ERR_OPEN_FILE);
    EXPECT_TRUE(tmp.entries().empty());
}
