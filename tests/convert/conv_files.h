// Files for the conversion and media tests, written and read back without the library's code.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "OrvaneVktapi.h"
#include "support/id3_bytes.h"
#include "support/riff_bytes.h"
#include "support/test_support.h"

namespace conv_test {

using Bytes = std::vector<uint8_t>;
using Markers = std::vector<std::pair<uint32_t, uint32_t>>;
using riff_bytes::get16;
using riff_bytes::get32;
using riff_bytes::put32;
using riff_bytes::put_id;
using riff_bytes::sample_bytes;

inline WAVEFORMATEX pcm_format(uint32_t rate, uint16_t bits = 16, uint16_t channels = 1) {
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

inline WAVEFORMATEX dss_format(uint32_t rate) {
    const uint32_t avg = rate == 16000 ? 3563 : rate == 12000 ? 1750 : 1167;
    return WAVEFORMATEX{WAVE_FORMAT_DSS_SP, 1, rate, avg, static_cast<uint16_t>(rate == 16000 ? 57 : 42), 0, 0};
}
inline WAVEFORMATEX sp_format() { return dss_format(12000); }
inline WAVEFORMATEX lp_format() { return dss_format(8000); }
inline WAVEFORMATEX qp_format() { return dss_format(16000); }

// fmt is 16 bytes for PCM without extras, else 18 + cbSize.
inline Bytes wav_bytes(const WAVEFORMATEX& f, const Bytes& data, const Bytes& fmt_extra = {}) {
    using namespace riff_bytes;
    Bytes fmt;
    put16(fmt, f.wFormatTag);
    put16(fmt, f.nChannels);
    put32(fmt, f.nSamplesPerSec);
    put32(fmt, f.nAvgBytesPerSec);
    put16(fmt, f.nBlockAlign);
    put16(fmt, f.wBitsPerSample);
    if (f.wFormatTag != WAVE_FORMAT_PCM || !fmt_extra.empty()) {
        put16(fmt, static_cast<uint16_t>(fmt_extra.size()));
        append(fmt, fmt_extra);
    }
    return wave(cat({chunk("fmt ", fmt), chunk("data", data)}));
}

inline void write_pcm16_wav(const std::string& path, const std::vector<int16_t>& samples, uint32_t rate) {
    orvkt_test::write_bytes(path, wav_bytes(pcm_format(rate), sample_bytes(samples)));
}

// A wave format record unpacked (packed fields cannot bind to references).
struct Format {
    uint16_t wFormatTag = 0, nChannels = 0;
    uint32_t nSamplesPerSec = 0, nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0, wBitsPerSample = 0, cbSize = 0;
    bool operator==(const Format&) const = default;
};
inline Format unpack(const WAVEFORMATEX& f) {
    return Format{f.wFormatTag, f.nChannels, f.nSamplesPerSec, f.nAvgBytesPerSec, f.nBlockAlign, f.wBitsPerSample,
                  f.cbSize};
}

struct ParsedWav {
    bool ok = false;
    Format format{};
    uint32_t fmt_size = 0;
    Bytes data;
    uint32_t fact = 0;
    Bytes list;  // LIST content behind its type
    std::vector<int16_t> samples() const { return riff_bytes::byte_samples(data); }
};

inline ParsedWav parse_wav(const std::string& path) {
    ParsedWav w;
    const Bytes b = orvkt_test::read_bytes(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) return w;
    bool fmt = false, data = false;
    for (size_t at = 12; b.size() - at >= 8;) {
        const uint32_t size = get32(b, at + 4);
        if (b.size() - at - 8 < size) break;
        const std::string id(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + 4));
        const size_t body = at + 8;
        const auto content = [&](size_t from) {
            return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(body + size));
        };
        if (id == "fmt " && size >= 16) {
            w.format = Format{get16(b, body), get16(b, body + 2), get32(b, body + 4), get32(b, body + 8),
                              get16(b, body + 12), get16(b, body + 14),
                              static_cast<uint16_t>(size >= 18 ? get16(b, body + 16) : 0)};
            w.fmt_size = size;
            fmt = true;
        } else if (id == "data") {
            w.data = content(body);
            data = true;
        } else if (id == "fact" && size >= 4) {
            w.fact = get32(b, body);
        } else if (id == "LIST" && size >= 4) {
            w.list = content(body + 4);
        }
        at = body + size + (size % 2);
    }
    w.ok = fmt && data;
    return w;
}

inline std::vector<int16_t> sine(double hz, uint32_t rate, size_t count, double amp = 8000) {
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i)
        s[i] = static_cast<int16_t>(std::lround(amp * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate)));
    return s;
}

// From the zero crossings.
inline double tone_frequency(const std::vector<int16_t>& s, uint32_t rate) {
    size_t crossings = 0;
    for (size_t i = 1; i < s.size(); ++i) crossings += (s[i - 1] < 0) != (s[i] < 0);
    return crossings * (rate / 2.0) / static_cast<double>(s.size());
}

inline double rms(const std::vector<int16_t>& s, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, s.size());
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0;
}

// Cancels at call number `cancel_at` (1-based; 0 never).
struct ProgressLog {
    std::vector<uint32_t> percents;
    std::vector<uint32_t> messages;
    size_t cancel_at = 0;
    static int32_t callback(intptr_t user, uint32_t message, uint32_t percent) {
        auto* log = reinterpret_cast<ProgressLog*>(user);
        log->percents.push_back(percent);
        log->messages.push_back(message);
        return log->cancel_at != 0 && log->percents.size() == log->cancel_at ? VKT_PROGRESS_CANCEL : 0;
    }
    intptr_t user() { return reinterpret_cast<intptr_t>(this); }
    bool any_between(uint32_t low, uint32_t high) const {
        return std::any_of(percents.begin(), percents.end(), [&](uint32_t p) { return p > low && p < high; });
    }
};

