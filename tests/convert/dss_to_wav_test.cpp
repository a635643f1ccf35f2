// ORVKTDSSToWAV: every codec's files decoded, at the decoder's own format
// and through a format change; headers and markers carried; cancellation
// and failures leave nothing behind; ffmpeg as the reference decoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "OrvaneVktapi.h"
#include "conv_files.h"
#include "convert/dss_converter.h"
#include "support/dss_bytes.h"
#include "codecs/sp_quality.h"
#include "support/test_support.h"

using namespace conv_test;
using orvkt_test::data_path;
using orvkt_test::read_bytes;
using orvkt_test::run_command;
using orvkt_test::shell_quote;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

// A DSS/DS2 file of speech in the given mode, made by the packing direction.
std::string make_dss(const TempDir& tmp, const std::string& name, const WAVEFORMATEX& mode, int16_t headers = 3) {
    const std::string wav = tmp.path("speech_src.wav"), dss = tmp.path(name);
    if (!write_speech_wav(wav, 22050)) return "";
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, headers, nullptr, 0), VKT_OK);
    std::remove(wav.c_str());
    return dss;
}

std::string copy_fixture(const TempDir& tmp, const std::string& name) {
    const std::string to = tmp.path(name);
    write_bytes(to, read_bytes(data_path(name)));
    return to;
}

struct Mode {
    const char* name;
    uint8_t id;
    uint32_t rate;       // the decoder's PCM rate
    uint32_t pcm_block;  // PCM bytes per frame
};

}  // namespace

// Each codec decodes to 16-bit mono at its own rate: the temporary file is
// moved into place, its data is frames x PCM block, and the callback sees
// 0 to 50 for the decoding and 100 once.
TEST(DssToWav, EveryModeDecodesAtItsOwnRate) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const Mode modes[] = {{"sp.dss", 0, 12000, 576}, {"speech_lp.dss", 2, 8000, 480}, {"lp.dss", 4, 8000, 576},
                          {"qp.ds2", 6, 16000, 512}};
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.name);
        const std::string dss = m.id == 2 ? copy_fixture(tmp, m.name)
                                : m.id == 0 ? make_dss(tmp, m.name, sp_format())
                                : m.id == 4 ? make_dss(tmp, m.name, lp_format())
                                            : make_dss(tmp, m.name, qp_format());
        const DssFacts facts = dss_facts(dss);
        ASSERT_EQ(facts.block_id, m.id);
        ASSERT_GT(facts.frames, 100u);
        const std::string wav = tmp.path(std::string(m.name) + ".wav");
        ProgressLog log;
        const WAVEFORMATEX want = pcm_format(m.rate);
        ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &want, &ProgressLog::callback, log.user(), nullptr), VKT_OK);
        const ParsedWav out = parse_wav(wav);
        ASSERT_TRUE(out.ok);
        EXPECT_EQ(out.format.nSamplesPerSec, m.rate);
        EXPECT_EQ(out.format.wBitsPerSample, 16);
        EXPECT_EQ(out.data.size(), static_cast<size_t>(facts.frames) * m.pcm_block);
        EXPECT_EQ(out.fact, out.data.size() / 2);
        EXPECT_GT(rms(out.samples()), 300) << "speech, not silence";
        ASSERT_GE(log.percents.size(), 2u);
        EXPECT_TRUE(log.monotone());
        EXPECT_EQ(log.percents.back(), 100u);
        EXPECT_EQ(log.percents[log.percents.size() - 2], 50u);
        EXPECT_EQ(std::count(log.percents.begin(), log.percents.end(), 100u), 1);
        for (size_t i = 0; i + 1 < log.percents.size(); ++i) EXPECT_LE(log.percents[i], 50u);
        // No temporary file is left.
        for (const auto& e : tmp.entries()) EXPECT_EQ(e.find(".vkt"), std::string::npos) << e;
    }
}

