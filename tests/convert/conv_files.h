// Files and callbacks for the conversion tests. WAV files are laid out and
// parsed here byte by byte, without the library's RIFF code, so that what a
// conversion writes is checked against an independent reading.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "support/riff_bytes.h"
#include "support/test_support.h"

namespace conv_test {

using Bytes = std::vector<uint8_t>;

using riff_bytes::get16;
using riff_bytes::put16;
using riff_bytes::put32;
using riff_bytes::put_id;
using riff_bytes::get32;

inline WAVEFORMATEX pcm_format(uint32_t rate, uint16_t bits = 16, uint16_t channels = 1) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

// The three DSS codec formats a WAV file can be packed from.
inline WAVEFORMATEX dss_format(uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_DSS_SP;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = rate == 16000 ? 3563 : rate == 12000 ? 1750 : 1167;
    f.nBlockAlign = rate == 16000 ? 57 : 42;
    return f;
}
inline WAVEFORMATEX sp_format() { return dss_format(12000); }
inline WAVEFORMATEX lp_format() { return dss_format(8000); }
inline WAVEFORMATEX qp_format() { return dss_format(16000); }

// Extra chunks a hand-made WAV file may carry after its data chunk.
struct Extras {
    bool cue = false;
    uint32_t cue_byte = 0;  // the cue point's block start
    Bytes list_info;        // content of a LIST/INFO chunk (after "INFO")
};

// A RIFF/WAVE file: fmt (16 bytes for PCM without extras, else 18 + cbSize),
// data, then the extras.
inline Bytes wav_bytes(const WAVEFORMATEX& f, const Bytes& data, const Extras& extras = {},
                       const Bytes& fmt_extra = {}) {
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
    Bytes chunks = cat({chunk("fmt ", fmt), chunk("data", data)});
    if (extras.cue) {
        Bytes cue;
        for (uint32_t v : {1u, 1u, 0u}) put32(cue, v);  // count, identifier, position
        put_id(cue, "data");
        for (uint32_t v : {0u, extras.cue_byte, 0u}) put32(cue, v);  // chunk start, block start, offset
        append(chunks, chunk("cue ", cue));
    }
    if (!extras.list_info.empty()) append(chunks, list("INFO", extras.list_info));
    return wave(chunks);
}

inline Bytes samples_to_bytes(const std::vector<int16_t>& s) {
    Bytes b(s.size() * 2);
    if (!s.empty()) std::memcpy(b.data(), s.data(), b.size());
    return b;
}

inline void write_pcm16_wav(const std::string& path, const std::vector<int16_t>& samples, uint32_t rate,
                            const Extras& extras = {}) {
    orvkt_test::write_bytes(path, wav_bytes(pcm_format(rate), samples_to_bytes(samples), extras));
}

// The fields of a wave format record, unpacked (the record itself is packed,
// and its fields cannot be bound to references).
struct Format {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};
inline Format unpack(const WAVEFORMATEX& f) {
    return Format{f.wFormatTag, f.nChannels, f.nSamplesPerSec, f.nAvgBytesPerSec, f.nBlockAlign, f.wBitsPerSample,
                  f.cbSize};
}

// A WAV file as its chunks say, read without the library.
struct ParsedWav {
    bool ok = false;
    Format format{};
    uint32_t fmt_size = 0;
    Bytes data;
    bool has_fact = false;
    uint32_t fact = 0;
    bool has_cue = false;
    uint32_t cue_position = 0, cue_block_start = 0;
    Bytes list;  // LIST content behind its type
    std::vector<int16_t> samples() const {
        std::vector<int16_t> s(data.size() / 2);
        if (!s.empty()) std::memcpy(s.data(), data.data(), s.size() * 2);
        return s;
    }
};

inline ParsedWav parse_wav(const std::string& path) {
    ParsedWav w;
    const Bytes b = orvkt_test::read_bytes(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) return w;
    size_t at = 12;
    bool fmt = false, data = false;
    while (b.size() - at >= 8) {
        const uint32_t size = get32(b, at + 4);
        if (b.size() - at - 8 < size) break;
        const uint8_t* id = b.data() + at;
        const size_t body = at + 8;
        if (std::memcmp(id, "fmt ", 4) == 0 && size >= 16) {
            w.format.wFormatTag = get16(b, body);
            w.format.nChannels = get16(b, body + 2);
            w.format.nSamplesPerSec = get32(b, body + 4);
            w.format.nAvgBytesPerSec = get32(b, body + 8);
            w.format.nBlockAlign = get16(b, body + 12);
            w.format.wBitsPerSample = get16(b, body + 14);
            w.format.cbSize = size >= 18 ? get16(b, body + 16) : 0;
            w.fmt_size = size;
            fmt = true;
        } else if (std::memcmp(id, "data", 4) == 0) {
            w.data.assign(b.begin() + static_cast<long>(body), b.begin() + static_cast<long>(body + size));
            data = true;
        } else if (std::memcmp(id, "fact", 4) == 0 && size >= 4) {
            w.has_fact = true;
            w.fact = get32(b, body);
        } else if (std::memcmp(id, "cue ", 4) == 0 && size >= 28) {
            w.has_cue = true;
            w.cue_position = get32(b, body + 8);
            w.cue_block_start = get32(b, body + 20);
        } else if (std::memcmp(id, "LIST", 4) == 0 && size >= 4) {
            w.list.assign(b.begin() + static_cast<long>(body + 4), b.begin() + static_cast<long>(body + size));
        }
        at = body + size + (size % 2);
    }
    w.ok = fmt && data;
    return w;
}

// A sine of `hz` at `rate`, amplitude `amp`.
inline std::vector<int16_t> sine(double hz, uint32_t rate, size_t count, double amp = 8000) {
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i)
        s[i] = static_cast<int16_t>(std::lround(amp * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate)));
    return s;
}

