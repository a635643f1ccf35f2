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

Bytes part(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

// Header block 1 of a template, every byte written out.
Bytes template_header1(const char* self_id) {
    Bytes h(512, 0xFF);
    h[0] = 3;
    put_text(h, 1, self_id);
    const bool pro = std::string(self_id) != "dss";
    h[4] = pro ? 2 : 1;
    h[5] = 0;
    h[6] = pro ? 3 : 1;
    h[7] = 0;
    h[8] = 3;
    h[9] = h[10] = h[11] = 0;
    for (int i = 12; i < 32; ++i) h[i] = 0;
    h[32] = 0xFE;  // 0xFFFE: more than one header block
    h[33] = 0xFF;
    h[34] = 0xFF;  // 0xFFFF
    h[35] = 0xFF;
    h[36] = 0xFB;  // 0xFFFB
    h[37] = 0xFF;
    put_text(h, 38, "000000000000");
    put_text(h, 62, "000000");
    h[69] = 0;
    return h;
}

Bytes template_header2(uint8_t id) {
    Bytes h(512, 0);
    h[0] = 1;
    h[16] = id;
    for (int i = 424; i < 504; ++i) h[i] = 0xFF;
    return h;
}

class Templates : public ::testing::Test {
protected:
    TempDir tmp;
};

}  // namespace

TEST_F(Templates, PlainDssTemplate) {
    xkrvlog::Capture capture;
    ASSERT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.dss").c_str(), nullptr, 0), VKT_OK);
    const Bytes file = read_bytes(tmp.path("t.dss"));
    ASSERT_EQ(file.size(), 1536u);
    EXPECT_EQ(part(file, 0, 512), template_header1("dss"));
    EXPECT_EQ(part(file, 512, 512), template_header2(0));
    EXPECT_EQ(part(file, 1024, 512), Bytes(512, 0xFF));

    auto lines = capture.lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0].text, "+ORVKTCreateDSSTemplate");
    EXPECT_EQ(lines[1].text, "+ORVKTCreateDSSTemplateWithEncryptionType");
    EXPECT_EQ(lines[2].name, "pcszFileName");
    EXPECT_EQ(lines[3].name, "DSSPro256Enabled");
    EXPECT_EQ(lines[3].text, "0");
    EXPECT_EQ(lines[4].name, "compressionId");
}

TEST_F(Templates, PasswordNeedsADs2Name) {
    xkrvlog::Capture capture;
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.dss").c_str(), "abcd", 0), VKT_ERR_INVALID_PARAM);
    EXPECT_TRUE(capture.contains_error(36, "encrytion requires DSS Pro"));
    EXPECT_FALSE(file_exists(tmp.path("t.dss")));
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.ds2").c_str(), "abc", 0), VKT_ERR_PASSWORD);
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.ds2").c_str(), "0123456789abcdefg", 0), VKT_ERR_PASSWORD);
    EXPECT_TRUE(capture.contains_error(44, "invalid password length"));
    EXPECT_FALSE(file_exists(tmp.path("t.ds2")));
}

TEST_F(Templates, EncryptedQualityPlayTemplate) {
    ASSERT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.DS2").c_str(), "Pa55word", 6), VKT_OK);
    const Bytes file = read_bytes(tmp.path("t.DS2"));
    ASSERT_EQ(file.size(), 1536u);
    Bytes expected = template_header1("enc");
    // Encryption version 1; salt and verification value are random and
    // checked by opening below.
    expected[326] = 1;
    expected[327] = 0;
    place(expected, 328, part(file, 328, 20));
    EXPECT_EQ(part(file, 0, 512), expected);
    EXPECT_EQ(part(file, 512, 512), template_header2(6));
    EXPECT_EQ(part(file, 1024, 512), Bytes(512, 0xFF));

    EXPECT_EQ(ORVKTCheckDSSFilePassword(tmp.path("t.DS2").c_str(), "Pa55word"), VKT_OK);
    EXPECT_EQ(ORVKTCheckDSSFilePassword(tmp.path("t.DS2").c_str(), "Pa55worD"), VKT_ERR_PASSWORD);
    CDssFile right;
    right.SetPassword("Pa55word");
    EXPECT_EQ(right.create_file(tmp.path("t.DS2").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true), 0u);
    CDssFile wrong;
    wrong.SetPassword("password");
    EXPECT_EQ(wrong.create_file(tmp.path("t.DS2").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true), 44u);
}

TEST_F(Templates, IdentifierIsStoredUnchecked) {
    ASSERT_EQ(ORVKTCreateDSSTemplate(tmp.path("n.ds2").c_str(), nullptr, 9), VKT_OK);
    const Bytes file = read_bytes(tmp.path("n.ds2"));
    EXPECT_EQ(part(file, 0, 512), template_header1("ds2"));
    EXPECT_EQ(part(file, 512, 512), template_header2(9));
    CDssFile headers(true);
    ASSERT_EQ(headers.create_file(tmp.path("n.ds2").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, false),
              0u);
    EXPECT_EQ(headers.m_byCompressionId, 9);
}

TEST_F(Templates, BadNames) {
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.wav").c_str(), nullptr, 0), VKT_ERR_OPEN_FILE);
    EXPECT_FALSE(file_exists(tmp.path("t.wav")));
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("missing/t.dss").c_str(), nullptr, 0), VKT_ERR_OPEN_FILE);
}
