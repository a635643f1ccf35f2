// Every conversion export: format written, length and sound kept, progress, nothing else left.
#include <gtest/gtest.h>

#include "conv_files.h"

using namespace conv_test;
using namespace orvkt_test;

namespace {

double frame_seconds(uint8_t id) { return id == 2 ? 0.030 : id == 4 ? 0.036 : id >= 6 ? 0.016 : 0.024; }

// From the file's own bytes (MP3 and WMA: as the library states it).
double seconds_of(const std::string& path) {
    if (path.ends_with(".mp3") || path.ends_with(".wma")) {
        uint32_t ms = 0;
        EXPECT_EQ(ORVKTWAVGetSndDataLength(path.c_str(), &ms), VKT_OK);
        return ms / 1000.0;
    }
    if (path.ends_with(".wav")) {
        const ParsedWav w = parse_wav(path);
        return static_cast<double>(w.data.size()) / w.format.nAvgBytesPerSec;
    }
    const DssFacts f = dss_facts(path);
    return f.frames * frame_seconds(f.block_id);
}

uint8_t mode_id(const WAVEFORMATEX& f) {
    if (f.wFormatTag == WAVE_FORMAT_DSS_LP) return 2;
    return f.nSamplesPerSec == 12000 ? 0 : f.nSamplesPerSec == 8000 ? 4 : 6;
}

void write_tone(const std::string& path, uint32_t rate, uint16_t bits, uint16_t channels = 1) {
    Bytes data;
    for (int16_t s : sine(1000, rate, rate)) {
        for (uint16_t c = 0; c < channels; ++c) {
            if (bits == 8) data.push_back(static_cast<uint8_t>((s >> 8) + 128));
            else data.insert(data.end(), {static_cast<uint8_t>(s), static_cast<uint8_t>(s >> 8)});
        }
    }
    write_bytes(path, wav_bytes(pcm_format(rate, bits, channels), data));
}

std::vector<int16_t> as_signed(const ParsedWav& w) {
    if (w.format.wBitsPerSample == 16) return w.samples();
    std::vector<int16_t> s(w.data.size());
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>((w.data[i] - 128) * 256);
    return s;
}

enum class Sound { Tone, Speech, Silence };

struct Row {
    const char* source;  // in the scratch folder, or a fixture of tests/data
    Export how;
    WAVEFORMATEX want;
    const char* dst;
    double tolerance;  // seconds the length may differ from the source's
    Sound sound;
    // A report in the ten up to `reports`, the one before 100 (0: any), reports in (50, 100).
    uint32_t reports, before_100;
    bool changes;
    int16_t headers = 3;
};

const WAVEFORMATEX g723{WAVE_FORMAT_DSS_LP, 1, 8000, 834, 25, 0, 0};

class Conversions : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!orvkt_test::have_program("espeak-ng")) return;
        dir_ = new TempDir;
        const auto path = [](const std::string& n) { return dir_->path(n); };
        write_speech_wav(path("speech.wav"), 22050);
        Bytes b8;
        for (int16_t s : orvkt_test::speech_samples(kSpeechText, 11025)) b8.push_back(static_cast<uint8_t>((s >> 8) + 128));
        write_bytes(path("speech8.wav"), wav_bytes(pcm_format(11025, 8), b8));
        std::vector<int16_t> both;
        for (int16_t s : orvkt_test::speech_samples(kSpeechText, 44100)) both.insert(both.end(), {s, int16_t(s / 2)});
        write_bytes(path("stereo.wav"), wav_bytes(pcm_format(44100, 16, 2), sample_bytes(both)));
        for (const auto& [name, mode] : {std::pair{"sp.dss", sp_format()}, {"qp.ds2", qp_format()}})
            ORVKTWAVToDSS(path("speech.wav").c_str(), path(name).c_str(), &mode, 3, nullptr, 0);
        for (const auto& [rate, bits] : {std::pair{44100u, 16}, {8000u, 16}, {12000u, 8}, {22050u, 16}, {16000u, 16},
                                         {11025u, 8}})
            write_tone(path("t" + std::to_string(rate) + "_" + std::to_string(bits) + ".wav"), rate, uint16_t(bits));
        write_tone(path("tstereo.wav"), 44100, 16, 2);
        write_pcm16_wav(path("empty.wav"), {}, 22050);
    }
    static void TearDownTestSuite() { delete dir_; }
    static inline TempDir* dir_ = nullptr;
};

}  // namespace

