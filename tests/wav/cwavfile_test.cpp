// CWavFile: the chunk order and sizes it writes, the fact formula, reading
// formats and data, and the metadata chunks (ICMT, IKEY, LIST, cue) with
// in-place overwrites and appends that leave every other byte alone.
#include "wav/wav_file.h"

#include <cstdio>
#include <functional>

#include "platform/fileio.h"
#include "platform/vkt_error.h"
#include "support/disk_full.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"
#include "support/riff_bytes.h"

using namespace orvkt_test;
using namespace riff_bytes;

namespace {

WAVEFORMATEX pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = 1;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.wBitsPerSample = bits;
    return f;
}

uint32_t thrown_code(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const vkt::VktError& e) {
        return e.code;
    }
    return 0;
}

void write_wave(const std::string& path, const WAVEFORMATEX& f, const Bytes& data) {
    CWavFile w;
    w.create_new_wave_file(path.c_str(), MMIO_CREATE | MMIO_READWRITE | MMIO_EXCLUSIVE, &f);
    if (!data.empty()) {
        EXPECT_EQ(w.write_data(data.data(), static_cast<uint32_t>(data.size())), data.size());
    }
    w.closing_work();
}

// Opens the file read-write and writes `image` as its comment.
void write_icmt(const std::string& path, const Bytes& image, uint32_t flags = MMIO_READWRITE) {
    CWavFile w;
    w.open_file(path.c_str(), flags);
    w.write_icmt_chunk(reinterpret_cast<const char*>(image.data()), static_cast<uint32_t>(image.size()));
}

// fmt (PCM mono 8000 Hz 16 bit), data, as other programs write them.
Bytes plain_wave(const Bytes& extra_chunks = {}) {
    return wave(cat({chunk("fmt ", pcm_fmt(1, 8000, 16)), chunk("data", pattern(10)), extra_chunks}));
}

}  // namespace

TEST(CWavFileWrite, NewPcmFileHasFmtFactDataInOrder) {
    TempDir tmp;
    write_wave(tmp.path("m.wav"), pcm(1, 8000, 16), pattern(7));
    Bytes fmt = cat({pcm_fmt(1, 8000, 16), Bytes{0, 0}});  // cbSize 0 -> 18 bytes
    Bytes expect = wave(cat({chunk("fmt ", fmt), chunk("fact", {3, 0, 0, 0}), chunk("data", pattern(7))}));
    EXPECT_EQ(read_bytes(tmp.path("m.wav")), expect) << "7 data bytes: fact 7/2 = 3, one pad byte";
}

// The fact count ignores the channels: data size / 2 for 16 bit, the data
// size for 8 bit, and for codecs data size / bytes per second x rate.
TEST(CWavFileWrite, FactCountIgnoresChannelsAndUsesRateForCodecs) {
    const WAVEFORMATEX sp = {0x0121, 1, 8000, 1167, 42, 0, 0};
    const struct {
        WAVEFORMATEX format;
        size_t bytes;
        uint32_t fact;
    } rows[] = {{pcm(2, 8000, 16), 400, 200}, {pcm(2, 8000, 8), 400, 400}, {sp, 1167, 8000}};
    TempDir tmp;
    for (const auto& row : rows) {
        write_wave(tmp.path("f.wav"), row.format, pattern(row.bytes));
        EXPECT_EQ(get32(read_bytes(tmp.path("f.wav")), 46), row.fact) << row.format.wFormatTag;
        std::remove(tmp.path("f.wav").c_str());
    }
}

TEST(CWavFileWrite, DictationCodecExtraBytesAreWrittenAsZeros) {
    TempDir tmp;
    struct {
        WAVEFORMATEX f;
        uint8_t extra[2];
    } rec{{0x0120, 1, 8000, 1000, 0, 0, 2}, {0xAB, 0xCD}};
    for (uint16_t tag : {0x0120, 0x0055}) {  // other codecs keep their extra bytes
        rec.f.wFormatTag = tag;
        write_wave(tmp.path(std::to_string(tag)), rec.f, {});
        const Bytes b = read_bytes(tmp.path(std::to_string(tag)));
        ASSERT_EQ(get32(b, 16), 20u) << "fmt chunk of 18 + cbSize bytes";
        EXPECT_EQ(Bytes(b.begin() + 38, b.begin() + 40), (tag == 0x0120 ? Bytes{0, 0} : Bytes{0xAB, 0xCD}));
    }
}

