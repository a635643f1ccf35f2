// The codec manager's drivers; MPEG layer 3 and G.723.1 against FFmpeg's encoders and decoders.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"
#include "codecs/g723_driver.h"
#include "codecs/mp3_driver.h"
#include "codecs/polyphase_resampler.h"
#include "codecs/quality_metrics.h"
#include "codecs/sp_driver.h"
#include "support/test_support.h"

using namespace vkt::codecs;
using namespace orvkt_test;
using codec_test::open_stream;

namespace {

// Amplitude of the sine of `freq` (cycles per sample) in x[first, last), by least squares.
template <typename T>
double sine_amplitude(const std::vector<T>& x, double freq, size_t first, size_t last) {
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (size_t i = first; i < last; ++i) {
        const double s = std::sin(2 * M_PI * freq * i), c = std::cos(2 * M_PI * freq * i);
        ss += s * s;
        cc += c * c;
        sc += s * c;
        xs += x[i] * s;
        xc += x[i] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    return std::sqrt(a * a + b * b);
}

// Stands in for a real frame encoder: writes the first samples' low bytes.
class MarkingEncoder : public SpFrameEncoder {
public:
    void encode(const int16_t* samples, uint8_t* frame) override {
        for (uint32_t i = 0; i < kSpFrameBytes; ++i) frame[i] = static_cast<uint8_t>(samples[i] + calls_);
        ++calls_;
    }

private:
    int calls_ = 0;
};
std::unique_ptr<SpFrameEncoder> make_marking(uint32_t) { return std::make_unique<MarkingEncoder>(); }

#pragma pack(push, 1)
struct Mp3Format {
    WAVEFORMATEX wfx;
    uint16_t id, padding_flags;
    uint16_t block_size, frames_per_block, codec_delay;
};
#pragma pack(pop)

// Codec blocks (pairs swapped, trailing zero) to raw G.723.1 packets.
std::vector<uint8_t> blocks_to_packets(const std::vector<uint8_t>& blocks) {
    std::vector<uint8_t> raw;
    for (size_t pos = 0; pos + 25 <= blocks.size(); pos += 25) {
        uint8_t packet[24];
        for (int i = 0; i < 24; i += 2) packet[i] = blocks[pos + i + 1], packet[i + 1] = blocks[pos + i];
        raw.insert(raw.end(), packet, packet + g723_packet_size(packet[0]));
    }
    return raw;
}

std::vector<float> sine(double freq, size_t n, double amplitude = 1.0) {
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * freq * i));
    return x;
}

// The SP driver's frame rate conversions (264 samples a frame in) and two plain ones.
const std::pair<uint32_t, uint32_t> kRatios[] = {{264, 288}, {264, 192}, {264, 1056}, {264, 384},
                                                 {264, 144}, {44100, 16000}, {8000, 11025}};

}  // namespace

TEST(CodecFormats, UnknownFormatsAreRefused) {
    const WAVEFORMATEX pcm8 = pcm_format(8000), pcm16 = pcm_format(16000);
    const WAVEFORMATEX refused[] = {
        {0x0120, 1, 16000, 4000, 40, 0, 2},    // another dictation codec
        {0x0098, 1, 8000, 1000, 10, 0, 0},
        {0x0121, 1, 22050, 1750, 42, 0, 0},    // SP block at a clock it never runs
        {0x0121, 1, 12000, 1750, 41, 0, 0},    // a stored frame size, not a block
        {0x0121, 2, 16000, 3563, 57, 0, 0},    // stereo
        {0xFFFC, 1, 16000, 834, 25, 0, 0},
    };
    for (const auto& f : refused) {
        SCOPED_TRACE(f.wFormatTag);
        for (const auto& p : {pcm8, pcm16}) {
            MMRESULT r = 0;
            EXPECT_FALSE(open_stream(f, p, &r));
            EXPECT_NE(r, 0u);
            EXPECT_FALSE(open_stream(p, f, &r));
            EXPECT_NE(r, 0u);
        }
        WAVEFORMATEX s{};
        EXPECT_NE(acmFormatSuggest(nullptr, &f, &s, sizeof s, 0), 0u);
    }
    MMRESULT r = 0;
    EXPECT_FALSE(open_stream(qp_format(), pcm8, &r));
    EXPECT_NE(r, 0u);
    EXPECT_FALSE(open_stream(lp_format(), pcm16, &r));
    EXPECT_NE(r, 0u);
    WAVEFORMATEX pcm8bit{1, 1, 16000, 16000, 1, 8, 0};
    EXPECT_FALSE(open_stream(qp_format(), pcm8bit, &r));
}