TEST_F(Conversions, FormatLengthSoundAndProgress) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    using enum Export;
    const Row rows[] = {
        {"sp.dss", DssToWav, pcm_format(12000), "a.wav", 0, Sound::Speech, 0, 50, false},
        {"qp.ds2", DssToWav, pcm_format(16000), "a.wav", 0, Sound::Speech, 0, 50, false},
        {"sp.dss", DssToWav, pcm_format(8000), "a.wav", 0, Sound::Speech, 0, 50, false},
        {"sp.dss", DssToWav, pcm_format(8000, 8), "a.wav", 0.05, Sound::Speech, 50, 0, true},
        // Stereo is mixed first (0 to 40).
        {"t44100_16.wav", WavToWav, pcm_format(8000), "a.wav", 0.01, Sound::Tone, 0, 0, false},
        {"t8000_16.wav", WavToWav, pcm_format(22050, 8), "a.wav", 0.01, Sound::Tone, 0, 0, false},
        {"t12000_8.wav", WavToWav, pcm_format(16000), "a.wav", 0.01, Sound::Tone, 0, 0, false},
        {"t22050_16.wav", WavToWav, pcm_format(11025), "a.wav", 0.01, Sound::Tone, 0, 0, false},
        {"t16000_16.wav", WavToWav, pcm_format(12000), "a.wav", 0.01, Sound::Tone, 0, 0, false},
        {"t11025_8.wav", WavToWav, pcm_format(11025), "a.wav", 0.01, Sound::Tone, 0, 0, false},
        {"tstereo.wav", WavToWav, pcm_format(8000), "a.wav", 0.01, Sound::Tone, 40, 0, false},
        {"tstereo.wav", WavToWav, pcm_format(44100), "a.wav", 0, Sound::Tone, 0, 0, false},
        {"empty.wav", WavToWav, pcm_format(8000, 8), "a.wav", 0, Sound::Silence, 0, 0, false},
        // At most the last, partial frame is dropped.
        {"speech.wav", WavToDss, sp_format(), "a.dss", 0.03, Sound::Speech, 0, 0, true, 1},
        {"speech8.wav", WavToDss, lp_format(), "a.dss", 0.041, Sound::Speech, 0, 0, true, 2},
        {"stereo.wav", WavToDss, qp_format(), "a.ds2", 0.021, Sound::Speech, 0, 0, true, 3},
        {"speech8.wav", WavToDss, sp_format(), "a.ds2", 0.03, Sound::Speech, 0, 0, true, 2},
        {"stereo.wav", WavToDss, g723, "a.dss", 0.035, Sound::Speech, 0, 0, true, 1},
        {"speech.wav", WavToDss, g723, "a.dss", 0.035, Sound::Speech, 0, 0, true, 3},
        {"sp.dss", DssToDss, qp_format(), "a.ds2", 0.06, Sound::Speech, 50, 0, true},
        // Decoded (to 40 or 50), mixed (40 to 50), converted (50 to 100) unless already right.
        {"speech_stereo.mp3", Mp3ToWav, pcm_format(22050), "a.wav", 0.1, Sound::Speech, 50, 0, false},
        {"speech_header.mp3", Mp3ToWav, pcm_format(8000, 8), "a.wav", 0.1, Sound::Speech, 0, 0, true},
        {"speech_mono.wma", WmaToWav, pcm_format(16000), "a.wav", 0.15, Sound::Speech, 0, 50, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.source) + " to " + r.dst + " " + std::to_string(r.want.nSamplesPerSec) + "/" +
                     std::to_string(r.want.wBitsPerSample));
        const bool fixture = orvkt_test::file_exists(data_path(r.source)) && !orvkt_test::file_exists(dir_->path(r.source));
        const std::string src = fixture ? data_path(r.source) : dir_->path(r.source);
        TempDir out;
        const std::string dst = out.path(r.dst);
        ProgressLog log;
        ASSERT_EQ(convert(r.how, src, dst, r.want, &log, r.headers), VKT_OK);
        EXPECT_EQ(out.entries(), std::vector<std::string>{r.dst}) << "no temporary file stays";
        const double expected = seconds_of(src);
        if (std::string(r.dst).ends_with(".wav")) {
            const ParsedWav w = parse_wav(dst);
            ASSERT_TRUE(w.ok);
            EXPECT_EQ(w.format, unpack(r.want));
            EXPECT_EQ(w.fact, w.data.size() / r.want.nBlockAlign);
            EXPECT_NEAR(seconds_of(dst), expected, r.tolerance + 1e-9);
            const auto s = as_signed(w);
            if (r.sound == Sound::Tone) {
                EXPECT_NEAR(tone_frequency(s, r.want.nSamplesPerSec), 1000, 20);
                // Up to 1 dB per filter stage, up to three stages.
                const double db = 20 * std::log10(rms(s, s.size() / 4, s.size() * 3 / 4) / (8000 / std::sqrt(2.0)));
                EXPECT_GE(db, -3.2);
                EXPECT_LE(db, 0.2);
            } else {
                EXPECT_EQ(rms(s) > 150, r.sound == Sound::Speech);
            }
        } else {
            const DssFacts f = dss_facts(dst);
            EXPECT_EQ(f.headers, static_cast<uint32_t>(r.headers));
            EXPECT_EQ(f.block_id, mode_id(r.want));
            EXPECT_EQ(f.header2_id, r.headers >= 2 ? mode_id(r.want) : 0xFFFF);
            EXPECT_EQ(std::string(f.header1.begin() + 1, f.header1.begin() + 4), std::string(r.dst).substr(2));
            EXPECT_NEAR(seconds_of(dst), expected, r.tolerance);
        }
        if (r.sound == Sound::Silence) continue;  // no data, no reports
        ASSERT_FALSE(log.percents.empty());
        EXPECT_EQ(log.percents.back(), 100u);
        for (uint32_t m : log.messages) EXPECT_EQ(m, VKT_PROGRESS_MESSAGE);
        if (r.how == Export::DssToDss) {
            const auto restart = std::is_sorted_until(log.percents.begin(), log.percents.end());
            ASSERT_NE(restart, log.percents.end());
            EXPECT_EQ(*(restart - 1), 50u);
            EXPECT_TRUE(std::is_sorted(restart, log.percents.end()));
        } else {
            EXPECT_TRUE(std::is_sorted(log.percents.begin(), log.percents.end()));
        }
        EXPECT_TRUE(r.reports == 0 || log.any_between(r.reports - 10, r.reports + 1)) << "reports up to " << r.reports;
        EXPECT_TRUE(r.before_100 == 0 || log.percents.end()[-2] == r.before_100) << "before 100: " << r.before_100;
        EXPECT_EQ(log.any_between(50, 100), r.changes);
    }
}