TEST(CWavFileWrite, FullDiskGives43) {
    TempDir tmp;
    CWavFile w;
    WAVEFORMATEX f = pcm(1, 8000, 16);
    w.create_new_wave_file(tmp.path("f.wav").c_str(), MMIO_CREATE | MMIO_READWRITE, &f);
    Bytes big = pattern(200000);
    DiskFullAfter full(0);
    uint32_t code = thrown_code([&] { w.write_data(big.data(), static_cast<uint32_t>(big.size())); });
    EXPECT_EQ(code, 43u);
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

TEST(CWavFileMetadata, IcmtWritesLeaveEveryOtherByteAlone) {
    const Bytes image = pattern(512, 11);
    const Bytes fmt = chunk("fmt ", pcm_fmt(1, 8000, 16));
    const Bytes isft = chunk("ISFT", text("Lavf59"));
    const Bytes data = chunk("data", pattern(101));
    const struct {
        const char* what;
        Bytes before, after;
    } rows[] = {
        {"appended in a new list", plain_wave(), plain_wave(list("INFO", chunk("ICMT", image)))},
        {"overwritten in place", plain_wave(list("INFO", chunk("ICMT", pattern(512, 9)))),
         plain_wave(list("INFO", chunk("ICMT", image)))},
        {"the last list shrinks and the file is cut", plain_wave(list("INFO", chunk("ICMT", pattern(1024)))),
         plain_wave(list("INFO", chunk("ICMT", image)))},
        // The layout many tools write, LIST/INFO between fmt and data: the old
        // list becomes JUNK of the same size, the data chunk stays where it
        // was, a new list with the old sub-chunk and the ICMT follows.
        {"a list before the data is moved to the end", wave(cat({fmt, list("INFO", isft), data})),
         wave(cat({fmt, chunk("JUNK", cat({text("INFO"), isft})), data, list("INFO", cat({isft, chunk("ICMT", image)}))}))},
    };
    TempDir tmp;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        write_bytes(tmp.path("a.wav"), row.before);
        write_icmt(tmp.path("a.wav"), image);
        EXPECT_EQ(read_bytes(tmp.path("a.wav")), row.after);
        CWavFile r;
        r.open_file(tmp.path("a.wav").c_str(), MMIO_READ);
        std::vector<char> got(1024);
        uint32_t n = 0;
        r.read_icmt_chunk(got.data(), 1024, &n);
        EXPECT_EQ(Bytes(got.begin(), got.begin() + n), image);
        EXPECT_EQ(thrown_code([&] { r.read_icmt_chunk(got.data(), 511, &n); }), 25u);
    }
}

TEST(CWavFileMetadata, KeyChunkOf281BytesIsRefused) {
    TempDir tmp;
    write_bytes(tmp.path("k.wav"), plain_wave(list("INFO", chunk("IKEY", pattern(281)))));
    write_bytes(tmp.path("o.wav"), plain_wave(list("INFO", chunk("IKEY", pattern(280)))));
    write_bytes(tmp.path("n.wav"), plain_wave(list("INFO", chunk("ICMT", pattern(10)))));
    uint8_t buf[280];
    CWavFile k;
    k.open_file(tmp.path("k.wav").c_str(), MMIO_READ);
    EXPECT_EQ(thrown_code([&] { k.read_listinfo_subchunk(buf); }), 25u);
    CWavFile o;
    o.open_file(tmp.path("o.wav").c_str(), MMIO_READ);
    uint32_t n = 0;
    o.read_listinfo_subchunk(buf, &n);
    EXPECT_EQ(n, 280u);
    EXPECT_EQ(Bytes(buf, buf + 280), pattern(280));
    CWavFile none;
    none.open_file(tmp.path("n.wav").c_str(), MMIO_READ);
    EXPECT_EQ(thrown_code([&] { none.read_listinfo_subchunk(buf); }), 26u);
    CWavFile nolist;
    write_bytes(tmp.path("p.wav"), plain_wave());
    nolist.open_file(tmp.path("p.wav").c_str(), MMIO_READ);
    EXPECT_EQ(thrown_code([&] { nolist.read_listinfo_subchunk(buf); }), 26u);
}

TEST(CWavFileMetadata, KeyChunkJoinsTheExistingListAndKeepsItsIcmt) {
    TempDir tmp;
    const Bytes icmt = chunk("ICMT", pattern(512, 3));
    write_bytes(tmp.path("a.wav"), plain_wave(list("INFO", icmt)));
    const Bytes key = pattern(280, 5);
    {
        CWavFile w;
        w.open_file(tmp.path("a.wav").c_str(), MMIO_READWRITE);
        w.write_listinfo_subchunk(key.data());
    }
    Bytes expect = plain_wave(list("INFO", cat({icmt, chunk("IKEY", key)})));
    EXPECT_EQ(read_bytes(tmp.path("a.wav")), expect);
}

