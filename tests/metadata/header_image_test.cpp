// Header image <-> ZRM2HeaderInfo, against hand-laid header bytes.
#include "metadata/header_image.h"

#include <cstring>

#include "support/dss_bytes.h"
#include "support/test_support.h"

using namespace dss_test;

namespace {

ZRM2HeaderInfo record(uint32_t size, uint8_t fill = 0xAB) {
    ZRM2HeaderInfo r;
    std::memset(&r, fill, sizeof r);
    r.dwSize = size;
    return r;
}

}  // namespace

TEST(HeaderImageToRecord, RefusesShortAndForeignImages) {
    Bytes image = zrm2_image(1024);
    ZRM2HeaderInfo r = record(ZRM2HEADERINFO_SIZE_FULL);
    EXPECT_EQ(MapZRM2HeaderDataToZRM2HeaderStruct(image.data(), 511, &r), 38u);
    put_text(image, 1, "wav");
    EXPECT_EQ(MapZRM2HeaderDataToZRM2HeaderStruct(image.data(), 1024, &r), 38u);
    put_text(image, 1, "enc");
    EXPECT_EQ(MapZRM2HeaderDataToZRM2HeaderStruct(image.data(), 1024, &r), 0u);
}

TEST(RecordToHeaderImage, WritesFieldsAndKeepsTheRest) {
    const Bytes original = zrm2_image(1536);
    Bytes image = original;
    ZRM2HeaderInfo r = record(ZRM2HEADERINFO_SIZE_FULL, 0);
    r.dwLicenseeId = 3;
    std::memcpy(r.achH1Text, "Dr. M\xFC", 6);
    r.dwH1Value = 7;
    r.bMoreHeaderBlocks = 0;
    r.bFlag36Clear = 1;
    std::memcpy(r.achRecStartDate, "240229", 6);
    std::memcpy(r.achLength, "010203", 6);
    r.byH1Byte69 = 0x42;
    r.wCompressionId = 2;
    r.dwLengthMs = 123456;
    std::memset(r.achH2Bytes12, 0x77, 4);  // never written back
    std::memcpy(r.aachText[10], "last", 4);
    std::memcpy(r.achTextExt2, "ext two", 7);
    ASSERT_EQ(MapZRM2HeaderStructToZRM2HeaderData(&r, image.data(), 1536), 0u);

    EXPECT_TRUE(std::equal(original.begin(), original.begin() + 8, image.begin())) << "header 1 bytes 0-7 kept";
    EXPECT_EQ(image[12 + 5], 0x81) << "ANSI 0xFC back to OEM 0x81";
    EXPECT_EQ(image[28], 7);
    EXPECT_EQ(image[32], 0xFD);
    EXPECT_EQ(image[36], 0xF7) << "bit 3 stays clear";
    EXPECT_EQ(std::string(image.begin() + 38, image.begin() + 44), "240229");
    EXPECT_EQ(std::string(image.begin() + 62, image.begin() + 68), "010203");
    EXPECT_EQ(image[69], 0x42);
    EXPECT_EQ(image[528], 2);
    EXPECT_EQ(image[530], 0x40);  // 123456 = 0x1E240
    EXPECT_TRUE(std::equal(original.begin() + 524, original.begin() + 528, image.begin() + 524)) << "bytes 12-15 kept";
    EXPECT_EQ(std::string(image.begin() + 512 + 334, image.begin() + 512 + 338), "last");
    EXPECT_EQ(std::string(image.begin() + 512 + 394, image.begin() + 512 + 401), "ext two");
    EXPECT_TRUE(std::equal(original.begin() + 512 + 424, original.end(), image.begin() + 512 + 424))
        << "header 2 from 424 on and header 3 are untouched";
}

TEST(RecordToHeaderImage, ShortFormAndHeader1Only) {
    Bytes image = zrm2_image(1024);
    const Bytes original = image;
    ZRM2HeaderInfo r = record(ZRM2HEADERINFO_SIZE_SHORT, 0);
    r.bMoreHeaderBlocks = 1;
    ASSERT_EQ(MapZRM2HeaderStructToZRM2HeaderData(&r, image.data(), 1024), 0u);
    EXPECT_TRUE(std::equal(original.begin() + 512 + 364, original.end(), image.begin() + 512 + 364))
        << "the short form does not write the extension texts";
    Bytes one = zrm2_image(512, 1);
    ASSERT_EQ(MapZRM2HeaderStructToZRM2HeaderData(&r, one.data(), 512), 0u);
    EXPECT_EQ(one[32], 0xFE);
    EXPECT_EQ(MapZRM2HeaderStructToZRM2HeaderData(&r, one.data(), 511), 25u);
}

TEST(HeaderImageClass, TheFourClasses) {
    EXPECT_EQ(ClassifyZRM2Image(zrm2_image(1024).data(), 0), 0u);
    EXPECT_EQ(ClassifyZRM2Image(zrm2_image(1024, 2, "wav").data(), 1024), 0u);
    EXPECT_EQ(ClassifyZRM2Image(zrm2_image(1024, 2, "dss", 1).data(), 1024), 1u);
    Bytes v5 = zrm2_image(1024);
    put16(v5, 512, 5);
    EXPECT_EQ(ClassifyZRM2Image(v5.data(), 1024), 1u);
    EXPECT_EQ(ClassifyZRM2Image(zrm2_image(1024).data(), 1024), 2u);
    EXPECT_EQ(ClassifyZRM2Image(zrm2_image(1536).data(), 1536), 2u);
    EXPECT_EQ(ClassifyZRM2Image(zrm2_image(512, 1, "dss").data(), 512), 3u);
    EXPECT_EQ(ClassifyZRM2Image(zrm2_image(512, 2, "dss").data(), 512), 1u) << "one block but 0xFFFE: not ours";
    EXPECT_FALSE(IsZRM2DictOrInsImage(zrm2_image(512, 2, "dss").data(), 512));
    EXPECT_TRUE(IsZRM2DictOrInsImage(zrm2_image(512, 1, "enc").data(), 512));
}
