// ORVKTWAVToDSS beyond the table of conversions: ffmpeg decodes our
// standard-play files, codec data is packed as it is, foreign headers stay
// out.
#include <gtest/gtest.h>

#include "conv_files.h"
#include "convert/dss_converter.h"
#include "codecs/sp_quality.h"
#include "support/dss_bytes.h"
#include "support/sp_reference.h"

using namespace conv_test;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

// Standard play at both clocks, through ORVKTWAVToDSS, decoded by the
// ffmpeg tool: the speech comes back with the encoder's own floors (the
// decoder runs at 11/12 of the input clock and lags about three samples).
TEST(WavToDss, FfmpegDecodesOurStandardPlayToSpeech) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    for (const WAVEFORMATEX& mode : {sp_format(), lp_format()}) {
        const uint32_t rate = mode.nSamplesPerSec;
        SCOPED_TRACE(rate);
        const auto pcm = orvkt_test::speech_samples(kSpeechText, static_cast<int>(rate));
        ASSERT_GT(pcm.size(), rate);
        const std::string wav = tmp.path("speech.wav"), dss = tmp.path("speech.dss");
        write_pcm16_wav(wav, pcm, rate);
        ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, 3, nullptr, 0), VKT_OK);
        const DssFacts facts = dss_facts(dss);
        EXPECT_EQ(facts.block_id, rate == 12000 ? 0 : 4);
        EXPECT_EQ(facts.header2_id, rate == 12000 ? 0 : 4);
        EXPECT_EQ(facts.frames, pcm.size() / 288);
        const auto decoded = orvkt_test::decode_with_ffmpeg(dss, tmp.path("decoded.raw"));
        ASSERT_GE(decoded.size(), facts.frames * 264u);
        std::vector<int16_t> frames_only(decoded.begin(), decoded.begin() + facts.frames * 264);
        const auto ref = sp_quality::resample(sp_quality::to_float(pcm), 12, 11, sp_quality::kDecoderDelay);
        const auto q = sp_quality::measure(ref, sp_quality::to_float(frames_only), static_cast<int>(rate * 11 / 12));
        EXPECT_GE(q.correlation, 0.9);
        EXPECT_LE(q.lsd, 9.0);
    }
}

// A WAV that already holds codec blocks of the wanted mode is packed as it
// is: its data chunk becomes the frames, unchanged.
TEST(WavToDss, CodecDataOfTheWantedModeIsPackedUnchanged) {
    TempDir tmp;
    const std::string wav = tmp.path("blocks.wav"), dss = tmp.path("out.dss");
    Bytes data;
    for (int f = 0; f < 30; ++f)
        for (int i = 0; i < 42; ++i) data.push_back(i == 41 ? 0 : static_cast<uint8_t>(f * 13 + i * 5 + 1));
    write_bytes(wav, wav_bytes(sp_format(), data, {}, {}));
    const WAVEFORMATEX mode = sp_format();
    ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, 1, nullptr, 0), VKT_OK);
    const Bytes b = read_bytes(dss);
    ASSERT_EQ(b.size(), 512u * 4);  // 30 x 41 bytes: 1230 bytes of frames in three blocks
    // The first block, swapped back: frame pointer word 0x030F, frames of 41 bytes from offset 6.
    Bytes block(b.begin() + 512, b.begin() + 1024);
    for (size_t i = 0; i < 512; i += 2) std::swap(block[i], block[i + 1]);
    EXPECT_EQ(block[0], 0x03);
    EXPECT_EQ(block[1], 0x0F);
    EXPECT_EQ(block[3], 13);  // frames starting in the block: 506 / 41 -> 13 (the last one parted)
    for (int i = 0; i < 41; ++i) EXPECT_EQ(block[6 + 41 + i], static_cast<uint8_t>(13 + i * 5 + 1));
}

// The packing direction on its own takes only the three block rates; its
// temporary input goes on failure.
TEST(WavToDss, PackingRefusesOtherRates) {
    TempDir tmp;
    const std::string wav = tmp.path("~tmp.vkt"), dss = tmp.path("out.dss");
    WAVEFORMATEX f = sp_format();
    f.nSamplesPerSec = 22050;
    write_bytes(wav, wav_bytes(f, Bytes(420, 1), {}, {}));
    EXPECT_EQ(VKTWavToDssInternal(wav.c_str(), dss.c_str(), 3, nullptr, 0), VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
    EXPECT_FALSE(orvkt_test::file_exists(wav));
}

// A lone 512-byte header whose word at 32 says "more blocks follow" is no
// header of ours: the DSS file keeps its own default header.
TEST(WavToDss, ForeignLookingHeaderIsNotTakenOver) {
    TempDir tmp;
    const std::string wav = tmp.path("in.wav"), dss = tmp.path("out.dss");
    Bytes image = dss_test::header1(2, "dss");  // word 32: more blocks follow
    image[0] = 1;
    dss_test::put_text(image, 12, "Not taken over!!");
    // An ICMT sub-chunk carrying exactly these 512 bytes.
    Bytes info;
    put_id(info, "ICMT");
    put32(info, 512);
    info.insert(info.end(), image.begin(), image.end());
    Extras extras;
    extras.list_info = info;
    write_pcm16_wav(wav, sine(400, 12000, 12000), 12000, extras);
    const WAVEFORMATEX mode = sp_format();
    ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, 1, nullptr, 0), VKT_OK);
    const Bytes h = read_bytes(dss);
    EXPECT_EQ(std::string(h.begin() + 12, h.begin() + 28), std::string(16, '\0'));
}