TEST(CodecFormats, ShortFrameIsDecodedAsOneZeroPaddedBlock) {
    std::vector<uint8_t> frame(42);
    for (size_t i = 0; i < 41; ++i) frame[i] = static_cast<uint8_t>(i * 37 + 5);
    auto f = *dictation_format(0, 12000);
    auto a = open_stream(f.codec, f.pcm), b = open_stream(f.codec, f.pcm);
    auto whole = codec_test::run_stream(a.get(), frame, 42, 576);
    auto shorter = codec_test::run_stream(b.get(), std::vector<uint8_t>(frame.begin(), frame.begin() + 41), 41, 576);
    ASSERT_EQ(whole.size(), 576u);
    EXPECT_EQ(whole, shorter);
}

TEST(SpDriver, APluggedFrameEncoderFillsBlocks) {
    vkt::acm::ScopedDriver scoped(std::make_shared<SpDriver>(&make_marking));
    auto stream = codec_test::open_stream(pcm_format(12000), sp_format(12000));
    ASSERT_TRUE(stream);
    std::vector<int16_t> pcm(288 * 2);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(i);
    auto blocks = codec_test::run_stream(stream.get(), codec_test::sample_bytes(pcm), 576, 42);
    ASSERT_EQ(blocks.size(), 84u);
    EXPECT_EQ(blocks[40], 40);
    EXPECT_EQ(blocks[41], 0);                 // the block's trailing byte
    EXPECT_EQ(blocks[42], (288 + 1) & 0xFF);  // second frame, second call: state kept
    EXPECT_FALSE(codec_test::open_stream(pcm_format(11025), sp_format(12000)));
}

