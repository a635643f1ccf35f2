// The codec drivers: encode and decode speed as multiples of real time
// (counter "x_realtime"), and for the quality-play codec the quality of ten
// seconds of espeak-ng speech at 16 kHz against Opus at 28 kbit/s, which is
// coded by ffmpeg in the same run (counters lsd_db, segsnr_db; the Opus run
// also gives qp_lsd_ratio, our codec's distance over Opus's).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/codec_formats.h"
#include "codecs/qp_codec.h"
#include "codecs/quality_metrics.h"
#include "platform/acm.h"

using namespace vkt::codecs;

namespace {

constexpr const char* kText =
    "Dictation for the file of Mister Brown. Please prepare a letter to the insurance company about the "
    "accident on the fourth of March, and attach the two reports from the workshop. Call me back tomorrow "
    "morning before ten o'clock if anything is missing.";

std::string tmp_path(const char* name) { return std::string("/tmp/orvkt_codec_bench_") + name; }

std::vector<uint8_t> read_file(const std::string& path) {
    std::vector<uint8_t> data;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        std::fclose(f);
    }
    return data;
}

void write_file(const std::string& path, const void* data, size_t size) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

std::vector<int16_t> samples_of(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// Ten seconds of speech at `rate`, made once per rate.
const std::vector<int16_t>& speech(int rate) {
    static std::vector<int16_t> cache[3];
    const int slot = rate == 8000 ? 0 : rate == 11025 ? 1 : 2;
    auto& s = cache[slot];
    if (s.empty()) {
        const std::string wav = tmp_path("speech.wav"), raw = tmp_path("speech.raw");
        const std::string cmd = "espeak-ng -w " + wav + " \"" + kText + "\" && sox " + wav +
                                " -t raw -e signed -b 16 -c 1 -r " + std::to_string(rate) + " " + raw +
                                " pad 0 10 trim 0 10";
        if (std::system(cmd.c_str()) != 0) return s;
        s = samples_of(read_file(raw));
        s.resize(static_cast<size_t>(rate) * 10, 0);
    }
    return s;
}

// Runs `src` through one codec stream in buffers of `units` blocks.
std::vector<uint8_t> convert(const WAVEFORMATEX& from, const WAVEFORMATEX& to, const std::vector<uint8_t>& src,
                             uint32_t in_unit, uint32_t out_unit, uint32_t units = 64) {
    HACMSTREAM h = nullptr;
    if (acmStreamOpen(&h, nullptr, &from, &to, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) return {};
    vkt::acm::UniqueStream stream(h);
    std::vector<uint8_t> out, buf(out_unit * (units + 1));
    for (size_t pos = 0; pos + in_unit <= src.size(); pos += size_t(in_unit) * units) {
        ACMSTREAMHEADER hdr{};
        hdr.cbStruct = 124;
        hdr.pbSrc = const_cast<uint8_t*>(src.data() + pos);
        hdr.cbSrcLength = static_cast<uint32_t>(std::min<size_t>(size_t(in_unit) * units, src.size() - pos));
        hdr.pbDst = buf.data();
        hdr.cbDstLength = static_cast<uint32_t>(buf.size());
        acmStreamPrepareHeader(h, &hdr, 0);
        // The last buffer ends the stream: codecs hand out what they hold.
        const bool last = pos + size_t(in_unit) * units >= src.size();
        acmStreamConvert(h, &hdr, last ? ACM_STREAMCONVERTF_END : 0);
        acmStreamUnprepareHeader(h, &hdr, 0);
        out.insert(out.end(), buf.begin(), buf.begin() + hdr.cbDstLengthUsed);
    }
    return out;
}

std::vector<uint8_t> bytes_of(const std::vector<int16_t>& s) {
    std::vector<uint8_t> b(s.size() * 2);
    std::memcpy(b.data(), s.data(), b.size());
    return b;
}

void realtime(benchmark::State& state, double seconds) {
    state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_QpEncode(benchmark::State& state) {
    auto pcm = bytes_of(speech(16000));
    for (auto _ : state) benchmark::DoNotOptimize(convert(pcm_format(16000), qp_format(), pcm, 512, 57));
    realtime(state, 10.0);
}
BENCHMARK(BM_QpEncode)->Unit(benchmark::kMillisecond);

void BM_QpDecode(benchmark::State& state) {
    auto blocks = convert(pcm_format(16000), qp_format(), bytes_of(speech(16000)), 512, 57);
    for (auto _ : state) benchmark::DoNotOptimize(convert(qp_format(), pcm_format(16000), blocks, 57, 512));
    realtime(state, 10.0);
}
BENCHMARK(BM_QpDecode)->Unit(benchmark::kMillisecond);

// The quality-play round trip through the codec manager; decoded sample k is
// input sample k.
SpeechQuality qp_quality(const std::vector<int16_t>& in) {
    auto blocks = convert(pcm_format(16000), qp_format(), bytes_of(in), 512, 57);
    auto out = samples_of(convert(qp_format(), pcm_format(16000), blocks, 57, 512));
    return measure_speech_quality(in, out, 0, 16000);
}

void BM_QpQuality(benchmark::State& state) {
    const auto& in = speech(16000);
    SpeechQuality q;
    for (auto _ : state) q = qp_quality(in);
    state.counters["lsd_db"] = q.log_spectral_distance_db;
    state.counters["segsnr_db"] = q.segmental_snr_db;
    state.counters["kbit_s"] = 57 * 8 * 16000.0 / 256 / 1000;
}
BENCHMARK(BM_QpQuality)->Iterations(1)->Unit(benchmark::kMillisecond);

// Opus at 28 kbit/s through the ffmpeg program: encode and decode timed as
// whole commands (process start included), quality as for our codec.
void BM_Opus28kQuality(benchmark::State& state) {
    const auto& in = speech(16000);
    const std::string raw = tmp_path("opus_in.raw"), opus = tmp_path("o.opus"), back = tmp_path("opus_out.raw");
    write_file(raw, in.data(), in.size() * 2);
    SpeechQuality q;
    double encode_s = 0, decode_s = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        const std::string enc = "ffmpeg -nostdin -loglevel error -y -f s16le -ar 16000 -ac 1 -i " + raw +
                                " -c:a libopus -b:a 28k " + opus;
        if (std::system(enc.c_str()) != 0) {
            state.SkipWithError("ffmpeg with libopus failed");
            return;
        }
        auto t1 = std::chrono::steady_clock::now();
        const std::string dec = "ffmpeg -nostdin -loglevel error -y -i " + opus + " -f s16le -ar 16000 -ac 1 " + back;
        if (std::system(dec.c_str()) != 0) {
            state.SkipWithError("ffmpeg opus decoding failed");
            return;
        }
        auto t2 = std::chrono::steady_clock::now();
        encode_s = std::chrono::duration<double>(t1 - t0).count();
        decode_s = std::chrono::duration<double>(t2 - t1).count();
        q = measure_speech_quality(in, samples_of(read_file(back)), 0, 16000);
    }
    state.counters["lsd_db"] = q.log_spectral_distance_db;
    state.counters["segsnr_db"] = q.segmental_snr_db;
    state.counters["qp_lsd_ratio"] = qp_quality(in).log_spectral_distance_db / q.log_spectral_distance_db;
    state.counters["encode_x_realtime"] = 10.0 / encode_s;
    state.counters["decode_x_realtime"] = 10.0 / decode_s;
}
BENCHMARK(BM_Opus28kQuality)->Iterations(1)->Unit(benchmark::kMillisecond);

// The other way to frames that decode on their own: Opus packets carried in
// our frames, with the encoder started afresh for every group of five
// frames (80 ms, four 20 ms packets), since an Opus packet leans on the
// decoder state its predecessors left. Each group is its own stream here
// (250 runs of ffmpeg: about 40 s).
void BM_OpusIn80msGroupsQuality(benchmark::State& state) {
    const auto& in = speech(16000);
    constexpr size_t kGroup = 5 * 256;
    const std::string raw = tmp_path("group_in.raw"), opus = tmp_path("group.opus"), back = tmp_path("group_out.raw");
    SpeechQuality q;
    for (auto _ : state) {
        std::vector<int16_t> decoded;
        for (size_t at = 0; at + kGroup <= in.size(); at += kGroup) {
            write_file(raw, in.data() + at, kGroup * 2);
            const std::string enc = "ffmpeg -nostdin -loglevel error -y -f s16le -ar 16000 -ac 1 -i " + raw +
                                    " -c:a libopus -b:a 28k -frame_duration 20 " + opus;
            const std::string dec = "ffmpeg -nostdin -loglevel error -y -i " + opus + " -f s16le -ar 16000 -ac 1 " + back;
            if (std::system(enc.c_str()) != 0 || std::system(dec.c_str()) != 0) {
                state.SkipWithError("ffmpeg with libopus failed");
                return;
            }
            std::vector<int16_t> group = samples_of(read_file(back));
            group.resize(kGroup);
            decoded.insert(decoded.end(), group.begin(), group.end());
        }
        std::vector<int16_t> reference(in.begin(), in.begin() + static_cast<long>(decoded.size()));
        q = measure_speech_quality(reference, decoded, 0, 16000);
    }
    state.counters["lsd_db"] = q.log_spectral_distance_db;
    state.counters["segsnr_db"] = q.segmental_snr_db;
}
BENCHMARK(BM_OpusIn80msGroupsQuality)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SpDecode12000(benchmark::State& state) {
    // Frames of varied bits; speed does not depend on what they say.
    std::vector<uint8_t> blocks(42 * 417);
    uint32_t seed = 7;
    for (size_t i = 0; i < blocks.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        blocks[i] = i % 42 == 41 ? 0 : static_cast<uint8_t>(seed >> 24);
    }
    for (auto _ : state) benchmark::DoNotOptimize(convert(sp_format(12000), pcm_format(12000), blocks, 42, 576));
    realtime(state, 417 * 0.024);
}
BENCHMARK(BM_SpDecode12000)->Unit(benchmark::kMillisecond);

void BM_G723Encode(benchmark::State& state) {
    auto pcm = bytes_of(speech(8000));
    for (auto _ : state) benchmark::DoNotOptimize(convert(pcm_format(8000), lp_format(), pcm, 480, 25));
    realtime(state, 10.0);
}
BENCHMARK(BM_G723Encode)->Unit(benchmark::kMillisecond);

void BM_G723Decode(benchmark::State& state) {
    auto blocks = convert(pcm_format(8000), lp_format(), bytes_of(speech(8000)), 480, 25);
    for (auto _ : state) benchmark::DoNotOptimize(convert(lp_format(), pcm_format(8000), blocks, 25, 480));
    realtime(state, 10.0);
}
BENCHMARK(BM_G723Decode)->Unit(benchmark::kMillisecond);

void BM_Mp3Decode(benchmark::State& state) {
    const std::string raw = tmp_path("mp3_in.raw"), mp3 = tmp_path("s.mp3");
    const auto& in = speech(16000);
    write_file(raw, in.data(), in.size() * 2);
    const std::string enc = "ffmpeg -nostdin -loglevel error -y -f s16le -ar 16000 -ac 1 -i " + raw +
                            " -c:a libmp3lame -b:a 32k -write_xing 0 -f mp3 " + mp3;
    if (std::system(enc.c_str()) != 0) {
        state.SkipWithError("ffmpeg with libmp3lame failed");
        return;
    }
    auto data = read_file(mp3);
    WAVEFORMATEX f{WAVE_FORMAT_MPEGLAYER3, 1, 16000, 4000, 1, 0, 0};
    for (auto _ : state) benchmark::DoNotOptimize(convert(f, pcm_format(16000), data, 4000, 40000, 1));
    realtime(state, 10.0);
}
BENCHMARK(BM_Mp3Decode)->Unit(benchmark::kMillisecond);

}  // namespace
