// One hour of speech as MP3 (espeak-ng speech looped, 16000/s mono,
// libmp3lame 32 kbit/s, behind an ID3v2 tag with our private frame):
//   MP3 -> WAV    ORVKTMP3ToWAV to 16-bit mono 16000/s   vs  ffmpeg -i x.mp3 x.wav
//   MP3 split     ORVKTSplitMP3File into 15 pieces of 240 s
//                 vs 15 x ffmpeg -ss S -t 240 -i x.mp3 -c copy piece.mp3
// each timed in the same run ("x_ffmpeg": time as a multiple of ffmpeg's).
// The recording is made once per run and removed at the end.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"

namespace {

constexpr uint32_t kPieceSeconds = 240;
constexpr uint32_t kPieces = 15;

const std::string kDir = "/tmp/orvkt_bench_media";
std::string scratch(const std::string& name) { return kDir + "/" + name; }

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

void fail(const char* what) {
    std::fprintf(stderr, "media_bench: %s failed\n", what);
    std::exit(1);
}

// An ID3v2.3 tag holding our private frame with a header image.
std::vector<uint8_t> dictation_tag() {
    std::vector<uint8_t> image(1536, 0xFF);
    const uint8_t header1[12] = {3, 'd', 's', '2', 2, 0, 3, 0, 3, 0, 0, 0};  // 3 blocks, "ds2", 2, 3, licensee 3
    std::copy(header1, header1 + 12, image.begin());
    std::fill(image.begin() + 512, image.begin() + 1024, 0);
    const std::string owner = "https://orvane.example/dictation";
    const uint32_t frame_size = 10 + 34 + 1536;
    std::vector<uint8_t> tag(10 + frame_size, 0);
    uint8_t* p = tag.data();
    const uint8_t head[10] = {'I', 'D', '3', 3, 0, 0, static_cast<uint8_t>(frame_size >> 21 & 0x7F),
                              static_cast<uint8_t>(frame_size >> 14 & 0x7F), static_cast<uint8_t>(frame_size >> 7 & 0x7F),
                              static_cast<uint8_t>(frame_size & 0x7F)};
    std::copy(head, head + 10, p);
    // PRIV, body size 1570 (0x622), no flags, owner, 0, version 0, image.
    const uint8_t frame_head[10] = {'P', 'R', 'I', 'V', 0, 0, 0x06, 0x22, 0, 0};
    std::copy(frame_head, frame_head + 10, p + 10);
    std::copy(owner.begin(), owner.end(), p + 20);
    std::copy(image.begin(), image.end(), p + 20 + 34);
    return tag;
}

struct Files {
    std::string source = scratch("hour.mp3");
    uint64_t size = 0;
    Files() {
        ::mkdir(kDir.c_str(), 0755);
        const std::string speech = scratch("speech.wav");
        const std::string frames = scratch("frames.mp3");
        if (!run("espeak-ng -v en -w " + speech +
                 " 'The patient was seen today on the ward round. Blood pressure is normal and the wound heals "
                 "well. Please schedule a follow up visit in two weeks and send a copy of this letter to the "
                 "family doctor.'"))
            fail("espeak-ng");
        if (!run("ffmpeg -nostdin -v error -y -stream_loop -1 -i " + speech +
                 " -t 3600 -ar 16000 -ac 1 -c:a libmp3lame -b:a 32k -write_xing 0 -id3v2_version 0 " + frames))
            fail("making the hour of MP3");
        std::FILE* in = std::fopen(frames.c_str(), "rb");
        std::FILE* out = std::fopen(source.c_str(), "wb");
        if (!in || !out) fail("writing the recording");
        const auto tag = dictation_tag();
        std::fwrite(tag.data(), 1, tag.size(), out);
        std::vector<char> buffer(1 << 20);
        for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) std::fwrite(buffer.data(), 1, n, out);
        std::fclose(in);
        std::fclose(out);
        std::remove(frames.c_str());
        std::remove(speech.c_str());
        struct stat st{};
        ::stat(source.c_str(), &st);
        size = static_cast<uint64_t>(st.st_size);
    }
    ~Files() {
        remove_outputs();
        std::remove(source.c_str());
        ::rmdir(kDir.c_str());
    }
    static std::string piece(uint32_t n) {
        char name[32];
        std::snprintf(name, sizeof name, "p%02u.mp3", n);
        return scratch(name);
    }
    static void remove_outputs() {
        for (uint32_t n = 1; n <= kPieces + 1; ++n) std::remove(piece(n).c_str());
        for (const char* name : {"ffmpeg.wav", "orvkt.wav"}) std::remove(scratch(name).c_str());
    }
};

Files& files() {
    static Files f;
    return f;
}

double g_ffmpeg_wav = 0;
double g_ffmpeg_split = 0;
uint32_t g_pieces = 0;

// Times work() per iteration on fresh outputs; peer says which ffmpeg time
// this run stores (is_peer) or compares with.
template <typename Work>
void run_timed(benchmark::State& state, Work work, double* peer, bool is_peer) {
    Files& f = files();
    double total = 0;
    for (auto _ : state) {
        Files::remove_outputs();
        const auto start = std::chrono::steady_clock::now();
        work(f);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    const double mean = total / static_cast<double>(state.iterations());
    if (is_peer) *peer = mean;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.size));
    if (*peer > 0) state.counters["x_ffmpeg"] = mean / *peer;
}

void BM_Mp3ToWavFfmpeg(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            if (!run("ffmpeg -nostdin -v error -y -i " + f.source + " " + scratch("ffmpeg.wav"))) fail("ffmpeg");
        },
        &g_ffmpeg_wav, true);
}

void BM_Mp3ToWav(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            WAVEFORMATEX pcm{};
            pcm.wFormatTag = WAVE_FORMAT_PCM;
            pcm.nChannels = 1;
            pcm.nSamplesPerSec = 16000;
            pcm.nAvgBytesPerSec = 32000;
            pcm.nBlockAlign = 2;
            pcm.wBitsPerSample = 16;
            if (ORVKTMP3ToWAV(f.source.c_str(), scratch("orvkt.wav").c_str(), &pcm, nullptr, 0) != 0)
                fail("ORVKTMP3ToWAV");
        },
        &g_ffmpeg_wav, false);
}

void BM_Mp3SplitFfmpeg(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            std::string commands;
            for (uint32_t n = 1; n <= kPieces; ++n) {
                commands += "ffmpeg -nostdin -v error -y -ss " + std::to_string((n - 1) * kPieceSeconds) + " -t " +
                            std::to_string(kPieceSeconds) + " -i " + f.source + " -c copy " + Files::piece(n) +
                            (n < kPieces ? " && " : "");
            }
            if (!run(commands)) fail("ffmpeg split");
        },
        &g_ffmpeg_split, true);
}

void BM_Mp3Split(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            uint32_t last = 0;
            if (ORVKTSplitMP3File(f.source.c_str(), kDir.c_str(), "p%02d.mp3", kPieceSeconds, 0, 0xFFFFFFFF, &last,
                                  nullptr, 0) != 0 ||
                last < kPieces)
                fail("ORVKTSplitMP3File");
            g_pieces = last;
        },
        &g_ffmpeg_split, false);
    // The frames of the encoder's last block start after 3600 s: a short
    // last piece holds them.
    state.counters["pieces"] = g_pieces;
}

// Each peer first, so that the library's time can be stated as a multiple of it.
BENCHMARK(BM_Mp3ToWavFfmpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Mp3ToWav)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Mp3SplitFfmpeg)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Mp3Split)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
