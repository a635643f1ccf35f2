// MPEG layer 3 from a WAV file's data chunk, cut anywhere, against FFmpeg's
// decoding of the same frames.
#include "codecs/mp3_driver.h"

#include <gtest/gtest.h>

#include <cmath>

#include "codec_test_util.h"
#include "support/test_support.h"

using namespace orvkt_test;

namespace {
// The layer 3 record of a WAV file: 18 bytes and 12 of its own.
#pragma pack(push, 1)
struct Mp3Format {
    WAVEFORMATEX wfx;
    uint16_t id, padding_flags;
    uint16_t block_size, frames_per_block, codec_delay;
};
#pragma pack(pop)
}  // namespace

TEST(Mp3Driver, DecodesBytesCutAnywhereLikeFfmpeg) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    auto r = run_command("ffmpeg -nostdin -loglevel error -f lavfi -i 'sine=frequency=440:sample_rate=16000:duration=2' "
                         "-c:a libmp3lame -b:a 32k -write_xing 0 -id3v2_version 0 -f mp3 " +
                         shell_quote(tmp.path("t.mp3")));
    ASSERT_EQ(r.status, 0) << r.output;
    r = run_command("ffmpeg -nostdin -loglevel error -c:a mp3 -i " + shell_quote(tmp.path("t.mp3")) +
                    " -f s16le -c:a pcm_s16le " + shell_quote(tmp.path("t.raw")));
    ASSERT_EQ(r.status, 0) << r.output;
    auto reference = codec_test::to_samples(read_bytes(tmp.path("t.raw")));
    auto mp3 = read_bytes(tmp.path("t.mp3"));
    ASSERT_GT(reference.size(), 30000u);

    Mp3Format f{{WAVE_FORMAT_MPEGLAYER3, 1, 16000, 4000, 1, 0, 12}, 1, 0, 144, 1, 0};
    WAVEFORMATEX suggestion{};
    ASSERT_EQ(acmFormatSuggest(nullptr, &f.wfx, &suggestion, sizeof suggestion, 0), 0u);
    EXPECT_EQ(+suggestion.wFormatTag, 1);
    EXPECT_EQ(+suggestion.nSamplesPerSec, 16000u);
    EXPECT_EQ(+suggestion.nChannels, 1);
    EXPECT_EQ(+suggestion.wBitsPerSample, 16);

    auto stream = codec_test::open_stream(f.wfx, suggestion);
    ASSERT_TRUE(stream);
    std::vector<int16_t> decoded;
    for (size_t pos = 0; pos < mp3.size();) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(1000 + pos % 77, mp3.size() - pos));
        uint32_t room = 0;
        ASSERT_EQ(acmStreamSize(stream.get(), n, &room, ACM_STREAMSIZEF_SOURCE), 0u);
        std::vector<uint8_t> out(room);
        ACMSTREAMHEADER h{};
        h.cbStruct = 124;
        h.pbSrc = mp3.data() + pos;
        h.cbSrcLength = n;
        h.pbDst = out.data();
        h.cbDstLength = room;
        ASSERT_EQ(acmStreamPrepareHeader(stream.get(), &h, 0), 0u);
        ASSERT_EQ(acmStreamConvert(stream.get(), &h, 0), 0u);
        ASSERT_EQ(acmStreamUnprepareHeader(stream.get(), &h, 0), 0u);
        EXPECT_EQ(h.cbSrcLengthUsed, n);
        auto s = codec_test::to_samples(std::vector<uint8_t>(out.begin(), out.begin() + h.cbDstLengthUsed));
        decoded.insert(decoded.end(), s.begin(), s.end());
        pos += n;
    }
    ASSERT_EQ(decoded.size(), reference.size());
    EXPECT_EQ(decoded, reference);
}

TEST(Mp3Driver, OutputThatDoesNotFitWaitsForTheNextCall) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    auto r = run_command("ffmpeg -nostdin -loglevel error -f lavfi -i 'sine=frequency=300:sample_rate=22050:duration=1' "
                         "-c:a libmp3lame -b:a 64k -write_xing 0 -f mp3 " + shell_quote(tmp.path("t.mp3")));
    ASSERT_EQ(r.status, 0) << r.output;
    auto mp3 = read_bytes(tmp.path("t.mp3"));
    WAVEFORMATEX f{WAVE_FORMAT_MPEGLAYER3, 1, 22050, 8000, 1, 0, 0};
    WAVEFORMATEX pcm{1, 1, 22050, 44100, 2, 16, 0};
    auto small = codec_test::open_stream(f, pcm), large = codec_test::open_stream(f, pcm);
    ASSERT_TRUE(small && large);
    auto run = [&](HACMSTREAM h, uint32_t room, size_t extra_calls) {
        std::vector<uint8_t> all, out(room);
        auto call = [&](uint8_t* src, uint32_t n) {
            ACMSTREAMHEADER hdr{};
            hdr.cbStruct = 124, hdr.pbSrc = src, hdr.cbSrcLength = n, hdr.pbDst = out.data(), hdr.cbDstLength = room;
            acmStreamPrepareHeader(h, &hdr, 0);
            EXPECT_EQ(acmStreamConvert(h, &hdr, 0), 0u);
            acmStreamUnprepareHeader(h, &hdr, 0);
            all.insert(all.end(), out.begin(), out.begin() + hdr.cbDstLengthUsed);
        };
        call(mp3.data(), static_cast<uint32_t>(mp3.size()));
        for (size_t i = 0; i < extra_calls; ++i) call(nullptr, 0);
        return all;
    };
    auto whole = run(large.get(), 1 << 20, 0);
    auto pieces = run(small.get(), 4096, 40);  // 1 s at 22050 is 44100 bytes
    ASSERT_GT(whole.size(), 40000u);
    EXPECT_EQ(pieces, whole);
}
