// Header image and marker transport through the exports, on WAV and MP3
// files: where each is stored, what is refused, and what stays untouched.
#include <cstring>

#include "OrvaneVktapi.h"
#include "support/dss_bytes.h"
#include "metadata/header_transport.h"
#include "support/test_support.h"
#include "wav/wav_file.h"
#include "support/riff_bytes.h"

using namespace orvkt_test;
using namespace riff_bytes;

namespace {

Bytes plain_wave(const Bytes& extra_chunks = {}) {
    return wave(cat({chunk("fmt ", pcm_fmt(1, 8000, 16)), chunk("data", pattern(16)), extra_chunks}));
}

using edit_test::marker_array;

Bytes key_chunk(const Bytes& markers) { return cat({text("SpokenInstructionMarkers"), markers}); }

std::string copy_fixture(const TempDir& tmp, const std::string& name, const std::string& as) {
    write_bytes(tmp.path(as), read_bytes(data_path(name)));
    return tmp.path(as);
}

}  // namespace

TEST(HeaderTransportWav, ImageComesFromTheCommentChunk) {
    TempDir tmp;
    const Bytes image = dss_test::zrm2_image(1024);
    write_bytes(tmp.path("a.wav"), plain_wave(list("INFO", chunk("ICMT", image))));
    Bytes got(1536, 0xEE);
    uint32_t len = 1536;
    ASSERT_EQ(ReadZRM2HeaderDataToMemory(tmp.path("a.wav").c_str(), got.data(), &len), 0u);
    EXPECT_EQ(len, 1024u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), got.begin()));

    len = 512;
    ASSERT_EQ(ReadZRM2HeaderDataToMemory(tmp.path("a.wav").c_str(), got.data(), &len), 0u);
    EXPECT_EQ(len, 0u) << "a comment larger than the buffer counts as none";

    uint32_t cls = 99;
    ASSERT_EQ(ORVKTIsValidZRM2File(tmp.path("a.wav").c_str(), &cls), 0u);
    EXPECT_EQ(cls, 2u);

    write_bytes(tmp.path("short.wav"), plain_wave(list("INFO", chunk("ICMT", Bytes(image.begin(), image.begin() + 511)))));
    write_bytes(tmp.path("none.wav"), plain_wave());
    for (const char* name : {"short.wav", "none.wav"}) {
        len = 1024;
        ASSERT_EQ(ReadZRM2HeaderDataToMemory(tmp.path(name).c_str(), got.data(), &len), 0u);
        EXPECT_EQ(len, 0u) << name;
        cls = 99;
        ASSERT_EQ(ORVKTIsValidZRM2File(tmp.path(name).c_str(), &cls), 0u);
        EXPECT_EQ(cls, 0u) << name;
    }
    EXPECT_EQ(ORVKTIsValidZRM2File(tmp.path("missing.wav").c_str(), &cls), 13u);
}

TEST(HeaderTransportWav, RecordReadAndWrittenBack) {
    TempDir tmp;
    const Bytes image = dss_test::zrm2_image(1024);
    write_bytes(tmp.path("a.wav"), plain_wave(list("INFO", chunk("ICMT", image))));
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(tmp.path("a.wav").c_str(), &info), 0u);
    EXPECT_EQ(info.dwLengthMs, 90000u);
    EXPECT_EQ(std::string(info.aachText[1], 10), "Cardiology");

    std::memcpy(info.aachText[1], "Neurology\0", 10);
    info.dwLengthMs = 4321;
    ASSERT_EQ(ORVKTWriteZRM2Header(tmp.path("a.wav").c_str(), &info), 0u);
    Bytes expect_image = image;
    dss_test::put_text(expect_image, 576, std::string("Neurology\0", 10));
    dss_test::put32(expect_image, 530, 4321);
    // The extension texts were 0xFF (never written) and read as empty: the
    // full record writes them back as zeros.
    std::fill(expect_image.begin() + 876, expect_image.begin() + 936, 0);
    EXPECT_EQ(read_bytes(tmp.path("a.wav")), plain_wave(list("INFO", chunk("ICMT", expect_image))))
        << "only the changed fields differ; the chunk keeps its place and size";

    info.dwSize = 400;
    EXPECT_EQ(ORVKTReadZRM2Header(tmp.path("a.wav").c_str(), &info), 36u);
    EXPECT_EQ(ORVKTWriteZRM2Header(tmp.path("a.wav").c_str(), &info), 36u);
    info.dwSize = ZRM2HEADERINFO_SIZE_SHORT;
}

