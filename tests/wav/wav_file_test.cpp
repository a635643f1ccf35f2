// CWavFile: formats, data, layouts it refuses to extend, cue points, errors.
#include "wav/wav_file.h"

#include <cstdio>
#include <functional>

#include "platform/fileio.h"
#include "platform/vkt_error.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"
#include "support/riff_bytes.h"

using namespace orvkt_test;
using namespace riff_bytes;

namespace {

uint32_t thrown_code(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const vkt::VktError& e) {
        return e.code;
    }
    return 0;
}

}  // namespace

TEST(CWavFileWrite, DictationCodecExtraBytesAreWrittenAsZeros) {
    TempDir tmp;
    struct {
        WAVEFORMATEX f;
        uint8_t extra[2];
    } rec{{0x0120, 1, 8000, 1000, 0, 0, 2}, {0xAB, 0xCD}};
    for (uint16_t tag : {0x0120, 0x0055}) {  // other codecs keep their extra bytes
        rec.f.wFormatTag = tag;
        {
            CWavFile w;
            const uint32_t flags = MMIO_CREATE | MMIO_READWRITE | MMIO_EXCLUSIVE;
            w.create_new_wave_file(tmp.path(std::to_string(tag)).c_str(), flags, &rec.f);
            w.closing_work();
        }
        const Bytes b = read_bytes(tmp.path(std::to_string(tag)));
        ASSERT_EQ(get32(b, 16), 20u) << "fmt chunk of 18 + cbSize bytes";
        EXPECT_EQ(Bytes(b.begin() + 38, b.begin() + 40), (tag == 0x0120 ? Bytes{0, 0} : Bytes{0xAB, 0xCD}));
    }
}

TEST(CWavFileRead, FormatSizeChecksAndDataPosition) {
    TempDir tmp;
    write_bytes(tmp.path("a.wav"), plain_wave());
    CWavFile r;
    r.open_file(tmp.path("a.wav").c_str(), MMIO_READ);
    uint32_t size = 0;
    r.get_sizeof_format(&size);
    EXPECT_EQ(size, 16u);
    WAVEFORMATEX f{};
    ASSERT_EQ(r.read_format(&f, size), 0u);
    EXPECT_EQ(f.nSamplesPerSec, 8000u);
    EXPECT_EQ(f.nBlockAlign, 2u);
    r.get_sizeof_data(&size);
    EXPECT_EQ(size, 10u);
    uint8_t buf[64];
    EXPECT_EQ(r.read_data(buf, 10), 10u);
    EXPECT_EQ(Bytes(buf, buf + 10), pattern(10));
    EXPECT_EQ(r.read_data(buf, 10), 0u) << "the end of the file is no error";

    write_bytes(tmp.path("short.wav"), wave(chunk("fmt ", pattern(14))));
    CWavFile s;
    s.open_file(tmp.path("short.wav").c_str(), MMIO_READ);
    EXPECT_EQ(thrown_code([&] { s.get_sizeof_format(&size); }), 21u);

    write_bytes(tmp.path("no.wav"), cat({text("RIFF"), Bytes{4, 0, 0, 0}, text("AVI ")}));
    CWavFile n;
    EXPECT_EQ(thrown_code([&] { n.open_file(tmp.path("no.wav").c_str(), MMIO_READ); }), 16u);
    EXPECT_EQ(thrown_code([&] { n.get_sizeof_format(&size); }), 16u) << "the handle stays open after the failed find";
    CWavFile closed;
    EXPECT_EQ(thrown_code([&] { closed.get_sizeof_format(&size); }), 10u) << "no file open";
    EXPECT_EQ(thrown_code([&] { closed.get_sizeof_data(&size); }), 10u) << "no file open";
    EXPECT_EQ(thrown_code([&] { closed.open_file(tmp.path("missing.wav").c_str(), MMIO_READ); }), 13u);
}

TEST(CWavFileMetadata, RefusesLayoutsItCannotExtendAndWritesNothing) {
    TempDir tmp;
    write_bytes(tmp.path("a.wav"), plain_wave());
    const Bytes image = pattern(512);
    CWavFile read_only;
    read_only.open_file(tmp.path("a.wav").c_str(), MMIO_READ);
    EXPECT_EQ(thrown_code([&] { read_only.write_icmt_chunk(reinterpret_cast<const char*>(image.data()), 512); }), 43u);
    // data says 4000 bytes but the file ends after 10: an append would land
    // inside the data chunk.
    const Bytes truncated = wave(cat({chunk("fmt ", pcm_fmt(1, 8000, 16)), chunk_with_size("data", 4000, pattern(10))}));
    // bytes behind the RIFF form (an appended tag of some other format)
    const Bytes trailing = cat({plain_wave(), text("TAG-trailing")});
    for (const Bytes& original : {truncated, trailing}) {
        write_bytes(tmp.path("x.wav"), original);
        CWavFile w;
        w.open_file(tmp.path("x.wav").c_str(), MMIO_READWRITE);
        EXPECT_EQ(thrown_code([&] { w.write_icmt_chunk(reinterpret_cast<const char*>(image.data()), 512); }), 14u);
        w.close_file();
        EXPECT_EQ(read_bytes(tmp.path("x.wav")), original);
    }
}

TEST(CWavFileMetadata, CuePointRoundTripAndOversizedCue) {
    TempDir tmp;
    write_bytes(tmp.path("a.wav"), plain_wave());
    CuePoint cue{1, 2, mmioFOURCC('d', 'a', 't', 'a'), 4, 5, 6};
    {
        CWavFile w;
        w.open_file(tmp.path("a.wav").c_str(), MMIO_READWRITE);
        EXPECT_EQ(w.write_cue_chunk(&cue), 0u);
        EXPECT_EQ(w.write_cue_chunk(nullptr), 32u);
    }
    CWavFile r;
    r.open_file(tmp.path("a.wav").c_str(), MMIO_READ);
    CuePoint back;
    ASSERT_EQ(r.read_cue_chunk(&back), 0u);
    EXPECT_EQ(std::memcmp(&back, &cue, sizeof cue), 0);
    EXPECT_EQ(r.read_cue_chunk(nullptr), 32u);

    write_bytes(tmp.path("big.wav"), plain_wave(chunk("cue ", pattern(40))));
    CWavFile g;
    g.open_file(tmp.path("big.wav").c_str(), MMIO_READ);
    EXPECT_EQ(g.read_cue_chunk(&back), 25u);
}

TEST(CWavFileMapping, PlatformErrorsBecomeResultCodes) {
    xkrvlog::Capture cap;
    const std::pair<uint32_t, uint32_t> rows[] = {
        {0, 0}, {MMIOERR_FILENOTFOUND, 13}, {MMIOERR_CANNOTWRITE, 43}, {MMIOERR_CHUNKNOTFOUND, 16},
        {MMIOERR_PATHNOTFOUND, 13}, {MMIOERR_ACCESSDENIED, 14}, {MMIOERR_INVALIDFILE, 14},
        {MMIOERR_SHARINGVIOLATION, 10}, {999, 10}};
    for (auto [error, code] : rows) EXPECT_EQ(VKT_map_mmio_to_vkt_error(error), code) << error;
    EXPECT_TRUE(cap.contains_error(999, "case default: no MMIOERR_ matched -> VKT_ERR"));
    EXPECT_TRUE(cap.contains("MMSYSERR_NOERROR -> no error will be thrown"));
}
