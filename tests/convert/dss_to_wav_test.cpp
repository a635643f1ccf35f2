// ORVKTDSSToWAV beyond the table of conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "conv_files.h"
#include "codecs/quality_metrics.h"
#include "convert/dss_converter.h"
#include "support/dss_bytes.h"
#include "trace/xkrvlog_capture.h"

using namespace conv_test;
using namespace orvkt_test;

namespace {

std::string make_dss(const TempDir& tmp, const std::string& name, const WAVEFORMATEX& mode) {
    const std::string wav = tmp.path("speech_src.wav"), dss = tmp.path(name);
    if (!write_speech_wav(wav, 22050)) return "";
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, 3, nullptr, 0), VKT_OK);
    std::remove(wav.c_str());
    return dss;
}

}  // namespace

// 11025/s gives 264 samples per frame; a rate whose frame would not fit the frame buffer has no stream.
TEST(DssToWav, StandardPlayAtOtherRates) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string dss = make_dss(tmp, "sp.dss", sp_format()), wav = tmp.path("out.wav");
    ASSERT_EQ(VKTDSSToWAVInternal(dss.c_str(), wav.c_str(), nullptr, 0, 11025, nullptr), VKT_OK);
    EXPECT_EQ(parse_wav(wav).data.size(), dss_facts(dss).frames * 528u);
    ASSERT_EQ(std::remove(wav.c_str()), 0);
    EXPECT_EQ(VKTDSSToWAVInternal(dss.c_str(), wav.c_str(), nullptr, 0, 44100, nullptr),
              VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
    EXPECT_FALSE(orvkt_test::file_exists(wav));
}

// 4-byte frames of id 3 decode to ffmpeg's comfort noise; 9-byte frames of id 1 to silence.
TEST(DssToWav, ShortFramesOfTheCompressedModes) {
    struct Case {
        const char* name;
        uint8_t id;
        std::vector<Bytes> frames;  // block order, in one block (13 at most for id 1)
        uint32_t rate, pcm_block;
    };
    // A silence descriptor with a gain: packet 06 5A 3C 80, pairs swapped.
    const Bytes sid = {0x5A, 0x06, 0x80, 0x3C};
    // Six full frames of id 1 (bit 7 of the first byte set), then six 9-byte frames.
    std::vector<Bytes> mixed;
    for (unsigned i = 0; i < 12; ++i) {
        Bytes f = dss_test::frame(i, i < 6 ? 41 : 9);
        f[0] = static_cast<uint8_t>(i < 6 ? f[0] | 0x80 : f[0] & 0x7F);
        mixed.push_back(f);
    }
    const Case cases[] = {{"sid.dss", 3, std::vector<Bytes>(40, sid), 8000, 480}, {"mixed.dss", 1, mixed, 12000, 576}};
    TempDir tmp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = dss_test::block(dss_test::fp_word(6), static_cast<uint8_t>(c.frames.size()), c.id);
        size_t at = 6;
        for (const Bytes& f : c.frames) {
            dss_test::place(b, at, f);
            at += f.size();
        }
        const std::string dss = tmp.path(c.name), wav = dss + ".wav";
        write_bytes(dss, dss_test::concat({dss_test::header1(1, "dss"), dss_test::stored(b)}));
        const WAVEFORMATEX want = pcm_format(c.rate);
        ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &want, nullptr, 0, nullptr), VKT_OK);
        const ParsedWav out = parse_wav(wav);
        ASSERT_EQ(out.data.size(), c.frames.size() * c.pcm_block);
        const std::vector<int16_t> pcm = out.samples();
        if (c.id == 1) {
            EXPECT_GT(rms(pcm, 0, 6 * 288), 20) << "the full frames sound";
            EXPECT_EQ(rms(pcm, 7 * 288), 0.0) << "the 9-byte frames are silence";
            continue;
        }
        EXPECT_GT(rms(pcm), 20) << "comfort noise, not silence";
        ORVKT_REQUIRE_PROGRAM("ffmpeg");
        Bytes packets;
        for (const Bytes& f : c.frames) packets.insert(packets.end(), {f[1], f[0], f[3], f[2]});
        const std::string tco = tmp.path("sid.tco"), raw = tmp.path("sid.raw");
        write_bytes(tco, packets);
        const auto r = run_command("ffmpeg -nostdin -v error -f g723_1 -i " + shell_quote(tco) +
                                   " -f s16le -acodec pcm_s16le -y " + shell_quote(raw));
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(out.data, read_bytes(raw));
    }
}