// A format change runs after the decoding: progress 0 to 50, then 50 to 100.
TEST(DssToWav, FormatChangeFollowsTheDecoding) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string dss = make_dss(tmp, "sp.dss", sp_format());
    const DssFacts facts = dss_facts(dss);
    for (const WAVEFORMATEX& want : {pcm_format(8000, 8), pcm_format(22050, 16), pcm_format(11025, 8)}) {
        SCOPED_TRACE(std::to_string(want.nSamplesPerSec));
        const std::string wav = tmp.path("out" + std::to_string(want.nSamplesPerSec) + ".wav");
        ProgressLog log;
        ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &want, &ProgressLog::callback, log.user(), nullptr), VKT_OK);
        const ParsedWav out = parse_wav(wav);
        ASSERT_TRUE(out.ok);
        EXPECT_TRUE(out.format.wFormatTag == want.wFormatTag && out.format.nSamplesPerSec == want.nSamplesPerSec &&
                    out.format.wBitsPerSample == want.wBitsPerSample && out.format.nBlockAlign == want.nBlockAlign);
        const double seconds = out.data.size() / static_cast<double>(want.nAvgBytesPerSec);
        EXPECT_NEAR(seconds, facts.frames * 0.024, 0.05);
        EXPECT_TRUE(log.monotone());
        EXPECT_EQ(log.percents.back(), 100u);
        EXPECT_NE(std::find(log.percents.begin(), log.percents.end(), 50u), log.percents.end());
        EXPECT_GT(std::count_if(log.percents.begin(), log.percents.end(), [](uint32_t p) { return p > 50 && p < 100; }),
                  0);
    }
}

// Compression ids 0 and 1 decode at the caller's rate: 11025 gives 264
// samples (528 bytes) per frame.
TEST(DssToWav, StandardPlayAtAnotherRate) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string dss = make_dss(tmp, "sp.dss", sp_format());
    const std::string wav = tmp.path("out.wav");
    ASSERT_EQ(VKTDSSToWAVInternal(dss.c_str(), wav.c_str(), nullptr, 0, 11025, nullptr), VKT_OK);
    const ParsedWav out = parse_wav(wav);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.format.nSamplesPerSec, 11025u);
    EXPECT_EQ(out.data.size(), dss_facts(dss).frames * 528u);
    // A rate whose frame would not fit the frame buffer has no stream.
    ASSERT_EQ(std::remove(wav.c_str()), 0);
    EXPECT_EQ(VKTDSSToWAVInternal(dss.c_str(), wav.c_str(), nullptr, 0, 44100, nullptr),
              VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
    EXPECT_FALSE(orvkt_test::file_exists(wav));
}

// Standard play decodes straight to 16-bit mono at 8000 and 16000 (no format
// change): the same audio on the same timeline as the 12000 decoding brought
// to that rate by an independent resampler, and whole frames of it.
TEST(DssToWav, StandardPlayStraightToEightAndSixteenKilohertz) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string dss = make_dss(tmp, "sp.dss", sp_format());
    const uint32_t frames = dss_facts(dss).frames;
    const std::string native = tmp.path("native.wav");
    const WAVEFORMATEX at12 = pcm_format(12000);
    ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), native.c_str(), &at12, nullptr, 0, nullptr), VKT_OK);
    const std::vector<float> reference = sp_quality::to_float(parse_wav(native).samples());
    for (const uint32_t rate : {8000u, 16000u}) {
        SCOPED_TRACE(rate);
        const std::string wav = tmp.path(std::to_string(rate) + ".wav");
        ProgressLog log;
        const WAVEFORMATEX want = pcm_format(rate);
        ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &want, &ProgressLog::callback, log.user(), nullptr), VKT_OK);
        const ParsedWav out = parse_wav(wav);
        ASSERT_TRUE(out.ok);
        ASSERT_EQ(out.data.size(), frames * rate / 1000 * 24 * 2);
        // One decoding pass: 0 to 50, then the 100 of the finished file.
        EXPECT_EQ(std::count_if(log.percents.begin(), log.percents.end(), [](uint32_t p) { return p > 50 && p < 100; }),
                  0);
        const std::vector<float> direct = sp_quality::to_float(out.samples());
        const std::vector<float> ref = sp_quality::resample(reference, 12000, static_cast<int>(rate));
        EXPECT_EQ(sp_quality::best_lag(ref, direct, 8), 0);
        double rd = 0, rr = 0, dd = 0;
        for (size_t i = 0; i < std::min(ref.size(), direct.size()); ++i) {
            rd += double(ref[i]) * direct[i];
            rr += double(ref[i]) * ref[i];
            dd += double(direct[i]) * direct[i];
        }
        EXPECT_GT(rd / std::sqrt(rr * dd), 0.99);
    }
}

