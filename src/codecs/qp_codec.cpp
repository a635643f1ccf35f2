#include "codecs/qp_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codecs/range_coder.h"

namespace vkt::codecs {

namespace {

constexpr int kN = kQpSamples;
constexpr int kOverlap = kQpLookahead;         // slope length of the window
constexpr int kZeros = (kN - kOverlap) / 2;    // zero run at each end of the 2N window
constexpr int kHistory = kN + kZeros;          // encoder input kept from one call to the next

// Band edges in MDCT bins (31.25 Hz each): 187.5 Hz bands up to 750 Hz,
// 250 Hz bands up to 4 kHz, 500 Hz bands above.
constexpr std::array<int, kQpBands + 1> kEdges = {0,   6,   12,  18,  24,  32,  40,  48,  56,  64,  72,  80,  88,
                                                  96,  104, 112, 120, 128, 144, 160, 176, 192, 208, 224, 240, 256};

constexpr int kMaxLevel = 28;    // band level: log2 of the rms of the band's coefficients, rounded
constexpr int kGlobalBits = 9;   // global step index 0..511, in sixteenths of an octave
constexpr int kCounterBits = 4;  // frame number modulo 16
constexpr int kStepOffset = -128;
constexpr int kSteps = 1024;     // step sizes 2^((i - 384) / 16)
constexpr int kStepBase = 384;
constexpr int kContexts = 40;
constexpr int kContextOffset = 12;
constexpr int kSymbols = 16;     // magnitudes 0..14 and an escape
constexpr int kEscape = kSymbols - 1;
constexpr unsigned kTotalBits = 15;
// Band levels: band b's level L[b] is expected at offset + follow x L[b - 1]
// (band 0: at offset), with a Laplacian spread; fitted to speech.
struct LevelModel {
    double offset, follow, spread;
};
constexpr std::array<LevelModel, kQpBands> kLevelModel = {{
    {15.00, 0.00, 1.25}, {-0.22, 1.05, 1.10}, {2.24, 0.85, 1.10}, {-0.67, 0.95, 1.50}, {1.99, 0.75, 1.75},
    {1.20, 0.85, 1.35}, {1.71, 0.85, 1.50}, {4.70, 0.60, 1.50}, {2.61, 0.75, 1.50}, {4.30, 0.60, 1.50},
    {3.50, 0.75, 1.35}, {3.16, 0.75, 1.35}, {4.43, 0.60, 1.35}, {4.19, 0.65, 1.35}, {3.40, 0.75, 1.20},
    {2.88, 0.75, 0.80}, {2.89, 0.75, 1.00}, {1.91, 0.75, 1.50}, {-1.12, 1.05, 1.20}, {0.31, 0.95, 0.80},
    {0.46, 0.90, 0.60}, {0.72, 0.95, 0.70}, {4.74, 0.60, 1.20}, {1.97, 0.80, 1.00}, {-0.55, 0.90, 1.20},
}};
// The global step index: its top five bits (G / 16) as a Laplacian around
// 13.3 of spread 0.8, the low four raw.
constexpr int kGlobalFineBits = 4;
constexpr int kGlobalCoarse = 1 << (kGlobalBits - kGlobalFineBits);
constexpr double kGlobalCentre = 13.3;
constexpr double kGlobalSpread = 0.8;
// Coefficient magnitudes: in context c (band rms 2^((c - 12) / 4) steps) a
// Laplacian of scale 0.75 x 2^((c - 12) / 4) x clamp(0.8 + 0.06 (c - 11),
// 0.8, 1.1) steps, cut for 0 at clamp(0.3 + 0.07 (c - 11), 0.3, 0.7); the
// scale then widened or narrowed by how large the two coefficients before
// it in the band came out (their sum: 0, 1, 2 or more).
constexpr double kCoefScale = 0.75;
constexpr int kNeighbourClasses = 3;
constexpr std::array<double, kNeighbourClasses> kNeighbourScale = {0.85, 1.0, 1.1};
constexpr int kLevelStepSlope = 9;  // step index grows 9/16 octave per level
constexpr float kReconBias = 0.15f;  // |x| = (q - 0.15) step
// In bands of context 15 and up (rms at least 2^(3/4) steps) a coefficient
// quantised to zero still sends its sign and comes back as 0.17 step: where
// a band is that loud, its small coefficients shape the spectrum between
// the large ones.
constexpr int kSignedZeroContext = 15;
constexpr float kSignedZero = 0.17f;
// Other coefficients quantised to zero: noise at 0.7 of the rms the band still
// lacks, but at most 0.1 step, or a little more in bands quieter than a
// step (2^(1/16) more per quarter octave below).
constexpr float kNoiseShare = 0.7f;
constexpr float kNoiseCap = 0.1f;
// Bands more than 7 levels (42 dB) below the frame's loudest band send no
// coefficients: they are filled with noise at a fifth of their rms.
constexpr int kQuietRange = 7;
constexpr float kQuietNoise = 0.2f;
constexpr uint8_t kCheckPolynomial = 0x07;

template <size_t Size>
struct Table {
    std::array<uint16_t, Size + 1> cum{};  // cumulative frequencies, cum[Size] = 2^15
};
using CoefTable = Table<kSymbols>;
using LevelTable = Table<kMaxLevel + 1>;

// Turns probabilities into a table: every symbol keeps at least one count,
// the difference to 2^15 goes to the likeliest.
template <size_t Size>
Table<Size> table_of(const std::array<double, Size>& p) {
    const int total = 1 << kTotalBits;
    std::array<int, Size> f{};
    int sum = 0;
    for (size_t k = 0; k < Size; ++k) {
        f[k] = std::max(1, static_cast<int>(std::lround(p[k] * total)));
        sum += f[k];
    }
    const int largest = static_cast<int>(std::max_element(f.begin(), f.end()) - f.begin());
    f[largest] += total - sum;
    Table<Size> t;
    for (size_t k = 0; k < Size; ++k) t.cum[k + 1] = static_cast<uint16_t>(t.cum[k] + f[k]);
    return t;
}

// Frequencies of |q| for a Laplacian of scale b (in quantiser steps) cut at
// threshold theta for 0 and at whole steps beyond.
CoefTable make_table(double b, double theta) {
    std::array<double, kSymbols> p{};
    p[0] = 1 - std::exp(-theta / b);
    for (int k = 1; k < kEscape; ++k) p[k] = std::exp(-(theta + k - 1) / b) * (1 - std::exp(-1 / b));
    p[kEscape] = std::exp(-(theta + kEscape - 1) / b);
    return table_of(p);
}

// Values 0..Size-1 as a Laplacian of scale b centred on mean, folded in at
// both ends.
template <size_t Size>
Table<Size> make_centred_table(double mean, double b) {
    auto below = [&](double x) { return x < mean ? 0.5 * std::exp((x - mean) / b) : 1 - 0.5 * std::exp((mean - x) / b); };
    std::array<double, Size> p{};
    for (size_t v = 0; v < Size; ++v)
        p[v] = (v == Size - 1 ? 1.0 : below(v + 0.5)) - (v == 0 ? 0.0 : below(v - 0.5));
    return table_of(p);
}

int neighbour_class(uint32_t a, uint32_t b) { return static_cast<int>(std::min<uint32_t>(a + b, kNeighbourClasses - 1)); }

struct Tables {
    std::array<std::array<CoefTable, kNeighbourClasses>, kContexts> coef;
    // Band b's level given the level of band b - 1 (band 0: one table).
    std::array<std::array<LevelTable, kMaxLevel + 1>, kQpBands> level;
    Table<kGlobalCoarse> global;
    std::array<float, kSteps> step;  // 2^(i/16) for i - kStepBase
    std::array<float, 2 * kN> window;