// Grundig (licensee 1, five header blocks): markers are frame numbers in its third header.
TEST(DssToWav, GrundigMarkersAreConvertedAndDamagedOnesIgnored) {
    TempDir tmp;
    const Bytes lp = read_bytes(data_path("speech_lp.dss"));
    ASSERT_EQ(lp[0], 2) << "the fixture has two header blocks";
    auto block = [](uint8_t fill, const char* id) {
        Bytes b(512, fill);
        if (id) std::memcpy(b.data(), id, 16);
        return b;
    };
    Bytes h1(lp.begin(), lp.begin() + 512);
    h1[0] = 5;
    dss_test::put32(h1, 8, 1);  // licensee: Grundig
    Bytes gap = block(0x22, nullptr);
    gap[300] = gap[301] = 0;  // the block before the third Grundig header
    Bytes h3 = block(0xFF, "GR___9607_000000");
    dss_test::put32(h3, 229, 10);  // frames 10 to 20
    dss_test::put32(h3, 238, 20);
    const Bytes audio(lp.begin() + 1024, lp.end());
    const uint32_t frames = dss_facts(data_path("speech_lp.dss")).frames;
    struct Case {
        const char* name;
        Bytes h2;
        uint32_t start_ms, end_ms;
    };
    const Case cases[] = {{"g.dss", block(0x11, "GR/VL9607_000000"), 300, 600},  // 30 ms frames
                          {"damaged.dss", block(0x11, "XX/VL9607_000000"), 0xFFFFFFFF, 0xFFFFFFFF}};
    const WAVEFORMATEX want = pcm_format(8000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = dss_test::concat({h1, c.h2, gap, h3, h3, audio});
        std::memcpy(file.data() + 4 * 512, "GR___0607_000000", 16);  // the fifth header block is H#5
        const std::string dss = tmp.path(c.name), wav = dss + ".wav";
        write_bytes(dss, file);
        ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &want, nullptr, 0, nullptr), VKT_OK);
        EXPECT_EQ(parse_wav(wav).data.size(), frames * 480u) << "the audio is all there";
        uint8_t markers[256];
        ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(wav.c_str(), markers), VKT_OK);
        uint32_t first[2];
        std::memcpy(first, markers, sizeof first);
        EXPECT_EQ(first[0], c.start_ms);
        EXPECT_EQ(first[1], c.end_ms);
    }
}

// A recorder's quality play (its own frames in our blocks' bookkeeping) writes nothing.
TEST(DssToWav, QualityPlayOfADeviceIsRefused) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp, dev;
    const std::string own = make_dss(tmp, "own.ds2", qp_format()), device = dev.path("device.ds2");
    Bytes bytes = read_bytes(own);
    std::mt19937 random(7);
    for (size_t block = 3 * 512; block + 512 <= bytes.size(); block += 512)
        for (size_t i = 6; i < 512; ++i) bytes[block + i] = static_cast<uint8_t>(random());
    write_bytes(device, bytes);
    for (uint32_t rate : {16000u, 8000u}) {
        SCOPED_TRACE(rate);
        xkrvlog::Capture log;
        EXPECT_EQ(convert(Export::DssToWav, device, dev.path("out.wav"), pcm_format(rate)),
                  VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
        EXPECT_TRUE(log.contains("quality play recorded by a device: not decodable by this library"));
        EXPECT_EQ(dev.entries(), std::vector<std::string>{"device.ds2"});
    }
    EXPECT_EQ(convert(Export::DssToWav, own, tmp.path("own.wav"), pcm_format(16000)), VKT_OK);
}