// The real peer: ffmpeg decodes the long-play fixture (its own G.723.1
// frames in the DSS layout) to exactly the samples we write.
TEST(DssToWav, LongPlaySamplesEqualFfmpegsDecoding) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    const std::string dss = copy_fixture(tmp, "speech_lp.dss");
    const std::string wav = tmp.path("lp.wav"), raw = tmp.path("lp.raw");
    const WAVEFORMATEX want = pcm_format(8000);
    ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &want, nullptr, 0, nullptr), VKT_OK);
    auto r = run_command("ffmpeg -nostdin -v error -i " + shell_quote(dss) + " -f s16le -acodec pcm_s16le -y " +
                         shell_quote(raw));
    ASSERT_EQ(r.status, 0) << r.output;
    const Bytes theirs = read_bytes(raw);
    const ParsedWav ours = parse_wav(wav);
    ASSERT_TRUE(ours.ok);
    ASSERT_EQ(ours.data.size(), dss_facts(dss).frames * 480u);
    // ffmpeg also decodes the zero padding of the last block as frames.
    ASSERT_GE(theirs.size(), ours.data.size());
    EXPECT_TRUE(std::equal(ours.data.begin(), ours.data.end(), theirs.begin()));
    EXPECT_GT(rms(ours.samples()), 300);
    // And sox reads our file with the length we wrote.
    if (orvkt_test::have_program("sox")) {
        r = run_command("sox --i -s " + shell_quote(wav), false);
        EXPECT_EQ(r.output, std::to_string(ours.data.size() / 2) + "\n");
    }
}

// The short frames of the compressed modes, in files built here: 4-byte
// frames of id 3 are G.723.1 silence descriptors and decode to the comfort
// noise ffmpeg's G.723.1 decoder makes of the same packets; 9-byte frames
// of id 1 (content not known) decode to silence, not to whatever a
// zero-padded frame would sound like.
TEST(DssToWav, ShortFramesOfTheCompressedModes) {
    struct Case {
        const char* name;
        uint8_t id;
        std::vector<Bytes> frames;  // block order, in one block (13 at most for id 1)
        uint32_t rate, pcm_block;
        size_t silent_from;  // frame from which the output must be silent (SIZE_MAX: none)
    };
    // A silence descriptor with a gain: packet 06 5A 3C 80, pairs swapped.
    const Bytes sid = {0x5A, 0x06, 0x80, 0x3C};
    // Six full frames of id 1 (bit 7 of the first byte set) that sound, then
    // six 9-byte frames: zero-padded, those would ring on from the history.
    std::vector<Bytes> mixed;
    for (unsigned i = 0; i < 12; ++i) {
        Bytes f = dss_test::frame(i, i < 6 ? 41 : 9);
        f[0] = static_cast<uint8_t>(i < 6 ? f[0] | 0x80 : f[0] & 0x7F);
        mixed.push_back(f);
    }
    const Case cases[] = {{"sid.dss", 3, std::vector<Bytes>(40, sid), 8000, 480, SIZE_MAX},
                          {"mixed.dss", 1, mixed, 12000, 576, 7}};
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
        ASSERT_TRUE(out.ok);
        ASSERT_EQ(out.data.size(), c.frames.size() * c.pcm_block);
        const std::vector<int16_t> pcm = out.samples();
        const size_t per_frame = c.pcm_block / 2;
        if (c.silent_from != SIZE_MAX) {
            EXPECT_GT(rms(pcm, 0, 6 * per_frame), 20) << "the full frames sound";
            EXPECT_EQ(rms(pcm, c.silent_from * per_frame), 0.0) << "the 9-byte frames are silence";
            continue;
        }
        EXPECT_GT(rms(pcm), 20) << "comfort noise, not silence";
        ORVKT_REQUIRE_PROGRAM("ffmpeg");
        Bytes packets;
        for (const Bytes& f : c.frames) packets.insert(packets.end(), {f[1], f[0], f[3], f[2]});
        const std::string tco = tmp.path("sid.tco"), raw = tmp.path("sid.raw");
        write_bytes(tco, packets);
        auto r = run_command("ffmpeg -nostdin -v error -f g723_1 -i " + shell_quote(tco) +
                             " -f s16le -acodec pcm_s16le -y " + shell_quote(raw));
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(out.data, read_bytes(raw));
    }
}