TEST(PolyphaseResampler, PassBandIsFlatUpTo045OfTheLowerRate) {
    for (auto [in, out] : kRatios) {
        SCOPED_TRACE(std::to_string(in) + "->" + std::to_string(out));
        PolyphaseResampler r(in, out);
        const double lower = std::min(in, out);
        for (double f : {0.02, 0.1, 0.2, 0.3, 0.4, 0.45}) {
            const double freq = f * lower / in;  // cycles per input sample
            auto x = sine(freq, 40 * in);
            std::vector<float> y;
            PolyphaseResampler fresh(in, out);
            fresh.process(x.data(), x.size(), y);
            const double out_freq = freq * in / out;
            const size_t skip = static_cast<size_t>(fresh.delay() * out / in) + 4 * out;
            const double gain_db = 20 * std::log10(sine_amplitude(y, out_freq, skip, y.size() - 4));
            EXPECT_NEAR(gain_db, 0.0, 0.1) << "at " << f << " of the lower rate";
        }
    }
}

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
    auto reference = codec_test::byte_samples(read_bytes(tmp.path("t.raw")));
    auto mp3 = read_bytes(tmp.path("t.mp3"));
    ASSERT_GT(reference.size(), 30000u);
    Mp3Format f{{WAVE_FORMAT_MPEGLAYER3, 1, 16000, 4000, 1, 0, 12}, 1, 0, 144, 1, 0};
    WAVEFORMATEX suggestion{};
    ASSERT_EQ(acmFormatSuggest(nullptr, &f.wfx, &suggestion, sizeof suggestion, 0), 0u);
    EXPECT_EQ(std::make_tuple(+suggestion.wFormatTag, +suggestion.nSamplesPerSec, +suggestion.nChannels,
                              +suggestion.wBitsPerSample),
              std::make_tuple(1, 16000u, 1, 16));
    auto stream = codec_test::open_stream(f.wfx, suggestion);
    ASSERT_TRUE(stream);
    std::vector<int16_t> decoded;
    for (size_t pos = 0; pos < mp3.size();) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(1000 + pos % 77, mp3.size() - pos));
        uint32_t room = 0;
        ASSERT_EQ(acmStreamSize(stream.get(), n, &room, ACM_STREAMSIZEF_SOURCE), 0u);
        std::vector<uint8_t> out(room);
        ACMSTREAMHEADER h = codec_test::stream_header(mp3.data() + pos, n, out.data(), room);
        ASSERT_EQ(acmStreamPrepareHeader(stream.get(), &h, 0), 0u);
        ASSERT_EQ(acmStreamConvert(stream.get(), &h, 0), 0u);
        ASSERT_EQ(acmStreamUnprepareHeader(stream.get(), &h, 0), 0u);
        EXPECT_EQ(h.cbSrcLengthUsed, n);
        auto s = codec_test::byte_samples(std::vector<uint8_t>(out.begin(), out.begin() + h.cbDstLengthUsed));
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
            ACMSTREAMHEADER hdr = codec_test::stream_header(src, n, out.data(), room);
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

TEST(G723Driver, FramesAndSamplesAreFfmpegs) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    auto speech = speech_samples("Please send the report to the office before noon.", 8000);
    speech.resize(speech.size() / 240 * 240);
    ASSERT_GT(speech.size(), 8000u);
    TempDir tmp;
    write_bytes(tmp.path("in.raw"), codec_test::sample_bytes(speech));
    auto r = run_command("ffmpeg -nostdin -loglevel error -f s16le -ar 8000 -ac 1 -i " + shell_quote(tmp.path("in.raw")) +
                         " -c:a g723_1 -b:a 6300 -f g723_1 " + shell_quote(tmp.path("theirs.tco")));
    ASSERT_EQ(r.status, 0) << r.output;
    const auto raw = read_bytes(tmp.path("theirs.tco"));
    r = run_command("ffmpeg -nostdin -loglevel error -f g723_1 -i " + shell_quote(tmp.path("theirs.tco")) +
                    " -f s16le -c:a pcm_s16le " + shell_quote(tmp.path("theirs.raw")));
    ASSERT_EQ(r.status, 0) << r.output;
    const auto reference = codec_test::byte_samples(read_bytes(tmp.path("theirs.raw")));
    auto enc = codec_test::open_stream(pcm_format(8000), lp_format());
    const auto ours = codec_test::run_stream(enc.get(), codec_test::sample_bytes(speech), 480, 25, 4);
    ASSERT_EQ(ours.size(), speech.size() / 240 * 25);
    for (size_t pos = 24; pos < ours.size(); pos += 25) ASSERT_EQ(ours[pos], 0) << pos;
    EXPECT_EQ(blocks_to_packets(ours), raw);
    auto dec = codec_test::open_stream(lp_format(), pcm_format(8000));
    // Our blocks hold ffmpeg's packets (checked above).
    const auto decoded = codec_test::byte_samples(codec_test::run_stream(dec.get(), ours, 25, 480, 3));
    ASSERT_EQ(decoded.size(), speech.size());
    EXPECT_EQ(decoded, reference);
    double best = 1e9;
    for (size_t delay = 0; delay <= 240; delay += 16)
        best = std::min(best, measure_speech_quality(speech, decoded, delay, 8000).log_spectral_distance_db);
    EXPECT_LT(best, 8.0);
}