TEST(HeaderTransportWav, OnlyOurOwnHeadersAreWritten) {
    TempDir tmp;
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    // Grundig (1) and Olympus (2) headers are read but never written.
    for (uint32_t licensee : {1u, 2u}) {
        const Bytes foreign = plain_wave(list("INFO", chunk("ICMT", dss_test::zrm2_image(512, 1, "dss", licensee))));
        write_bytes(tmp.path("f.wav"), foreign);
        ASSERT_EQ(ORVKTReadZRM2Header(tmp.path("f.wav").c_str(), &info), 0u);
        EXPECT_EQ(info.dwLicenseeId, licensee);
        EXPECT_EQ(ORVKTWriteZRM2Header(tmp.path("f.wav").c_str(), &info), 38u);
        EXPECT_EQ(read_bytes(tmp.path("f.wav")), foreign);
    }
    // Licensee 3 with one block but 0xFFFE at byte 32: not a dictation header.
    write_bytes(tmp.path("odd.wav"), plain_wave(list("INFO", chunk("ICMT", dss_test::zrm2_image(512, 2, "dss")))));
    EXPECT_EQ(ORVKTReadZRM2Header(tmp.path("odd.wav").c_str(), &info), 38u);
    write_bytes(tmp.path("none.wav"), plain_wave());
    EXPECT_EQ(ORVKTReadZRM2Header(tmp.path("none.wav").c_str(), &info), 38u);
}

TEST(MarkersWav, KeyChunkRulesAndInPlaceRewrite) {
    TempDir tmp;
    const Bytes markers = marker_array({{1000, 2000}, {5000, 7000}});
    uint8_t got[256];
    Bytes cut = key_chunk(markers);
    cut.resize(279);
    write_bytes(tmp.path("short.wav"), plain_wave(list("INFO", chunk("IKEY", cut))));
    EXPECT_EQ(ORVKTReadSpokenInstructionMarkers(tmp.path("short.wav").c_str(), got), 26u);
    Bytes other = key_chunk(markers);
    other[0] = 'X';
    write_bytes(tmp.path("other.wav"), plain_wave(list("INFO", chunk("IKEY", other))));
    EXPECT_EQ(ORVKTReadSpokenInstructionMarkers(tmp.path("other.wav").c_str(), got), 26u);
    write_bytes(tmp.path("none.wav"), plain_wave());
    EXPECT_EQ(ORVKTReadSpokenInstructionMarkers(tmp.path("none.wav").c_str(), got), 26u);
    EXPECT_EQ(ORVKTReadSpokenInstructionMarkers(tmp.path("missing.wav").c_str(), got), 13u);

    // The list with the header is the last chunk: the key joins it.
    const Bytes icmt = chunk("ICMT", dss_test::zrm2_image(1024));
    write_bytes(tmp.path("a.wav"), plain_wave(list("INFO", icmt)));
    ASSERT_EQ(ORVKTWriteSpokenInstructionMarkers(tmp.path("a.wav").c_str(), markers.data()), 0u);
    EXPECT_EQ(read_bytes(tmp.path("a.wav")), plain_wave(list("INFO", cat({icmt, chunk("IKEY", key_chunk(markers))}))));
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(tmp.path("a.wav").c_str(), got), 0u);
    EXPECT_EQ(Bytes(got, got + 256), markers);

    const Bytes second = marker_array({{10, 20}});
    ASSERT_EQ(ORVKTWriteSpokenInstructionMarkers(tmp.path("a.wav").c_str(), second.data()), 0u);
    EXPECT_EQ(read_bytes(tmp.path("a.wav")), plain_wave(list("INFO", cat({icmt, chunk("IKEY", key_chunk(second))}))));
}

