// The RIFF chunk layer: short files, reads at the end, fourccs, error numbers.
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

}  // namespace

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

TEST(Mmio, ReadsAtTheEndShortFilesAndPaddedFourccs) {
    TempDir tmp;
    write_bytes(tmp.path("e.bin"), {1, 2, 3});
    Handle f(tmp.path("e.bin"));
    uint8_t buf[8];
    EXPECT_EQ(mmioRead(f.h, buf, 8), 3);
    EXPECT_EQ(mmioRead(f.h, buf, 8), 0);
    EXPECT_EQ(mmioSeek(f.h, 100, MMIO_SEEK_SET), 100) << "positions past the end are allowed";
    EXPECT_EQ(mmioSeek(f.h, -1, MMIO_SEEK_SET), -1);
    write_bytes(tmp.path("d.wav"), text("RIF"));
    Handle d(tmp.path("d.wav"));
    MMCKINFO riff;
    EXPECT_EQ(mmioDescend(d.h, &riff, nullptr, 0), MMIOERR_CANNOTREAD) << "no chunk header to read at all";
    EXPECT_EQ(mmioStringToFOURCCA("cue", 0), mmioFOURCC('c', 'u', 'e', ' '));
    EXPECT_EQ(mmioStringToFOURCCA("info", MMIO_TOUPPER), mmioFOURCC('I', 'N', 'F', 'O'));
}