// The frequency whose DFT bin is strongest (coarse search, 10 Hz steps).
inline double dominant_frequency(const std::vector<int16_t>& s, uint32_t rate, size_t skip = 0) {
    double best_f = 0, best = -1;
    const size_t n = std::min<size_t>(s.size() - std::min(skip, s.size()), 4000);
    for (double f = 50; f < rate / 2.0; f += 10) {
        double re = 0, im = 0;
        for (size_t i = 0; i < n; ++i) {
            re += s[skip + i] * std::cos(2 * M_PI * f * static_cast<double>(i) / rate);
            im += s[skip + i] * std::sin(2 * M_PI * f * static_cast<double>(i) / rate);
        }
        if (re * re + im * im > best) {
            best = re * re + im * im;
            best_f = f;
        }
    }
    return best_f;
}

inline double rms(const std::vector<int16_t>& s, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, s.size());
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0;
}

// Records the percentages of a conversion; cancels at call number
// `cancel_at` (1-based; 0 never).
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
    bool monotone() const {
        for (size_t i = 1; i < percents.size(); ++i)
            if (percents[i] < percents[i - 1]) return false;
        return true;
    }
};

}  // namespace conv_test

namespace conv_test {

inline const char* kSpeechText =
    "The patient was seen today. Blood pressure is normal and the wound heals well. Review in two weeks.";

// espeak-ng speech as a 16-bit mono WAV file at `rate`; false without the tools.
inline bool write_speech_wav(const std::string& path, uint32_t rate) {
    const auto s = orvkt_test::speech_samples(kSpeechText, static_cast<int>(rate));
    if (s.empty()) return false;
    write_pcm16_wav(path, s, rate);
    return true;
}

// The frames of a DSS/DS2 file and its compression id, read from its bytes:
// the sum of the data blocks' frame counts (block order byte 3, stored at
// file offset 2 of the block).
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

}  // namespace conv_test