// Other programs put a list of labels ("adtl") before the INFO list with header and markers.
TEST(Conversion, TheInfoListBehindAListOfLabelsIsCarried) {
    uint8_t markers[256];
    std::memset(markers, 0xFF, sizeof markers);
    const uint32_t range[2] = {250, 900};
    std::memcpy(markers, range, sizeof range);
    for (const size_t labels : {size_t{6}, size_t{4000}}) {
        SCOPED_TRACE(labels);
        TempDir tmp;
        const std::string src = tmp.path("labelled.wav"), dst = tmp.path("out.wav"), carrier = tmp.path("c.ds2");
        Bytes file = wav_bytes(pcm_format(16000), sample_bytes(sine(500, 16000, 16000)));
        riff_bytes::append(file, riff_bytes::list("adtl", riff_bytes::chunk("labl", Bytes(labels, 'x'))));
        const uint32_t riff_size = static_cast<uint32_t>(file.size() - 8);
        std::memcpy(file.data() + 4, &riff_size, 4);
        write_bytes(src, file);
        ZRM2HeaderInfo info{};
        info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        ASSERT_EQ(ORVKTCreateDSSTemplate(carrier.c_str(), nullptr, 6), VKT_OK);
        ASSERT_EQ(ORVKTReadZRM2Header(carrier.c_str(), &info), VKT_OK);
        std::memcpy(info.achH1Text, "Author Name     ", 16);
        ASSERT_EQ(ORVKTWriteZRM2Header(carrier.c_str(), &info), VKT_OK);
        ASSERT_EQ(ORVKTCopyDSSHeaders(carrier.c_str(), src.c_str(), 1, 0), VKT_OK);
        ASSERT_EQ(ORVKTWriteSpokenInstructionMarkers(src.c_str(), markers), VKT_OK);
        ASSERT_EQ(convert(Export::WavToWav, src, dst, pcm_format(8000)), VKT_OK);
        ZRM2HeaderInfo back{};
        back.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        ASSERT_EQ(ORVKTReadZRM2Header(dst.c_str(), &back), VKT_OK);
        EXPECT_EQ(std::string(back.achH1Text, 16), "Author Name     ");
        uint8_t read[256] = {};
        ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(dst.c_str(), read), VKT_OK);
        EXPECT_EQ(std::memcmp(read, markers, sizeof markers), 0);
        const Bytes list = parse_wav(dst).list, labl = {'l', 'a', 'b', 'l'};
        EXPECT_EQ(std::search(list.begin(), list.end(), labl.begin(), labl.end()), list.end());
    }
}

