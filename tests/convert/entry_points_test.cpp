// Destination names, the DSS format check, the format and length queries,
// and conversions running side by side on several threads.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "OrvaneVktapi.h"
#include "conv_files.h"
#include "convert/conv_entry.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"

using namespace conv_test;
using orvkt_test::data_path;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

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

TEST(DssFormatCheck, OnlyThePackableFormats) {
    const WAVEFORMATEX sp = sp_format(), lp = lp_format(), qp = qp_format();
    EXPECT_TRUE(IsValidDSSWaveFormatEx(&sp));
    EXPECT_TRUE(IsValidDSSWaveFormatEx(&lp));
    EXPECT_TRUE(IsValidDSSWaveFormatEx(&qp));
    EXPECT_FALSE(IsValidDSSWaveFormatEx(nullptr));
    const WAVEFORMATEX g723{WAVE_FORMAT_DSS_LP, 1, 8000, 834, 25, 0, 0};
    EXPECT_TRUE(IsValidDSSWaveFormatEx(&g723));
    WAVEFORMATEX g723_at_12000 = g723;
    g723_at_12000.nSamplesPerSec = 12000;
    EXPECT_FALSE(IsValidDSSWaveFormatEx(&g723_at_12000));
    WAVEFORMATEX f = sp;
    f.nChannels = 2;
    EXPECT_FALSE(IsValidDSSWaveFormatEx(&f));
    f = sp;
    f.wBitsPerSample = 16;
    EXPECT_FALSE(IsValidDSSWaveFormatEx(&f));
    f = sp;
    f.cbSize = 2;
    EXPECT_FALSE(IsValidDSSWaveFormatEx(&f));
    f = qp;
    f.nBlockAlign = 42;
    EXPECT_FALSE(IsValidDSSWaveFormatEx(&f));
    f = lp;
    f.nAvgBytesPerSec = 1750;
    EXPECT_FALSE(IsValidDSSWaveFormatEx(&f));
}

// The codec format of every compression identifier, as the DSS converter
// and the callers rely on it (written out by hand).
TEST(ReadWavFormat, FormatPerCompressionId) {
    TempDir tmp;
    const struct {
        uint8_t id;
        uint16_t tag;
        uint32_t rate, bytes_per_second;
        uint16_t block;
    } rows[] = {
        {0, WAVE_FORMAT_DSS_SP, 12000, 1750, 42}, {1, WAVE_FORMAT_DSS_SP, 12000, 1750, 42},
        {2, WAVE_FORMAT_DSS_LP, 8000, 834, 25},   {3, WAVE_FORMAT_DSS_LP, 8000, 834, 25},
        {4, WAVE_FORMAT_DSS_SP, 8000, 1167, 42},  {6, WAVE_FORMAT_DSS_SP, 16000, 3563, 57},
        {7, WAVE_FORMAT_DSS_SP, 16000, 3563, 57},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(int(r.id));
        edit_test::Recording rec;
        rec.self_id = r.id >= 6 ? "ds2" : "dss";
        rec.id = r.id;
        rec.frames = edit_test::random_frames(20, edit_test::frame_size_of(r.id), r.id);
        const std::string path = tmp.path(r.id >= 6 ? "r.ds2" : "r.dss");
        write_bytes(path, edit_test::build(rec));
        WAVEFORMATEX f{};
        ASSERT_EQ(ORVKTReadWAVFormat(path.c_str(), &f, sizeof f), VKT_OK);
        const Format u = unpack(f);
        EXPECT_EQ(u.wFormatTag, r.tag);
        EXPECT_EQ(u.nChannels, 1);
        EXPECT_EQ(u.nSamplesPerSec, r.rate);
        EXPECT_EQ(u.nAvgBytesPerSec, r.bytes_per_second);
        EXPECT_EQ(u.nBlockAlign, r.block);
        EXPECT_EQ(u.wBitsPerSample, 0);
        EXPECT_EQ(u.cbSize, 0);
    }
}

