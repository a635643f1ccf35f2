// Quality play through the exports: pieces cut at any frame (split with and
// without overlap, join, a dropped data block) decode at full quality from
// their first frame; quality play of another codec is refused without
// leaving files behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "codecs/quality_metrics.h"
#include "conv_files.h"
#include "trace/xkrvlog_capture.h"

using namespace conv_test;
using orvkt_test::TempDir;

namespace {

constexpr size_t kFrame = 256;
constexpr size_t kHalfSecond = 8000;

const char* kLongText =
    "Dictation for the file of Mister Brown. Please prepare a letter to the insurance company about the accident "
    "on the fourth of March, and attach the two reports from the workshop. Call me back tomorrow morning.";

std::vector<int16_t> decode(const std::string& ds2, const std::string& wav) {
    const WAVEFORMATEX pcm = pcm_format(16000);
    EXPECT_EQ(ORVKTDSSToWAV(ds2.c_str(), wav.c_str(), &pcm, nullptr, 0, nullptr), VKT_OK) << ds2;
    return parse_wav(wav).samples();
}

double lsd(const std::vector<int16_t>& ref, const std::vector<int16_t>& dec, size_t at_ref, size_t at_dec) {
    std::vector<int16_t> r(ref.begin() + at_ref, ref.begin() + at_ref + kHalfSecond);
    std::vector<int16_t> d(dec.begin() + at_dec, dec.begin() + at_dec + kHalfSecond);
    return vkt::codecs::measure_speech_quality(r, d, 0, 16000).log_spectral_distance_db;
}

// Where (in whole frames) the start of `piece` lies in `whole`: the offset of
// best normalised correlation over its first half second.
size_t locate(const std::vector<int16_t>& piece, const std::vector<int16_t>& whole) {
    size_t best_at = 0;
    double best = -2;
    for (size_t at = 0; at + kHalfSecond <= whole.size(); at += kFrame) {
        double c = 0, e1 = 1e-9, e2 = 1e-9;
        for (size_t i = kFrame; i < kHalfSecond; ++i) {
            c += double(piece[i]) * whole[at + i];
            e1 += double(piece[i]) * piece[i];
            e2 += double(whole[at + i]) * whole[at + i];
        }
        if (c / std::sqrt(e1 * e2) > best) best = c / std::sqrt(e1 * e2), best_at = at;
    }
    return best_at;
}

}  // namespace