    Tables() {
        for (int c = 0; c < kContexts; ++c) {
            const double ratio = std::exp2((c - kContextOffset) / 4.0);  // band rms in steps
            const int from = c - kContextOffset + 1;
            const double widen = std::clamp(0.8 + 0.06 * from, 0.8, 1.1);
            const double threshold = std::clamp(0.3 + 0.07 * from, 0.3, 0.7);
            for (int n = 0; n < kNeighbourClasses; ++n)
                coef[c][n] = make_table(std::max(0.05, kCoefScale * kNeighbourScale[n] * widen * ratio), threshold);
        }
        for (int b = 0; b < kQpBands; ++b)
            for (int before = 0; before <= kMaxLevel; ++before)
                level[b][before] = make_centred_table<kMaxLevel + 1>(
                    kLevelModel[b].offset + kLevelModel[b].follow * before, kLevelModel[b].spread);
        global = make_centred_table<kGlobalCoarse>(kGlobalCentre, kGlobalSpread);
        for (int i = 0; i < kSteps; ++i) step[i] = static_cast<float>(std::exp2((i - kStepBase) / 16.0));
        // The slopes rise as sin(pi/2 sin^2(pi/2 x)): their squares on the
        // two sides of an overlap sum to 1, and they leak less into distant
        // bins than a plain sine.
        const double pi = 3.14159265358979323846;
        auto slope = [&](double x) {
            const double s = std::sin(pi / 2 * x);
            return std::sin(pi / 2 * s * s);
        };
        for (int i = 0; i < 2 * kN; ++i) {
            double w = 0;
            if (i >= kZeros && i < kZeros + kOverlap) w = slope((i - kZeros + 0.5) / kOverlap);
            else if (i >= kZeros + kOverlap && i < 2 * kN - kZeros - kOverlap) w = 1;
            else if (i >= 2 * kN - kZeros - kOverlap && i < 2 * kN - kZeros) w = slope((2 * kN - kZeros - i - 0.5) / kOverlap);
            window[i] = static_cast<float>(w);
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

// Quantiser step of a band in sixteenths of an octave (it grows with the
// band's rms to the power 9/16); the band's rms in steps, in quarter
// octaves and rounded, selects its model.
int band_step(int global, int level) { return global + kStepOffset + kLevelStepSlope * level; }
bool coded_band(int level, int loudest) { return level > 0 && level >= loudest - kQuietRange; }
int band_context(int level, int step) {
    return std::clamp(((16 * level - step + 2) >> 2) + kContextOffset, 0, kContexts - 1);
}
float step_size(int step) { return tables().step[std::clamp(step + kStepBase, 0, kSteps - 1)]; }

template <size_t Size>
void put_symbol(RangeEncoder& rc, const Table<Size>& t, int s) { rc.encode(t.cum[s], t.cum[s + 1] - t.cum[s], kTotalBits); }

template <size_t Size>
int get_symbol(RangeDecoder& rc, const Table<Size>& t) {
    const uint32_t v = rc.peek(kTotalBits);
    int s = static_cast<int>(std::upper_bound(t.cum.begin() + 1, t.cum.end(), v) - t.cum.begin()) - 1;
    s = std::clamp(s, 0, static_cast<int>(Size) - 1);
    rc.consume(t.cum[s], t.cum[s + 1] - t.cum[s]);
    return s;
}

// Magnitudes past the escape: Elias gamma of (m - 15 + 1) in raw bits.
void put_magnitude(RangeEncoder& rc, const CoefTable& t, uint32_t m) {
    if (m < kEscape) {
        put_symbol(rc, t, static_cast<int>(m));
        return;
    }
    put_symbol(rc, t, kEscape);
    const uint32_t v = m - kEscape + 1;
    int n = 0;
    while ((v >> (n + 1)) != 0) ++n;
    for (int i = 0; i < n; ++i) rc.encode_bits(1, 1);
    rc.encode_bits(0, 1);
    if (n > 0) rc.encode_bits(v & ((1u << n) - 1), static_cast<unsigned>(n));
}

uint32_t get_magnitude(RangeDecoder& rc, const CoefTable& t) {
    const int s = get_symbol(rc, t);
    if (s < kEscape) return static_cast<uint32_t>(s);
    int n = 0;
    while (n < 16 && rc.decode_bits(1) == 1) ++n;
    const uint32_t low = n > 0 ? rc.decode_bits(static_cast<unsigned>(n)) : 0;
    return ((1u << n) | low) + kEscape - 1;
}

// CRC-8 (polynomial x^8 + x^2 + x + 1, most significant bit first) of the
// payload, started from the format version.
uint8_t frame_check(const uint8_t* frame) {
    uint8_t crc = kQpFormatVersion;
    for (int i = 0; i < kQpPayloadBytes; ++i) {
        crc ^= frame[i];
        for (int b = 0; b < 8; ++b) crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ kCheckPolynomial : crc << 1);
    }
    return crc;
}

}  // namespace

bool qp_frame_intact(const uint8_t* frame) { return frame_check(frame) == frame[kQpPayloadBytes]; }

// ---- encoder ------------------------------------------------------------------

QpEncoder::QpEncoder() : mdct_(kN) { tables(); }

bool QpEncoder::encode(const int16_t* samples, uint8_t* frame) {
    std::memmove(input_.data(), input_.data() + kN, sizeof(float) * kHistory);
    for (int i = 0; i < kN; ++i) input_[kHistory + i] = samples[i];
    const bool coded = holding_;
    if (coded) code_block(frame);
    holding_ = true;
    return coded;
}

bool QpEncoder::flush(uint8_t* frame) {
    if (!holding_) return false;
    std::memmove(input_.data(), input_.data() + kN, sizeof(float) * kHistory);
    std::fill(input_.begin() + kHistory, input_.end(), 0.0f);
    code_block(frame);
    holding_ = false;
    return true;
}

// Codes the held frame: its block is the first 2N samples of the input kept.
void QpEncoder::code_block(uint8_t* frame) {
    const Tables& tb = tables();
    for (int i = 0; i < 2 * kN; ++i) windowed_[i] = input_[i] * tb.window[i];
    mdct_.forward(windowed_.data(), coef_.data());

    std::array<int, kQpBands> levels{};
    for (int b = 0; b < kQpBands; ++b) {
        double energy = 0;
        for (int k = kEdges[b]; k < kEdges[b + 1]; ++k) energy += double(coef_[k]) * coef_[k];
        const double rms = std::sqrt(energy / (kEdges[b + 1] - kEdges[b]));
        levels[b] = rms < 1 ? 0 : std::clamp(static_cast<int>(std::lround(std::log2(rms))), 1, kMaxLevel);
    }

    const int loudest = *std::max_element(levels.begin(), levels.end());
    RangeEncoder rc;
    auto code = [&](int global) {
        rc.reset();
        rc.encode_bits(counter_, kCounterBits);
        put_symbol(rc, tb.global, global >> kGlobalFineBits);
        rc.encode_bits(static_cast<uint32_t>(global) & ((1u << kGlobalFineBits) - 1), kGlobalFineBits);
        for (int b = 0; b < kQpBands; ++b) put_symbol(rc, tb.level[b][b > 0 ? levels[b - 1] : 0], levels[b]);
        for (int b = 0; b < kQpBands; ++b) {
            if (!coded_band(levels[b], loudest)) continue;
            const int step = band_step(global, levels[b]);
            const int context = band_context(levels[b], step);
            const auto& t = tb.coef[context];
            const float inv = 1.0f / step_size(step);
            const bool signed_zeros = context >= kSignedZeroContext;
            uint32_t q1 = 0, q2 = 0;
            for (int k = kEdges[b]; k < kEdges[b + 1]; ++k) {
                const float a = std::min(std::fabs(coef_[k]) * inv + 0.5f, 65535.0f);
                const uint32_t q = static_cast<uint32_t>(a);
                put_magnitude(rc, t[neighbour_class(q1, q2)], q);
                q2 = q1;
                q1 = q;
                if (q != 0 || signed_zeros) rc.encode_bits(coef_[k] < 0 ? 1 : 0, 1);
            }
        }
        rc.finish();
        return rc.bytes().size() <= size_t(kQpPayloadBytes);
    };
    // The finest global step whose frame fits; the coarsest always fits,
    // since then every coefficient is 0 and costs next to nothing.
    int lo = 0, hi = (1 << kGlobalBits) - 1;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (code(mid)) hi = mid;
        else lo = mid + 1;
    }
    code(lo);
    std::memset(frame, 0, kQpFrameBytes);
    std::memcpy(frame, rc.bytes().data(), std::min<size_t>(rc.bytes().size(), kQpPayloadBytes));
    frame[kQpPayloadBytes] = frame_check(frame);
    counter_ = (counter_ + 1) & ((1u << kCounterBits) - 1);
}

// ---- decoder ------------------------------------------------------------------

QpDecoder::QpDecoder() : mdct_(kN) { tables(); }

void QpDecoder::decode(const uint8_t* frame, int16_t* samples) {
    const Tables& tb = tables();
    RangeDecoder rc(frame, kQpPayloadBytes);
    // A frame that does not follow the one before (a cut, a join, a lost
    // block) must not be overlapped with that frame's tail, which belongs
    // to other audio: it starts as in a new stream.
    const uint32_t counter = rc.decode_bits(kCounterBits);
    if (counter != expected_) overlap_.fill(0.0f);
    expected_ = (counter + 1) & ((1u << kCounterBits) - 1);
    int global = get_symbol(rc, tb.global) << kGlobalFineBits;
    global |= static_cast<int>(rc.decode_bits(kGlobalFineBits));
    std::array<int, kQpBands> levels{};
    for (int b = 0; b < kQpBands; ++b) levels[b] = get_symbol(rc, tb.level[b][b > 0 ? levels[b - 1] : 0]);
    const int loudest = *std::max_element(levels.begin(), levels.end());
    for (int b = 0; b < kQpBands; ++b) {
        const int first = kEdges[b], last = kEdges[b + 1];
        if (levels[b] == 0) {
            std::fill(coef_.begin() + first, coef_.begin() + last, 0.0f);
            continue;
        }
        if (!coded_band(levels[b], loudest)) {
            const float amp = kQuietNoise * std::exp2(static_cast<float>(levels[b]));
            for (int k = first; k < last; ++k) {
                seed_ = seed_ * 1664525u + 1013904223u;
                coef_[k] = (seed_ & 0x80000000u) ? -amp : amp;
            }
            continue;
        }
        const int step = band_step(global, levels[b]);
        const int context = band_context(levels[b], step);
        const auto& t = tb.coef[context];
        const float delta = step_size(step);
        const bool signed_zeros = context >= kSignedZeroContext;
        double known = 0;
        int zeros = 0;
        uint32_t q1 = 0, q2 = 0;
        for (int k = first; k < last; ++k) {
            const uint32_t q = std::min<uint32_t>(get_magnitude(rc, t[neighbour_class(q1, q2)]), 65535);
            q2 = q1;
            q1 = q;
            if (q == 0 && !signed_zeros) {
                coef_[k] = 0;
                ++zeros;
                continue;
            }
            float v = (q == 0 ? kSignedZero : static_cast<float>(q) - kReconBias) * delta;
            if (rc.decode_bits(1) == 1) v = -v;
            coef_[k] = v;
            known += double(v) * v;
        }
        // Coefficients quantised to zero carry part of the band's energy that
        // the others do not, as noise of random sign, but never more than a
        // small part of a step: louder noise fills the valleys between
        // harmonics. Bands quieter than a step, whose energy lies mostly in
        // their zeros, may fill a little more.
        if (zeros > 0) {
            const double target = double(last - first) * std::exp2(2.0 * levels[b]);
            const double rest = std::max(0.0, target - known) / zeros;
            const int below = std::max(0, kContextOffset - context);
            const float cap = kNoiseCap * std::exp2(static_cast<float>(below) / 16.0f);
            const float amp = std::min(kNoiseShare * static_cast<float>(std::sqrt(rest)), cap * delta);
            for (int k = first; k < last; ++k) {
                if (coef_[k] != 0) continue;
                seed_ = seed_ * 1664525u + 1013904223u;
                coef_[k] = (seed_ & 0x80000000u) ? -amp : amp;
            }
        }
    }
    synthesize(samples);
}

void QpDecoder::conceal(int16_t* samples) {
    expected_ = (expected_ + 1) & ((1u << kCounterBits) - 1);
    coef_.fill(0.0f);
    synthesize(samples);
}

// Block n starts kZeros samples before frame n; once its rising slope has
// been added to the previous block's falling one, positions kZeros to
// kZeros + N are final and are frame n's samples.
void QpDecoder::synthesize(int16_t* samples) {
    const Tables& tb = tables();
    mdct_.inverse(coef_.data(), block_.data());
    for (int i = 0; i < 2 * kN; ++i) overlap_[i] += block_[i] * tb.window[i];
    for (int i = 0; i < kN; ++i) {
        const float v = std::nearbyint(overlap_[kZeros + i]);
        samples[i] = static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));
    }
    std::memmove(overlap_.data(), overlap_.data() + kN, sizeof(float) * kN);
    std::fill(overlap_.begin() + kN, overlap_.end(), 0.0f);
}

}  // namespace vkt::codecs
