// The byte buffer, the bounded text of errors, and the sample-width
// arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "afc/support.h"
#include "afc/sample_formats.h"
#include "afc/buffers.h"

namespace {

template <typename F>
uint16_t code_of(F f) {
    try {
        f();
    } catch (const SException& e) {
        return e.Code();
    }
    return 0;
}

std::vector<uint8_t> bytes_of(SRJBuffer& b) {
    if (b.GetSizeBytes() == 0) return {};
    return {b.GetBufferPtr(), b.GetBufferPtr() + b.GetSizeBytes()};
}

std::vector<uint8_t> convert_bits(uint32_t from, uint32_t to, std::vector<uint8_t> in) {
    SRBitConverter c(SRBitConverterParams(from, to));
    SRJBuffer src, dst;
    src.SetBuffer(in.data(), static_cast<uint32_t>(in.size()));
    c.Convert(src, dst);
    return bytes_of(dst);
}

}  // namespace

TEST(Buffer, SizeChangesKeepBytesAndZeroWhatIsNewlyExposed) {
    SRJBuffer b;
    b.SetSizeBytes(4);
    std::memcpy(b.GetBufferPtr(), "\x11\x22\x33\x44", 4);
    b.SetSizeBytes(2);
    EXPECT_EQ(b.GetCapacityBytes(), 4u);
    EXPECT_EQ(bytes_of(b), (std::vector<uint8_t>{0x11, 0x22}));
    b.SetSizeBytes(4);  // within capacity: the exposed bytes are zeroed
    EXPECT_EQ(bytes_of(b), (std::vector<uint8_t>{0x11, 0x22, 0, 0}));
    b.SetSizeBytes(6);  // growing keeps what is there
    EXPECT_EQ(bytes_of(b), (std::vector<uint8_t>{0x11, 0x22, 0, 0, 0, 0}));
    EXPECT_EQ(b.GetCapacityBytes(), 6u);
}

TEST(Buffer, OuterStorageRules) {
    uint8_t storage[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SRJBuffer outer;
    outer.SetBuffer(storage, 8);
    EXPECT_EQ(outer.GetSizeBytes(), 8u);
    EXPECT_EQ(outer.GetBufferPtr(), storage);
    outer.SetSizeBytes(4);
    outer.SetSizeBytes(6);
    EXPECT_EQ(storage[4], 0) << "bytes exposed again in outer storage are zeroed";
    EXPECT_EQ(storage[6], 7) << "bytes beyond the size stay";
    EXPECT_EQ(code_of([&] { outer.SetSizeBytes(9); }), 303);

    SRJBuffer own;
    own.SetSizeBytes(1);
    EXPECT_EQ(code_of([&] { own.SetBuffer(storage, 8); }), 301);
    SRJBuffer fresh;
    EXPECT_EQ(code_of([&] { fresh.SetBuffer(nullptr, 8); }), 302);
    EXPECT_EQ(code_of([&] { fresh.GetBufferPtr(); }), 304);
    own.ReleaseBuffer();
    EXPECT_EQ(own.GetCapacityBytes(), 0u);
    EXPECT_NO_THROW(own.SetBuffer(storage, 8));
}

TEST(Buffer, AssignmentComparesCapacitiesNotSizes) {
    SRJBuffer big;
    big.SetSizeBytes(10);
    big.SetSizeBytes(2);  // size 2, capacity 10
    uint8_t storage[4] = {};
    SRJBuffer outer;
    outer.SetBuffer(storage, 4);
    EXPECT_EQ(code_of([&] { outer = big; }), 305);

    SRJBuffer small;
    small.SetSizeBytes(3);
    std::memcpy(small.GetBufferPtr(), "abc", 3);
    outer = small;
    EXPECT_EQ(outer.GetSizeBytes(), 3u);
    EXPECT_EQ(std::memcmp(storage, "abc", 3), 0);

    SRJBuffer copy;
    copy = small;
    EXPECT_EQ(bytes_of(copy), (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_NE(copy.GetBufferPtr(), small.GetBufferPtr());
}

TEST(Buffer, ErrorTextsAreCutToOneHundredCharacters) {
    const std::string longText(150, 'x');
    SException e(999, longText.c_str(), "Method", "Message");
    EXPECT_EQ(e.ClassName().Length(), 100);
    EXPECT_EQ(std::string(e.ClassName().c_str()), std::string(100, 'x'));
    EXPECT_EQ(e.Method().view(), "Method");
    EXPECT_EQ(e.Extra().Length(), 0);
    const SException copy = e;
    EXPECT_EQ(copy.ClassName().view(), e.ClassName().view());
    EXPECT_EQ(copy.Code(), 999);
    SText empty(static_cast<const char*>(nullptr));
    EXPECT_STREQ(empty.c_str(), "");
}

TEST(BitConverter, EightToSixteenBits) {
    // -32768, 0, 32512 as little-endian words.
    EXPECT_EQ(convert_bits(8, 16, {0x00, 0x80, 0xFF}), (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x00, 0x00, 0x7F}));
}

TEST(BitConverter, SixteenToEightBitsDropsTheLowByteAndAnOddTail) {
    // -32768, -1, 0, 255, 256, 32767 and one stray byte.
    const std::vector<uint8_t> in = {0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x01, 0xFF, 0x7F, 0x42};
    EXPECT_EQ(convert_bits(16, 8, in), (std::vector<uint8_t>{0x00, 0x7F, 0x80, 0x80, 0x81, 0xFF}));
}

TEST(BitConverter, EqualWidthsCopyAndOtherWidthsAreRefused) {
    EXPECT_EQ(convert_bits(8, 8, {1, 2, 3}), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(code_of([] { SRBitConverter c(SRBitConverterParams(24, 16)); }), 104);
    EXPECT_EQ(code_of([] { SRBitConverter c(SRBitConverterParams(8, 12)); }), 104);
    SRBitConverter c(SRBitConverterParams(8, 16));
    EXPECT_EQ(c.SwapDirection(), 16u);
    EXPECT_EQ(c.DestinationBits(), 8u);
}