TEST(QualityPlayTimeline, PiecesCutAtAnyFrameDecodeAtFullQualityFromTheirStart) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    auto speech = orvkt_test::speech_samples(kLongText, 16000);
    speech.resize(speech.size() / kFrame * kFrame);
    ASSERT_GT(speech.size(), 16000u * 8);
    write_pcm16_wav(tmp.path("src.wav"), speech, 16000);
    const WAVEFORMATEX qp = qp_format();
    const std::string rec = tmp.path("rec.ds2");
    ASSERT_EQ(ORVKTWAVToDSS(tmp.path("src.wav").c_str(), rec.c_str(), &qp, 3, nullptr, 0), VKT_OK);
    const auto uncut = decode(rec, tmp.path("uncut.wav"));
    ASSERT_EQ(uncut.size(), speech.size());

    // Every piece but the first starts at a cut; so does the joined file
    // at the start of its second source, and a file without one of its
    // data blocks after the gap.
    std::vector<std::vector<int16_t>> pieces;
    uint32_t created = 0;
    ASSERT_EQ(ORVKTSplitDSSFile(rec.c_str(), tmp.dir().c_str(), "a%d.ds2", nullptr, 3, 0, 0xFFFFFFFF, &created,
                                nullptr, 0),
              VKT_OK);
    ASSERT_GE(created, 3u);
    for (uint32_t k = 2; k < created; ++k)
        pieces.push_back(decode(tmp.path("a" + std::to_string(k) + ".ds2"), tmp.path("a.wav")));
    ASSERT_EQ(ORVKTSplitDSSFile(rec.c_str(), tmp.dir().c_str(), "b%d.ds2", nullptr, 2, 1, 0xFFFFFFFF, &created,
                                nullptr, 0),
              VKT_OK);
    for (uint32_t k = 2; k < created; ++k)
        pieces.push_back(decode(tmp.path("b" + std::to_string(k) + ".ds2"), tmp.path("b.wav")));

    const std::string list = tmp.path("a3.ds2") + "?" + tmp.path("a2.ds2");
    ASSERT_EQ(ORVKTJoinDSS(list.c_str(), tmp.path("joined.ds2").c_str(), nullptr, 0, 0, 100), VKT_OK);
    const auto joined = decode(tmp.path("joined.ds2"), tmp.path("j.wav"));
    const size_t a3_frames = dss_facts(tmp.path("a3.ds2")).frames;
    ASSERT_GT(joined.size(), a3_frames * kFrame + kHalfSecond);
    pieces.emplace_back(joined.begin() + long(a3_frames * kFrame), joined.end());

    auto bytes = orvkt_test::read_bytes(rec);
    const size_t drop = 3 * 512 + 7 * 512;  // the eighth data block
    bytes.erase(bytes.begin() + long(drop), bytes.begin() + long(drop + 512));
    orvkt_test::write_bytes(tmp.path("dropped.ds2"), bytes);
    const auto dropped = decode(tmp.path("dropped.ds2"), tmp.path("d.wav"));
    // The frames read up to the gap, then one frame that ran into the
    // dropped block (concealed), then the frames of the ninth block.
    const size_t gap_frame = (7 * 506 + 55) / 56 + 1;
    ASSERT_GT(dropped.size(), gap_frame * kFrame + kHalfSecond);
    pieces.emplace_back(dropped.begin() + long(gap_frame * kFrame), dropped.end());

    ASSERT_GE(pieces.size(), 7u);
    for (size_t i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_GE(pieces[i].size(), kHalfSecond);
        const size_t at = locate(pieces[i], uncut);
        ASSERT_LE(at + kHalfSecond, speech.size());
        const double cut = lsd(speech, pieces[i], at, 0), whole = lsd(speech, uncut, at, at);
        EXPECT_LE(cut - whole, 0.3) << "cut at sample " << at;
    }
}

TEST(QualityPlayTimeline, RecordingsOfAnotherQualityPlayCodecAreRefused) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    ASSERT_TRUE(write_speech_wav(tmp.path("src.wav"), 16000));
    const WAVEFORMATEX qp = qp_format();
    ASSERT_EQ(ORVKTWAVToDSS(tmp.path("src.wav").c_str(), tmp.path("own.ds2").c_str(), &qp, 3, nullptr, 0), VKT_OK);
    // A recorder's frames: other bits in every frame, the blocks' own
    // bookkeeping (bytes 0 to 5) kept.
    auto bytes = orvkt_test::read_bytes(tmp.path("own.ds2"));
    std::mt19937 random(7);
    for (size_t block = 3 * 512; block + 512 <= bytes.size(); block += 512)
        for (size_t i = 6; i < 512; ++i) bytes[block + i] = static_cast<uint8_t>(random());
    TempDir dev;
    const std::string device = dev.path("device.ds2");
    orvkt_test::write_bytes(device, bytes);

    for (uint32_t rate : {16000u, 8000u}) {
        SCOPED_TRACE(rate);
        xkrvlog::Capture log;
        const WAVEFORMATEX pcm = pcm_format(rate);
        EXPECT_EQ(ORVKTDSSToWAV(device.c_str(), dev.path("out.wav").c_str(), &pcm, nullptr, 0, nullptr),
                  VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
        EXPECT_TRUE(log.contains("quality play recorded by a device: not decodable by this library"));
        // Nothing written: neither the destination nor a temporary file.
        EXPECT_EQ(dev.entries(), std::vector<std::string>{"device.ds2"});
    }
    // Our own file still decodes.
    const WAVEFORMATEX pcm = pcm_format(16000);
    EXPECT_EQ(ORVKTDSSToWAV(tmp.path("own.ds2").c_str(), tmp.path("own.wav").c_str(), &pcm, nullptr, 0, nullptr),
              VKT_OK);
}
