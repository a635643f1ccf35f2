// The RIFF chunk layer: finding chunks by id and form type inside their
// parents, padding, dirty ascents, and the platform's error numbers.
#include "platform/mmio.h"

#include "support/test_support.h"
#include "support/riff_bytes.h"

using namespace orvkt_test;
using namespace riff_bytes;

namespace {

struct Handle {
    HMMIO h = nullptr;
    explicit Handle(const std::string& path, uint32_t flags = MMIO_READ) {
        MMIOINFO info;
        h = mmioOpenA(path.c_str(), &info, flags);
    }
    ~Handle() {
        if (h) mmioClose(h, 0);
    }
};

// RIFF/WAVE: "abcd" (3 bytes + pad), LIST/INFO with ICMT, then "data".
Bytes sample_file() {
    return wave(cat({chunk("abcd", {1, 2, 3}), list("INFO", chunk("ICMT", text("hello"))), chunk("data", pattern(6))}));
}

}  // namespace

TEST(Mmio, FindsChunksBehindOddSizedOnesAndInsideLists) {
    TempDir tmp;
    write_bytes(tmp.path("a.wav"), sample_file());
    Handle f(tmp.path("a.wav"));
    ASSERT_NE(f.h, nullptr);
    MMCKINFO riff;
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioDescend(f.h, &riff, nullptr, MMIO_FINDRIFF), 0u);
    EXPECT_EQ(riff.dwDataOffset, 8u) << "the data offset of a RIFF chunk points at its form type";
    EXPECT_EQ(mmioSeek(f.h, 0, MMIO_SEEK_CUR), 12) << "the position is behind the form type";
    MMCKINFO data;
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ASSERT_EQ(mmioDescend(f.h, &data, &riff, MMIO_FINDCHUNK), 0u);
    // 12 + "abcd"(8+3+1) + LIST(8+4+8+5+1) = 50; data content at 58
    EXPECT_EQ(data.dwDataOffset, 58u);
    EXPECT_EQ(data.cksize, 6u);
}

TEST(Mmio, ShortFilesHaveNoChunkHeader) {
    TempDir tmp;
    write_bytes(tmp.path("d.wav"), text("RIF"));
    Handle d(tmp.path("d.wav"));
    MMCKINFO r3;
    EXPECT_EQ(mmioDescend(d.h, &r3, nullptr, 0), MMIOERR_CANNOTREAD) << "no header to read at all";
}

TEST(Mmio, OpenErrorsAreThePlatformNumbers) {
    TempDir tmp;
    MMIOINFO info;
    EXPECT_EQ(mmioOpenA(tmp.path("none.wav").c_str(), &info, MMIO_READ), nullptr);
    EXPECT_EQ(info.wErrorRet, MMIOERR_FILENOTFOUND);
    EXPECT_EQ(mmioOpenA(tmp.path("no/dir.wav").c_str(), &info, MMIO_READ), nullptr);
    EXPECT_EQ(info.wErrorRet, MMIOERR_PATHNOTFOUND);
    EXPECT_EQ(mmioOpenA(tmp.dir().c_str(), &info, MMIO_READ), nullptr);
    EXPECT_EQ(info.wErrorRet, MMIOERR_ACCESSDENIED);
}

TEST(Mmio, ReadsAtTheEndGiveZeroAndFourccsArePadded) {
    TempDir tmp;
    write_bytes(tmp.path("e.bin"), {1, 2, 3});
    Handle f(tmp.path("e.bin"));
    uint8_t buf[8];
    EXPECT_EQ(mmioRead(f.h, buf, 8), 3);
    EXPECT_EQ(mmioRead(f.h, buf, 8), 0);
    EXPECT_EQ(mmioSeek(f.h, 100, MMIO_SEEK_SET), 100) << "positions past the end are allowed";
    EXPECT_EQ(mmioSeek(f.h, -1, MMIO_SEEK_SET), -1);
    EXPECT_EQ(mmioStringToFOURCCA("cue", 0), mmioFOURCC('c', 'u', 'e', ' '));
    EXPECT_EQ(mmioStringToFOURCCA("info", MMIO_TOUPPER), mmioFOURCC('I', 'N', 'F', 'O'));
}