TEST(ReadWavFormat, EveryKindOfFile) {
    TempDir tmp;
    // A DS2 file in capitals: the format of its compression id.
    const std::string ds2 = tmp.path("MEMO.DS2");
    ASSERT_EQ(ORVKTCreateDSSTemplate(ds2.c_str(), nullptr, 6), VKT_OK);
    WAVEFORMATEX f{};
    ASSERT_EQ(ORVKTReadWAVFormat(ds2.c_str(), &f, sizeof f), VKT_OK);
    Format u = unpack(f);
    EXPECT_EQ(u.wFormatTag, WAVE_FORMAT_DSS_SP);
    EXPECT_EQ(u.nChannels, 1);
    EXPECT_EQ(u.nSamplesPerSec, 16000u);
    EXPECT_EQ(u.nAvgBytesPerSec, 3563u);
    EXPECT_EQ(u.nBlockAlign, 57);
    EXPECT_EQ(u.wBitsPerSample, 0);
    EXPECT_EQ(u.cbSize, 0);
    EXPECT_EQ(ORVKTReadWAVFormat(ds2.c_str(), &f, 16), VKT_ERR_WAVFMT_TOO_SMALL);
    // The long-play fixture.
    ASSERT_EQ(ORVKTReadWAVFormat(data_path("speech_lp.dss").c_str(), &f, sizeof f), VKT_OK);
    u = unpack(f);
    EXPECT_EQ(u.wFormatTag, WAVE_FORMAT_DSS_LP);
    EXPECT_EQ(u.nAvgBytesPerSec, 834u);
    EXPECT_EQ(u.nBlockAlign, 25);
    // A DSS file that cannot be opened has no compression id.
    EXPECT_EQ(ORVKTReadWAVFormat(tmp.path("none.dss").c_str(), &f, sizeof f), VKT_ERR_INVALID_COMPRESSIONID);

    // WAV: the fmt chunk as it stands; a buffer smaller than it is refused.
    const std::string wav = tmp.path("in.wav");
    write_bytes(wav, wav_bytes(sp_format(), Bytes(84, 0), {}, {}));  // 18-byte fmt
    EXPECT_EQ(ORVKTReadWAVFormat(wav.c_str(), &f, 16), VKT_ERR_WAVFMT_TOO_SMALL);
    ASSERT_EQ(ORVKTReadWAVFormat(wav.c_str(), &f, sizeof f), VKT_OK);
    EXPECT_EQ(unpack(f).nAvgBytesPerSec, 1750u);
    // A name without extension is read as WAV.
    const std::string noext = tmp.path("noext");
    write_bytes(noext, read_bytes(wav));
    ASSERT_EQ(ORVKTReadWAVFormat(noext.c_str(), &f, sizeof f), VKT_OK);
    EXPECT_EQ(unpack(f).nSamplesPerSec, 12000u);

    // MP3 through the frame-header reader; 18 bytes are written.
    uint8_t buffer[40];
    std::memset(buffer, 0xAB, sizeof buffer);
    ASSERT_EQ(ORVKTReadWAVFormat(data_path("no_priv.mp3").c_str(), reinterpret_cast<WAVEFORMATEX*>(buffer),
                                 sizeof buffer),
              VKT_OK);
    WAVEFORMATEX raw;
    std::memcpy(&raw, buffer, sizeof raw);
    const Format mp3 = unpack(raw);
    EXPECT_EQ(mp3.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    EXPECT_EQ(mp3.nSamplesPerSec, 8000u);
    EXPECT_EQ(mp3.nChannels, 1);
    EXPECT_EQ(mp3.cbSize, 12);
    EXPECT_EQ(buffer[18], 0xAB);

    // A WMA file that is not there (WMA formats: tests/media).
    EXPECT_EQ(ORVKTReadWAVFormat(tmp.path("x.wma").c_str(), &f, sizeof f), VKT_ERR_OPEN_FILE);
    EXPECT_NE(ORVKTReadWAVFormat(tmp.path("none.wav").c_str(), &f, sizeof f), VKT_OK);
}

TEST(SoundLength, WavAndMp3) {
    TempDir tmp;
    const std::string wav = tmp.path("in.wav");
    write_bytes(wav, wav_bytes(pcm_format(12000), Bytes(48000, 0)));
    uint32_t ms = 0;
    ASSERT_EQ(ORVKTWAVGetSndDataLength(wav.c_str(), &ms), VKT_OK);
    EXPECT_EQ(ms, 2000u);
    // Truncated, not rounded: 1167 bytes/s, 1000 bytes -> 856.9 ms.
    write_bytes(wav, wav_bytes(lp_format(), Bytes(1000, 0), {}, {}));
    ASSERT_EQ(ORVKTWAVGetSndDataLength(wav.c_str(), &ms), VKT_OK);
    EXPECT_EQ(ms, 856u);
    WAVEFORMATEX zero = pcm_format(12000);
    zero.nAvgBytesPerSec = 0;
    write_bytes(wav, wav_bytes(zero, Bytes(100, 0)));
    ms = 77;
    EXPECT_EQ(ORVKTWAVGetSndDataLength(wav.c_str(), &ms), VKT_ERR_INVALID_WAVFMT);
    EXPECT_EQ(ms, 0u);
    // MP3: whole-millisecond frame length times frames (1 s of 8000 Hz MPEG-2
    // layer III: 576 samples, 72 ms per frame, and the encoder's padding).
    ASSERT_EQ(ORVKTWAVGetSndDataLength(data_path("no_priv.mp3").c_str(), &ms), VKT_OK);
    EXPECT_EQ(ms % 72, 0u);
    EXPECT_GE(ms, 1000u);
    EXPECT_LE(ms, 1300u);
    EXPECT_EQ(ORVKTWAVGetSndDataLength(tmp.path("x.wma").c_str(), &ms), VKT_ERR_OPEN_FILE);
    EXPECT_NE(ORVKTWAVGetSndDataLength(tmp.path("none.wav").c_str(), &ms), VKT_OK);
}

// The library keeps no state between calls but atomic report-once flags:
// conversions of different files run side by side and give what they give
// one at a time.
TEST(Parallel, ConversionsOnSeveralThreadsMatchSerialOnes) {
    TempDir tmp;
    const std::string lp = tmp.path("lp.dss");
    write_bytes(lp, read_bytes(data_path("speech_lp.dss")));
    const std::string wav = tmp.path("tone.wav");
    write_pcm16_wav(wav, sine(600, 22050, 22050 * 2), 22050);
    auto job = [&](int i, const std::string& suffix) {
        const std::string n = std::to_string(i) + suffix;
        if (i % 3 == 0) {
            const WAVEFORMATEX want = pcm_format(11025);
            return ORVKTDSSToWAV(lp.c_str(), tmp.path("a" + n + ".wav").c_str(), &want, nullptr, 0, nullptr);
        }
        if (i % 3 == 1) {
            const WAVEFORMATEX mode = i % 2 ? sp_format() : qp_format();
            return ORVKTWAVToDSS(wav.c_str(), tmp.path("b" + n + ".ds2").c_str(), &mode, 3, nullptr, 0);
        }
        const WAVEFORMATEX want = pcm_format(8000, 8);
        return ORVKTWAVToWAV(wav.c_str(), tmp.path("c" + n + ".wav").c_str(), &want, nullptr, 0);
    };
    constexpr int kJobs = 6;
    for (int i = 0; i < kJobs; ++i) ASSERT_EQ(job(i, "s"), VKT_OK) << i;
    std::vector<std::thread> threads;
    uint32_t results[kJobs] = {};
    for (int i = 0; i < kJobs; ++i) threads.emplace_back([&, i] { results[i] = job(i, "p"); });
    for (auto& t : threads) t.join();
    for (int i = 0; i < kJobs; ++i) {
        EXPECT_EQ(results[i], VKT_OK) << i;
        const std::string n = std::to_string(i);
        const std::string prefix = i % 3 == 0 ? "a" : i % 3 == 1 ? "b" : "c";
        const std::string ext = i % 3 == 1 ? ".ds2" : ".wav";
        const Bytes serial = read_bytes(tmp.path(prefix + n + "s" + ext));
        const Bytes parallel = read_bytes(tmp.path(prefix + n + "p" + ext));
        if (i % 3 == 1) {
            // The recording times in header 1 follow the clock; the audio
            // blocks must be equal.
            ASSERT_EQ(serial.size(), parallel.size());
            EXPECT_TRUE(std::equal(serial.begin() + 1536, serial.end(), parallel.begin() + 1536)) << i;
        } else {
            EXPECT_EQ(serial, parallel) << i;
        }
    }
}