TEST(MarkersWav, ExtractCreatesACarrierFile) {
    TempDir tmp;
    const Bytes markers = marker_array({{0, 1500}});
    write_bytes(tmp.path("src.wav"), plain_wave(list("INFO", chunk("IKEY", key_chunk(markers)))));
    ASSERT_EQ(ORVKTExtractSpokenInstructionMarkers(tmp.path("src.wav").c_str(), tmp.path("new.wav").c_str()), 0u);
    Bytes fmt;
    put16(fmt, 0x0121);
    put16(fmt, 1);
    put32(fmt, 16000);
    put32(fmt, 32000);
    put16(fmt, 2);
    put16(fmt, 16);
    put16(fmt, 0);
    const Bytes expect = wave(cat({chunk("fmt ", fmt), chunk("fact", {0, 0, 0, 0}), chunk("data", {}),
                                   list("INFO", chunk("IKEY", key_chunk(markers)))}));
    EXPECT_EQ(read_bytes(tmp.path("new.wav")), expect);
    EXPECT_EQ(ORVKTExtractSpokenInstructionMarkers(tmp.path("none.wav").c_str(), tmp.path("x.wav").c_str()), 13u);
    EXPECT_FALSE(file_exists(tmp.path("x.wav"))) << "nothing is created when the source has no markers";

    // Only a WAV file can be made to carry them: a missing DSS, DS2 or MP3
    // destination is an error and leaves nothing.
    for (const char* name : {"x.dss", "x.ds2", "x.mp3"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ORVKTExtractSpokenInstructionMarkers(tmp.path("src.wav").c_str(), tmp.path(name).c_str()), 14u);
        EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"new.wav", "src.wav"}));
    }
}

TEST(CopyHeaders, WavToWavWithAndWithoutMarkers) {
    TempDir tmp;
    const Bytes image = dss_test::zrm2_image(1536);
    // bH3 set but the source has no key chunk: headers 1 and 2 still travel
    // (the copy reads at most 1024 bytes).
    write_bytes(tmp.path("src.wav"), plain_wave(list("INFO", chunk("ICMT", image))));
    write_bytes(tmp.path("dst.wav"), plain_wave());
    ASSERT_EQ(ORVKTCopyDSSHeaders(tmp.path("src.wav").c_str(), tmp.path("dst.wav").c_str(), 1, 1), 0u);
    // capacity 1024 < 1536: the source's comment does not fit, nothing is copied
    EXPECT_EQ(read_bytes(tmp.path("dst.wav")), plain_wave());

    const Bytes image2 = dss_test::zrm2_image(1024);
    write_bytes(tmp.path("src2.wav"), plain_wave(list("INFO", chunk("ICMT", image2))));
    ASSERT_EQ(ORVKTCopyDSSHeaders(tmp.path("src2.wav").c_str(), tmp.path("dst.wav").c_str(), 1, 1), 0u);
    EXPECT_EQ(read_bytes(tmp.path("dst.wav")), plain_wave(list("INFO", chunk("ICMT", image2))));

    const Bytes markers = marker_array({{1, 2}});
    write_bytes(tmp.path("src3.wav"), plain_wave(list("INFO", chunk("IKEY", key_chunk(markers)))));
    write_bytes(tmp.path("dst3.wav"), plain_wave());
    ASSERT_EQ(ORVKTCopyDSSHeaders(tmp.path("src3.wav").c_str(), tmp.path("dst3.wav").c_str(), 0, 1), 0u);
    EXPECT_EQ(read_bytes(tmp.path("dst3.wav")), plain_wave(list("INFO", chunk("IKEY", key_chunk(markers)))));

    // A long text comment of another program is not carried as a header.
    write_bytes(tmp.path("text.wav"), plain_wave(list("INFO", chunk("ICMT", Bytes(600, 'x')))));
    const std::string mp3 = copy_fixture(tmp, "dictation_v23.mp3", "keep.mp3");
    const Bytes before = read_bytes(mp3);
    ASSERT_EQ(ORVKTCopyDSSHeaders(tmp.path("text.wav").c_str(), mp3.c_str(), 1, 0), 0u);
    EXPECT_EQ(read_bytes(mp3), before);
}