// Header and markers of a three-block file reach the WAV file, where the
// metadata exports read them back.
TEST(DssToWav, HeaderAndMarkersAreCarried) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string dss = make_dss(tmp, "memo.ds2", qp_format());
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(dss.c_str(), &info), VKT_OK);
    std::memcpy(info.achH1Text, "Dr. Example     ", 16);
    std::memcpy(info.aachText[0], "Ward 7", 6);
    ASSERT_EQ(ORVKTWriteZRM2Header(dss.c_str(), &info), VKT_OK);
    uint8_t markers[256];
    std::memset(markers, 0xFF, sizeof markers);
    const uint32_t ranges[4] = {1000, 1500, 2200, 2600};
    std::memcpy(markers, ranges, sizeof ranges);
    ASSERT_EQ(ORVKTWriteSpokenInstructionMarkers(dss.c_str(), markers), VKT_OK);

    const std::string wav = tmp.path("memo.wav");
    const WAVEFORMATEX want = pcm_format(8000);
    ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &want, nullptr, 0, nullptr), VKT_OK);
    ZRM2HeaderInfo back{};
    back.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(wav.c_str(), &back), VKT_OK);
    EXPECT_EQ(std::string(back.achH1Text, 11), "Dr. Example");
    EXPECT_EQ(std::string(back.aachText[0], 6), "Ward 7");
    EXPECT_EQ(back.wCompressionId, 6);
    uint8_t read[256];
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(wav.c_str(), read), VKT_OK);
    EXPECT_EQ(std::memcmp(read, markers, sizeof markers), 0);
    // The format history goes last in the list: nothing behind ICMT/IKEY here.
    const ParsedWav out = parse_wav(wav);
    EXPECT_TRUE(out.ok);
    EXPECT_FALSE(out.list.empty());
}

TEST(DssToWav, EncryptedSourceNeedsItsPassword) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string plain = make_dss(tmp, "plain.ds2", sp_format());
    const std::string secret = tmp.path("secret.ds2");
    ASSERT_EQ(ORVKTEncryptDSSFile(plain.c_str(), secret.c_str(), "letmein1"), VKT_OK);
    const std::string wav = tmp.path("out.wav");
    const WAVEFORMATEX want = pcm_format(12000);
    EXPECT_EQ(ORVKTDSSToWAV(secret.c_str(), wav.c_str(), &want, nullptr, 0, nullptr), VKT_ERR_PASSWORD);
    EXPECT_EQ(ORVKTDSSToWAV(secret.c_str(), wav.c_str(), &want, nullptr, 0, "wrongpass"), VKT_ERR_PASSWORD);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"plain.ds2", "secret.ds2"}));
    ASSERT_EQ(ORVKTDSSToWAV(secret.c_str(), wav.c_str(), &want, nullptr, 0, "letmein1"), VKT_OK);
    const std::string wav_plain = tmp.path("plain.wav");
    ASSERT_EQ(ORVKTDSSToWAV(plain.c_str(), wav_plain.c_str(), &want, nullptr, 0, nullptr), VKT_OK);
    EXPECT_EQ(parse_wav(wav).data, parse_wav(wav_plain).data);
}

// A destination without a file name: beside the source, its name, ".Wav".
TEST(DssToWav, FolderDestinationWritesBesideTheSource) {
    TempDir tmp;
    const std::string dss = copy_fixture(tmp, "speech_lp.dss");
    const std::string elsewhere = tmp.path("elsewhere/");
    const WAVEFORMATEX want = pcm_format(8000);
    ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), elsewhere.c_str(), &want, nullptr, 0, nullptr), VKT_OK);
    EXPECT_TRUE(orvkt_test::file_exists(tmp.path("speech_lp.Wav")));
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"speech_lp.Wav", "speech_lp.dss"}));
}

TEST(DssToWav, FailuresLeaveNothingBehind) {
    TempDir tmp;
    const std::string dss = copy_fixture(tmp, "speech_lp.dss");
    const std::string wav = tmp.path("out.wav");
    const WAVEFORMATEX want = pcm_format(8000);
    // A missing source, and a destination in a missing folder.
    EXPECT_EQ(ORVKTDSSToWAV(tmp.path("none.dss").c_str(), wav.c_str(), &want, nullptr, 0, nullptr), VKT_ERR_OPEN_FILE);
    EXPECT_NE(ORVKTDSSToWAV(dss.c_str(), tmp.path("no/such/out.wav").c_str(), &want, nullptr, 0, nullptr), VKT_OK);
    // A source without extension and a folder as destination: no name to derive.
    EXPECT_EQ(ORVKTDSSToWAV(tmp.path("noext").c_str(), tmp.path("").c_str(), &want, nullptr, 0, nullptr),
              VKT_ERR_FILE_NAME);
    // A format no stage can produce (48000 Hz): the decoding succeeded, the
    // change fails, and neither the temporary nor the destination stays.
    const WAVEFORMATEX odd = pcm_format(48000);
    EXPECT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &odd, nullptr, 0, nullptr), VKT_ERR_CODEC);
    // PCM fields that disagree would go into the header as they stand.
    WAVEFORMATEX wide_block = want, odd_rate = want;
    wide_block.nBlockAlign = 4;
    odd_rate.nAvgBytesPerSec = 12345;
    for (const WAVEFORMATEX& f : {wide_block, odd_rate})
        EXPECT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &f, nullptr, 0, nullptr), VKT_ERR_INVALID_WAVFMT);
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"speech_lp.dss"});

    // Compression id 5 has no codec: 18, and the output is deleted.
    Bytes bytes = read_bytes(dss);
    bytes[512 + 16] = 5;
    for (size_t at = 1024; at + 512 <= bytes.size(); at += 512) bytes[at + 4] = 5;
    const std::string bad = tmp.path("id5.dss");
    write_bytes(bad, bytes);
    EXPECT_EQ(ORVKTDSSToWAV(bad.c_str(), wav.c_str(), &want, nullptr, 0, nullptr), VKT_ERR_INVALID_COMPRESSIONID);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"id5.dss", "speech_lp.dss"}));
}