TEST(CWavFileMetadata, RefusesLayoutsItCannotExtendAndWritesNothing) {
    TempDir tmp;
    write_bytes(tmp.path("a.wav"), plain_wave());
    EXPECT_EQ(thrown_code([&] { write_icmt(tmp.path("a.wav"), pattern(512), MMIO_READ); }), 43u) << "opened read-only";
    // data says 4000 bytes but the file ends after 10: an append would land
    // inside the data chunk.
    const Bytes truncated = wave(cat({chunk("fmt ", pcm_fmt(1, 8000, 16)), chunk_with_size("data", 4000, pattern(10))}));
    // bytes behind the RIFF form (an appended tag of some other format)
    const Bytes trailing = cat({plain_wave(), text("TAG-trailing")});
    const Bytes image = pattern(512);
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
    Bytes b = read_bytes(tmp.path("a.wav"));
    Bytes cue_bytes;
    for (uint32_t v : {1u, 1u, 2u, mmioFOURCC('d', 'a', 't', 'a'), 4u, 5u, 6u}) put32(cue_bytes, v);
    Bytes expect = plain_wave(chunk("cue ", cue_bytes));
    EXPECT_EQ(b, expect);

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
    write_bytes(tmp.path("none.wav"), plain_wave());
    CWavFile n;
    n.open_file(tmp.path("none.wav").c_str(), MMIO_READ);
    EXPECT_EQ(n.read_cue_chunk(&back), 26u);
}

TEST(CWavFileMetadata, ListSizeAndListAreThoseOfTheInfoList) {
    TempDir tmp;
    // Only a list of labels: there is no INFO list to measure.
    write_bytes(tmp.path("a.wav"), plain_wave(list("adtl", chunk("labl", pattern(6)))));
    CWavFile r;
    r.open_file(tmp.path("a.wav").c_str(), MMIO_READ);
    uint32_t size = 0;
    EXPECT_EQ(r.get_sizeof_list(&size), 16u);

    // The labels first, then the INFO list: its size, and its content.
    auto both = list("adtl", chunk("labl", pattern(40)));
    const auto info = list("INFO", chunk("ICMT", pattern(6)));
    both.insert(both.end(), info.begin(), info.end());
    write_bytes(tmp.path("b.wav"), plain_wave(both));
    CWavFile n;
    n.open_file(tmp.path("b.wav").c_str(), MMIO_READ);
    ASSERT_EQ(n.get_sizeof_list(&size), 0u);
    EXPECT_EQ(size, 18u);
    std::vector<uint8_t> buf(size);
    n.read_list_chunk(buf.data(), size);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 14), std::vector<uint8_t>(info.begin() + 12, info.end()));
}

TEST(CWavFileMapping, PlatformErrorsBecomeResultCodes) {
    xkrvlog::Capture cap;
    EXPECT_EQ(VKT_map_mmio_to_vkt_error(0), 0u);
    EXPECT_EQ(VKT_map_mmio_to_vkt_error(MMIOERR_FILENOTFOUND), 13u);
    EXPECT_EQ(VKT_map_mmio_to_vkt_error(MMIOERR_CANNOTWRITE), 43u);
    EXPECT_EQ(VKT_map_mmio_to_vkt_error(MMIOERR_CHUNKNOTFOUND), 16u);
    EXPECT_EQ(VKT_map_mmio_to_vkt_error(MMIOERR_PATHNOTFOUND), 13u);
    EXPECT_EQ(VKT_map_mmio_to_vkt_error(MMIOERR_ACCESSDENIED), 14u);
    EXPECT_EQ(VKT_map_mmio_to_vkt_error(MMIOERR_INVALIDFILE), 14u);
    EXPECT_EQ(VKT_map_mmio_to_vkt_error(MMIOERR_SHARINGVIOLATION), 10u);
    EXPECT_EQ(VKT_map_mmio_to_vkt_error(999), 10u);
    EXPECT_TRUE(cap.contains_error(999, "case default: no MMIOERR_ matched -> VKT_ERR"));
    EXPECT_TRUE(cap.contains("MMSYSERR_NOERROR -> no error will be thrown"));
}
