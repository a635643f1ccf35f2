// Destination names, and the format and length queries on every kind of file.
#include <gtest/gtest.h>

#include "conv_files.h"
#include "convert/conv_entry.h"
#include "convert/format_queries.h"

using namespace conv_test;
using namespace orvkt_test;

TEST(DestinationPath, NamedDestinationOrBesideTheSource) {
    char path[VKT_MAX_PATH], tmp[VKT_MAX_PATH];
    ASSERT_EQ(CreateDestinationFilePath("/rec/in.dss", "/out/memo.wav", path, ".Wav", tmp, sizeof tmp), VKT_OK);
    EXPECT_STREQ(path, "/out/memo.wav");
    EXPECT_STREQ(tmp, "/out/~memo.vkt");
    // A folder as destination: the source's folder and name, the given extension.
    ASSERT_EQ(CreateDestinationFilePath("/rec/in.dss", "/out/", path, ".Wav", tmp, sizeof tmp), VKT_OK);
    EXPECT_STREQ(path, "/rec/in.Wav");
    EXPECT_STREQ(tmp, "/rec/~in.vkt");
    ASSERT_EQ(CreateDestinationFilePath("rel/in.wav", "", path, ".Dss"), VKT_OK);
    EXPECT_STREQ(path, "rel/in.Dss");
    // Without a temporary buffer only the path is made.
    std::memset(tmp, 'x', sizeof tmp);
    ASSERT_EQ(CreateDestinationFilePath("a.wav", "b.dss", path, ".Dss"), VKT_OK);
    EXPECT_EQ(tmp[0], 'x');
    EXPECT_EQ(CreateDestinationFilePath("/rec/noext", "/out/", path, ".Wav"), VKT_ERR_FILE_NAME);
    EXPECT_EQ(CreateDestinationFilePath("a.wav", nullptr, path, ".Wav"), VKT_ERR_FILE_NAME);
    const std::string longname = "/" + std::string(300, 'n') + ".wav";
    EXPECT_EQ(CreateDestinationFilePath("a.dss", longname.c_str(), path, ".Wav"), VKT_ERR_FILE_NAME);
}

// MP3: the first frame's (18 bytes written); WMA: the mono PCM it converts to (the rest zeros).
TEST(FormatQueries, ReadWavFormatOfEveryKindOfFile) {
    TempDir tmp;
    ASSERT_EQ(ORVKTCreateDSSTemplate(tmp.path("MEMO.DS2").c_str(), nullptr, 6), VKT_OK);
    write_bytes(tmp.path("in.wav"), wav_bytes(sp_format(), Bytes(84, 0)));  // 18-byte fmt
    write_bytes(tmp.path("noext"), read_bytes(tmp.path("in.wav")));                  // read as WAV
    write_bytes(tmp.path("S.WMA"), read_bytes(data_path("speech_stereo.wma")));
    const Format sp{WAVE_FORMAT_DSS_SP, 1, 12000, 1750, 42, 0, 0},
        qp{WAVE_FORMAT_DSS_SP, 1, 16000, 3563, 57, 0, 0}, g723{WAVE_FORMAT_DSS_LP, 1, 8000, 834, 25, 0, 0},
        mp3{WAVE_FORMAT_MPEGLAYER3, 1, 8000, 2000, 1, 0, 12}, wma{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0}, none{};
    constexpr int kKept = 0xAB, kAny = -1;
    const struct {
        std::string path;
        uint32_t size, code;
        Format format;
        int tail;  // what the bytes behind the 18 of the record hold afterwards
    } rows[] = {
        {tmp.path("MEMO.DS2"), 18, VKT_OK, qp, kAny},
        {tmp.path("MEMO.DS2"), 16, VKT_ERR_WAVFMT_TOO_SMALL, none, kAny},
        {data_path("speech_lp.dss"), 18, VKT_OK, g723, kAny},
        {tmp.path("none.dss"), 18, VKT_ERR_INVALID_COMPRESSIONID, none, kAny},
        {tmp.path("in.wav"), 16, VKT_ERR_WAVFMT_TOO_SMALL, none, kAny},
        {tmp.path("in.wav"), 18, VKT_OK, sp, kAny},
        {tmp.path("noext"), 18, VKT_OK, sp, kAny},
        {tmp.path("none.wav"), 18, VKT_ERR_FILE_NAME, none, kAny},
        {data_path("no_priv.mp3"), 40, VKT_OK, mp3, kKept},
        {data_path("speech_mono.wma"), 18, VKT_OK, wma, kAny},
        {tmp.path("S.WMA"), 40, VKT_OK, wma, 0},  // halved from stereo
        {data_path("speech_mono.wma"), 16, VKT_ERR_WAVFMT_TOO_SMALL, none, kAny},
        {tmp.path("x.wma"), 18, VKT_ERR_OPEN_FILE, none, kAny},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path + " into " + std::to_string(r.size));
        uint8_t buffer[40];
        std::memset(buffer, kKept, sizeof buffer);
        ASSERT_EQ(ORVKTReadWAVFormat(r.path.c_str(), reinterpret_cast<WAVEFORMATEX*>(buffer), r.size), r.code);
        if (r.code != VKT_OK) continue;
        WAVEFORMATEX f;
        std::memcpy(&f, buffer, sizeof f);
        EXPECT_EQ(unpack(f), r.format);
        for (size_t i = sizeof f; r.tail != kAny && i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], r.tail) << i;
    }
}

TEST(FormatQueries, SoundLengthOfEveryKindOfFile) {
    TempDir tmp;
    write_bytes(tmp.path("in.wav"), wav_bytes(pcm_format(12000), Bytes(48000, 0)));
    write_bytes(tmp.path("lp.wav"), wav_bytes(lp_format(), Bytes(1000, 0)));
    WAVEFORMATEX zero = pcm_format(12000);
    zero.nAvgBytesPerSec = 0;
    write_bytes(tmp.path("zero.wav"), wav_bytes(zero, Bytes(100, 0)));
    write_bytes(tmp.path("empty.wma"), {});
    const struct {
        std::string path;
        uint32_t code, ms;
    } rows[] = {
        {tmp.path("in.wav"), VKT_OK, 2000},
        {tmp.path("lp.wav"), VKT_OK, 856},  // truncated, not rounded: 1000 bytes at 1167/s
        {tmp.path("zero.wav"), VKT_ERR_INVALID_WAVFMT, 0},
        // The 16 frames ffprobe counts, of 72 ms (576 samples at 8000/s).
        {data_path("no_priv.mp3"), VKT_OK, 1152},
        {tmp.path("x.wma"), VKT_ERR_OPEN_FILE, 0},
        {tmp.path("empty.wma"), VKT_ERR_OPEN_FILE, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        uint32_t ms = 77;
        EXPECT_EQ(ORVKTWAVGetSndDataLength(r.path.c_str(), &ms), r.code);
        EXPECT_TRUE(r.code == VKT_ERR_OPEN_FILE || ms == r.ms) << ms;
    }
    uint32_t ms = 0;
    EXPECT_NE(ORVKTWAVGetSndDataLength(tmp.path("none.wav").c_str(), &ms), VKT_OK);
}

