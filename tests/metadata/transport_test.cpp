// Header image and marker transport through the exports on WAV and MP3 files.
#include <cstring>

#include "OrvaneVktapi.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "support/riff_bytes.h"

using namespace orvkt_test;
using namespace riff_bytes;

namespace {

using edit_test::marker_array;

Bytes key_chunk(const Bytes& markers) { return cat({text("SpokenInstructionMarkers"), markers}); }

}  // namespace

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
    const std::string mp3 = tmp.path("keep.mp3");
    write_bytes(mp3, read_bytes(data_path("dictation_v23.mp3")));
    const Bytes before = read_bytes(mp3);
    ASSERT_EQ(ORVKTCopyDSSHeaders(tmp.path("text.wav").c_str(), mp3.c_str(), 1, 0), 0u);
    EXPECT_EQ(read_bytes(mp3), before);
}