enum class Export { DssToWav, WavToWav, WavToDss, DssToDss, Mp3ToWav, WmaToWav, MediaToWav };
inline uint32_t convert(Export how, const std::string& src, const std::string& dst, const WAVEFORMATEX& want,
                        ProgressLog* log = nullptr, int16_t headers = 3, const char* password = nullptr) {
    const ProgressCallback cb = log ? &ProgressLog::callback : nullptr;
    const intptr_t user = log ? log->user() : 0;
    const char *s = src.c_str(), *d = dst.c_str();
    switch (how) {
        case Export::DssToWav: return ORVKTDSSToWAV(s, d, &want, cb, user, password);
        case Export::WavToWav: return ORVKTWAVToWAV(s, d, &want, cb, user);
        case Export::WavToDss: return ORVKTWAVToDSS(s, d, &want, headers, cb, user);
        case Export::DssToDss: return ORVKTDSSToDSS(s, d, &want, cb, user, password);
        case Export::Mp3ToWav: return ORVKTMP3ToWAV(s, d, &want, cb, user);
        case Export::WmaToWav: return ORVKTWMAToWAV(s, d, &want, cb, user);
        case Export::MediaToWav: return ORVKTWMFConvertToWAV(s, d, nullptr, cb, user);
    }
    return VKT_ERR;
}

inline const char* kSpeechText =
    "The patient was seen today. Blood pressure is normal and the wound heals well. Review in two weeks.";

// False without espeak-ng.
inline bool write_speech_wav(const std::string& path, uint32_t rate) {
    const auto s = orvkt_test::speech_samples(kSpeechText, static_cast<int>(rate));
    if (s.empty()) return false;
    write_pcm16_wav(path, s, rate);
    return true;
}

// Header blocks, the blocks' frame counts, the last block's and header 2's compression ids.
struct DssFacts {
    uint32_t headers = 0;
    uint32_t frames = 0;
    uint8_t block_id = 0xFF;
    uint16_t header2_id = 0xFFFF;
    Bytes header1;
};
inline DssFacts dss_facts(const std::string& path) {
    DssFacts f;
    const Bytes b = orvkt_test::read_bytes(path);
    if (b.size() < 512) return f;
    f.headers = b[0];
    f.header1.assign(b.begin(), b.begin() + 512);
    if (f.headers >= 2 && b.size() >= 1024) f.header2_id = get16(b, 512 + 16);
    for (size_t at = f.headers * 512u; at + 512 <= b.size(); at += 512) {
        f.frames += b[at + 2] == 0xFF ? 0 : b[at + 2];
        f.block_id = b[at + 4];
    }
    return f;
}

// "" on failure.
inline std::string ffmpeg_make(const orvkt_test::TempDir& tmp, const std::string& name, const std::string& args) {
    const std::string out = tmp.path(name);
    const auto r =
        orvkt_test::run_command("ffmpeg -hide_banner -loglevel error -y " + args + " " + orvkt_test::shell_quote(out));
    return r.status == 0 ? out : std::string();
}

// Seconds (-1 on failure).
inline double ffprobe_duration(const std::string& path) {
    const auto r = orvkt_test::run_command(
        "ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 " + orvkt_test::shell_quote(path), false);
    return r.status != 0 || r.output.empty() ? -1 : std::atof(r.output.c_str());
}

// 8336 frames of 72 bytes and 72 ms, no tag; noise, so every frame's bytes say where it came from.
inline constexpr uint32_t kFrameBytes = 72;
inline std::string ten_minutes_mp3(const orvkt_test::TempDir& tmp, const std::string& name = "ten.mp3") {
    return ffmpeg_make(tmp, name,
                       "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:seed=7:sample_rate=8000:duration=600 "
                       "-ac 1 -c:a libmp3lame -b:a 8k -write_xing 0 -id3v2_version 0");
}

inline constexpr char kOwner[] = "https://orvane.example/dictation";
inline constexpr size_t kImage = 1536;

// ID3v2.3 with one private frame (owner, 0, version 0, image) and 16 bytes of padding.
inline Bytes id3_tag_with_priv(const Bytes& image) {
    Bytes data = {0};
    data.insert(data.end(), image.begin(), image.end());
    Bytes frame = id3_bytes::priv_frame(kOwner, data);
    frame.insert(frame.end(), 16, 0);
    return id3_bytes::tag(3, frame);
}

// The fixture's header image (DS2, licensee 3) with this length and these markers (ms).
inline Bytes header_image(uint32_t length_ms, const Markers& markers) {
    Bytes image = orvkt_test::read_bytes(orvkt_test::data_path("dictation_header.bin"));
    image.resize(kImage);
    Bytes h3;
    for (const auto& [start, end] : markers) put32(h3, start), put32(h3, end);
    h3.resize(256, 0xFF);
    std::memcpy(image.data() + 1024, h3.data(), 256);
    Bytes length;
    put32(length, length_ms);
    std::memcpy(image.data() + 512 + 18, length.data(), 4);
    return image;
}

// Behind the owner, its 0 and the version byte (0: no private frame).
inline size_t image_offset(const Bytes& file) {
    const auto at = std::search(file.begin(), file.end(), kOwner, kOwner + sizeof kOwner - 1);
    return at == file.end() ? 0 : static_cast<size_t>(at - file.begin()) + sizeof kOwner + 1;
}

inline Markers marker_list(const uint8_t* array) {
    const Bytes a(array, array + 256);
    Markers m;
    for (size_t i = 0; i < 32 && get32(a, 8 * i) != 0xFFFFFFFFu; ++i) m.emplace_back(get32(a, 8 * i), get32(a, 8 * i + 4));
    return m;
}

}  // namespace conv_test