TEST(ConversionRefusals, LeaveNothingBehind) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    write_bytes(tmp.path("lp.dss"), read_bytes(data_path("speech_lp.dss")));
    Bytes id5 = read_bytes(data_path("speech_lp.dss"));  // compression id 5 has no codec
    id5[512 + 16] = 5;
    for (size_t at = 1024; at + 512 <= id5.size(); at += 512) id5[at + 4] = 5;
    write_bytes(tmp.path("id5.dss"), id5);
    write_pcm16_wav(tmp.path("in.wav"), sine(300, 12000, 12000), 12000);
    write_pcm16_wav(tmp.path("odd.wav"), sine(300, 48000, 4800), 48000);
    write_bytes(tmp.path("stereo8.wav"), wav_bytes(pcm_format(8000, 8, 2), Bytes(16000, 128)));
    write_bytes(tmp.path("mono.mp3"), read_bytes(data_path("speech_mono.mp3")));
    ASSERT_FALSE(ffmpeg_make(tmp, "video.mp4", "-f lavfi -i color=c=black:s=16x16:d=0.3 -c:v mpeg4").empty());
    ASSERT_FALSE(ffmpeg_make(tmp, "video.wma", "-f lavfi -i color=c=black:s=16x16:d=0.3 -c:v wmv2 -f asf").empty());
    write_bytes(tmp.path("empty.wma"), {});
    const WAVEFORMATEX p8 = pcm_format(8000), sp = sp_format();
    auto with = [](WAVEFORMATEX f, auto change) {
        change(f);
        return f;
    };
    const WAVEFORMATEX extra = with(p8, [](WAVEFORMATEX& f) { f.cbSize = 2; });  // PCM takes no extra bytes
    const WAVEFORMATEX wide = with(p8, [](WAVEFORMATEX& f) { f.nBlockAlign = 4; });
    const WAVEFORMATEX avg = with(p8, [](WAVEFORMATEX& f) { f.nAvgBytesPerSec = 12345; });
    constexpr uint32_t kAny = 0xFFFFFFFF;  // any failure
    struct Row {
        Export how;
        const char *src, *dst;
        WAVEFORMATEX want;
        uint32_t code;
        int16_t headers = 3;
    };
    using enum Export;
    const Row rows[] = {
        {DssToWav, "none.dss", "out.wav", p8, VKT_ERR_OPEN_FILE},
        {DssToWav, "lp.dss", "no/such/out.wav", p8, kAny},
        {DssToWav, "noext", "", p8, VKT_ERR_FILE_NAME},  // no name to derive
        {DssToWav, "lp.dss", "out.wav", pcm_format(48000), VKT_ERR_CODEC},
        {DssToWav, "lp.dss", "out.wav", wide, VKT_ERR_INVALID_WAVFMT},
        {DssToWav, "lp.dss", "out.wav", avg, VKT_ERR_INVALID_WAVFMT},
        {DssToWav, "id5.dss", "out.wav", p8, VKT_ERR_INVALID_COMPRESSIONID},
        {WavToWav, "in.wav", "out.wav", extra, VKT_ERR_INVALID_WAVFMT},
        {WavToWav, "in.wav", "out.wav", wide, VKT_ERR_INVALID_WAVFMT},
        {WavToWav, "in.wav", "in.wav", p8, VKT_ERR_OPEN_FILE},  // would destroy the source
        {WavToWav, "in.wav", "out.wav", pcm_format(48000), VKT_ERR_CODEC},
        {WavToWav, "none.wav", "out.wav", p8, kAny},
        {WavToWav, "stereo8.wav", "out.wav", p8, VKT_ERR_CODEC},  // 8-bit stereo is not mixed
        {WavToDss, "in.wav", "out.dss", with(sp, [](WAVEFORMATEX& f) { f.cbSize = 2; }), VKT_ERR_INVALID_WAVFMT},
        {WavToDss, "in.wav", "out.dss", with(sp, [](WAVEFORMATEX& f) { f.nSamplesPerSec = 22050; }),
         VKT_ERR_INVALID_WAVFMT},
        {WavToDss, "in.wav", "out.dss", with(sp, [](WAVEFORMATEX& f) { f.nAvgBytesPerSec = 1751; }),
         VKT_ERR_INVALID_WAVFMT},
        {WavToDss, "in.wav", "out.dss", pcm_format(12000), VKT_ERR_INVALID_WAVFMT},
        {WavToDss, "in.wav", "out.dss", qp_format(), VKT_ERR},  // quality play needs DSS Pro
        {WavToDss, "in.wav", "out.wav", sp, VKT_ERR},
        {WavToDss, "in.wav", "out.dss", sp, VKT_ERR_INVALID_PARAM, 0},
        {WavToDss, "in.wav", "out.dss", sp, VKT_ERR_INVALID_PARAM, 4},
        {WavToDss, "none.wav", "out.dss", sp, kAny},
        {WavToDss, "odd.wav", "out.dss", sp, VKT_ERR_CODEC},
        {DssToDss, "lp.dss", "out.dss", qp_format(), VKT_ERR},
        {DssToDss, "lp.dss", "out.wav", sp, VKT_ERR},
        {DssToDss, "none.dss", "out.dss", sp, kAny},
        {Mp3ToWav, "none.mp3", "out.wav", p8, VKT_ERR_OPEN_FILE},
        {Mp3ToWav, "video.mp4", "out.wav", p8, VKT_ERR_INVALID_CONTENT},
        {Mp3ToWav, "mono.mp3", "out.wav", extra, VKT_ERR_INVALID_WAVFMT},
        {Mp3ToWav, "mono.mp3", "out.wav", with(p8, [](WAVEFORMATEX& f) { f.nAvgBytesPerSec = 8000; }),
         VKT_ERR_INVALID_WAVFMT},
        {WmaToWav, "none.wma", "out.wav", p8, VKT_ERR_OPEN_FILE},
        {WmaToWav, "empty.wma", "out.wav", p8, VKT_ERR_OPEN_FILE},
        {WmaToWav, "video.wma", "out.wav", p8, VKT_ERR_INVALID_CONTENT},
    };
    std::vector<Bytes> before;
    for (const auto& name : tmp.entries()) before.push_back(read_bytes(tmp.path(name)));
    const auto names = tmp.entries();
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.src) + " to " + r.dst);
        const uint32_t rc = convert(r.how, tmp.path(r.src), tmp.path(r.dst), r.want, nullptr, r.headers);
        if (r.code == kAny) EXPECT_NE(rc, VKT_OK);
        else EXPECT_EQ(rc, r.code);
        ASSERT_EQ(tmp.entries(), names);
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(read_bytes(tmp.path(names[i])), before[i]) << names[i];
    }
}