// A piece cut at any frame (split with and without overlap, a join, a lost data block) decodes
// its first half second as well as the uncut recording decodes the same span of the speech.
TEST(DssToWav, QualityPlayPiecesDecodeAsWellAsTheUncutRecording) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    constexpr size_t kHalf = 8000;
    TempDir tmp;
    const auto speech = orvkt_test::speech_samples(kSpeechText, 16000);
    write_pcm16_wav(tmp.path("speech.wav"), speech, 16000);
    const std::string rec = tmp.path("rec.ds2");
    ASSERT_EQ(convert(Export::WavToDss, tmp.path("speech.wav"), rec, qp_format()), VKT_OK);
    auto decode = [&](const std::string& ds2) {
        EXPECT_EQ(convert(Export::DssToWav, ds2, tmp.path("out.wav"), pcm_format(16000)), VKT_OK);
        return parse_wav(tmp.path("out.wav")).samples();
    };
    const auto uncut = decode(rec);
    uint32_t created = 0;
    for (const char* mask : {"a%d.ds2", "b%d.ds2"}) {
        ASSERT_EQ(ORVKTSplitDSSFile(rec.c_str(), tmp.dir().c_str(), mask, nullptr, 2, mask[0] == 'b', 0xFFFFFFFF,
                                    &created, nullptr, 0),
                  VKT_OK);
        ASSERT_GE(created, 3u);
    }
    const std::string list = tmp.path("a3.ds2") + "?" + tmp.path("a2.ds2");
    ASSERT_EQ(ORVKTJoinDSS(list.c_str(), tmp.path("joined.ds2").c_str(), nullptr, 0, 0, 100), VKT_OK);
    Bytes bytes = read_bytes(rec);
    bytes.erase(bytes.begin() + 10 * 512, bytes.begin() + 11 * 512);  // the eighth data block
    write_bytes(tmp.path("dropped.ds2"), bytes);
    // Each file with the frame where its cut lies: after the first piece of the join, and after
    // the frames up to the gap and the one that ran into it (56-byte frames, 506 bytes a block).
    const std::pair<std::string, size_t> cuts[] = {{"a2.ds2", 0}, {"a3.ds2", 0}, {"b2.ds2", 0}, {"b3.ds2", 0},
                                                   {"joined.ds2", dss_facts(tmp.path("a3.ds2")).frames},
                                                   {"dropped.ds2", (7 * 506 + 55) / 56 + 1}};
    for (const auto& [name, frame] : cuts) {
        SCOPED_TRACE(name);
        const auto pcm = decode(tmp.path(name));
        ASSERT_GE(pcm.size(), frame * 256 + kHalf);
        const auto head = pcm.begin() + long(frame * 256);
        // Where the head lies in the uncut decoding: the whole frame of least difference.
        size_t at = 0;
        double best = HUGE_VAL;
        for (size_t k = 0; k + kHalf <= std::min(uncut.size(), speech.size()); k += 256) {
            double d = 0;
            for (size_t i = 0; i < kHalf; ++i) d += std::abs(head[long(i)] - uncut[k + i]);
            if (d < best) best = d, at = k;
        }
        auto lsd = [&](std::vector<int16_t>::const_iterator decoded) {
            return vkt::codecs::measure_speech_quality({speech.begin() + long(at), speech.begin() + long(at + kHalf)},
                                                       {decoded, decoded + kHalf}, 0, 16000)
                .log_spectral_distance_db;
        };
        EXPECT_LE(lsd(head) - lsd(uncut.begin() + long(at)), 0.3) << "cut at sample " << at;
    }
}