// The Ex form takes a 32-bit callback value: a negative one reaches the
// callback sign-extended; the two reserved arguments change nothing.
TEST(DssToWav, ExFormWidensTheCallbackValueWithItsSign) {
    TempDir tmp;
    const std::string dss = copy_fixture(tmp, "speech_lp.dss");
    const WAVEFORMATEX want = pcm_format(16000);
    static std::vector<intptr_t> seen;
    seen.clear();
    auto record = [](intptr_t user, uint32_t message, uint32_t) -> int32_t {
        EXPECT_EQ(message, VKT_PROGRESS_MESSAGE);
        seen.push_back(user);
        return 0;
    };
    int reserved = 0;
    ASSERT_EQ(ORVKTDSSToWAVEx(dss.c_str(), tmp.path("ex.wav").c_str(), &want, record, -5, &reserved, &reserved,
                              nullptr),
              VKT_OK);
    ASSERT_FALSE(seen.empty());
    for (intptr_t v : seen) EXPECT_EQ(v, intptr_t{-5});
    ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), tmp.path("plain.wav").c_str(), &want, nullptr, 0, nullptr), VKT_OK);
    EXPECT_EQ(read_bytes(tmp.path("ex.wav")), read_bytes(tmp.path("plain.wav")));
}

// A Grundig recording (licensee 1, five header blocks): its markers, frame
// numbers in the third Grundig header, reach the WAV file in milliseconds.
// When its Grundig headers are damaged the recording converts all the same.
TEST(DssToWav, GrundigMarkersAreConvertedAndDamagedOnesIgnored) {
    TempDir tmp;
    const Bytes lp = read_bytes(data_path("speech_lp.dss"));
    ASSERT_EQ(lp[0], 2) << "the fixture has two header blocks";
    auto put_le32 = [](Bytes& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    auto block = [](uint8_t fill, const char* id) {
        Bytes b(512, fill);
        if (id) std::memcpy(b.data(), id, 16);
        return b;
    };
    Bytes h1(lp.begin(), lp.begin() + 512);
    h1[0] = 5;
    put_le32(h1, 8, 1);  // licensee: Grundig
    Bytes gap = block(0x22, nullptr);
    gap[300] = gap[301] = 0;  // the block before the third Grundig header
    Bytes h3 = block(0xFF, "GR___9607_000000");
    put_le32(h3, 229, 10);  // frames 10 to 20
    put_le32(h3, 238, 20);
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
        Bytes file = h1;
        for (const Bytes* part : std::initializer_list<const Bytes*>{&c.h2, &gap, &h3, &h3, &audio}) file.insert(file.end(), part->begin(), part->end());
        std::memcpy(file.data() + 4 * 512, "GR___0607_000000", 16);  // the fifth header block is H#5
        const std::string dss = tmp.path(c.name), wav = dss + ".wav";
        write_bytes(dss, file);
        ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &want, nullptr, 0, nullptr), VKT_OK);
        const ParsedWav out = parse_wav(wav);
        ASSERT_TRUE(out.ok);
        EXPECT_EQ(out.data.size(), frames * 480u) << "the audio is all there";
        uint8_t markers[256];
        ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(wav.c_str(), markers), VKT_OK);
        uint32_t first[2];
        std::memcpy(first, markers, sizeof first);
        EXPECT_EQ(first[0], c.start_ms);
        EXPECT_EQ(first[1], c.end_ms);
    }
}