TEST(HeaderTransportMp3, RecordAndMarkersFromTheMutagenFile) {
    TempDir tmp;
    const std::string mp3 = copy_fixture(tmp, "dictation_v23.mp3", "d.MP3");
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(mp3.c_str(), &info), 0u);
    EXPECT_EQ(std::string(info.achH1Text, 11), "Dr. Example");
    EXPECT_EQ(std::string(info.aachText[0], 13), "Typist M\xFCller");
    EXPECT_EQ(info.wCompressionId, 6);
    uint32_t cls = 0;
    ASSERT_EQ(ORVKTIsValidZRM2File(mp3.c_str(), &cls), 0u);
    EXPECT_EQ(cls, 2u);

    uint8_t got[256];
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(mp3.c_str(), got), 0u);
    EXPECT_EQ(Bytes(got, got + 256), marker_array({{1000, 2500}, {5000, 6000}}));

    const Bytes markers = marker_array({{300, 400}});
    ASSERT_EQ(ORVKTWriteSpokenInstructionMarkers(mp3.c_str(), markers.data()), 0u);
    Bytes image(1536);
    uint32_t len = 1536;
    ASSERT_EQ(ReadZRM2HeaderDataToMemory(mp3.c_str(), image.data(), &len), 0u);
    EXPECT_EQ(len, 1536u);
    const Bytes original = read_bytes(data_path("dictation_header.bin"));
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + 1024, image.begin())) << "headers 1 and 2 kept";
    EXPECT_EQ(Bytes(image.begin() + 1024, image.begin() + 1280), markers);
    EXPECT_EQ(Bytes(image.begin() + 1280, image.end()), Bytes(256, 0xFF));

    info.dwLengthMs = 777;
    ASSERT_EQ(ORVKTWriteZRM2Header(mp3.c_str(), &info), 0u);
    ZRM2HeaderInfo back{};
    back.dwSize = ZRM2HEADERINFO_SIZE_SHORT;
    ASSERT_EQ(ORVKTReadZRM2Header(mp3.c_str(), &back), 0u);
    EXPECT_EQ(back.dwLengthMs, 777u);

    // From the MP3 into a WAV file: header and markers both arrive.
    write_bytes(tmp.path("out.wav"), plain_wave());
    ASSERT_EQ(ORVKTCopyDSSHeaders(mp3.c_str(), tmp.path("out.wav").c_str(), 1, 1), 0u);
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(tmp.path("out.wav").c_str(), got), 0u);
    EXPECT_EQ(Bytes(got, got + 256), markers);
    ASSERT_EQ(ORVKTReadZRM2Header(tmp.path("out.wav").c_str(), &back), 0u);
    EXPECT_EQ(back.dwLengthMs, 777u);

    const std::string plain = copy_fixture(tmp, "no_priv.mp3", "p.mp3");
    EXPECT_EQ(ORVKTReadSpokenInstructionMarkers(plain.c_str(), got), 47u);
    EXPECT_EQ(ORVKTWriteSpokenInstructionMarkers(plain.c_str(), markers.data()), 47u);
    EXPECT_EQ(ORVKTCopyDSSHeaders(plain.c_str(), tmp.path("out.wav").c_str(), 0, 1), 0u) << "47: no markers to copy";
}

TEST(HeaderTransportPeers, FfmpegCommentIsReadAndTheFileStaysPlayable) {
    ORVKT_REQUIRE_PROGRAM("ffprobe");
    TempDir tmp;
    const std::string wav = copy_fixture(tmp, "ffmpeg_comment.wav", "c.wav");
    {
        // Our WAV reader sees ffmpeg's LIST/INFO comment.
        CWavFile r;
        r.open_file(wav.c_str(), MMIO_READ);
        std::vector<char> comment(64, 0);
        uint32_t n = 0;
        r.read_icmt_chunk(comment.data(), 64, &n);
        EXPECT_EQ(std::string(comment.data(), n), std::string("Recorded on the ward round\0", 27));
    }
    uint32_t cls = 9;
    ASSERT_EQ(ORVKTIsValidZRM2File(wav.c_str(), &cls), 0u);
    EXPECT_EQ(cls, 0u) << "a short text comment is no header";

    // The list sits before the data chunk; adding markers must keep the
    // audio readable by ffprobe with the same duration.
    const Bytes markers = marker_array({{100, 200}});
    ASSERT_EQ(ORVKTWriteSpokenInstructionMarkers(wav.c_str(), markers.data()), 0u);
    uint8_t got[256];
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(wav.c_str(), got), 0u);
    EXPECT_EQ(Bytes(got, got + 256), markers);
    auto probe = run_command("ffprobe -v error -show_entries format=duration:format_tags=comment -of default=nw=1 " +
                             shell_quote(wav), false);
    ASSERT_EQ(probe.status, 0) << probe.output;
    EXPECT_NE(probe.output.find("duration=0.500000"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("Recorded on the ward round"), std::string::npos) << probe.output;
}
