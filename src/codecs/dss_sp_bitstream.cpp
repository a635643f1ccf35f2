#include "codecs/dss_sp_bitstream.h"

namespace vkt::codecs::dss_sp {

namespace {

// C(n, k) for n < 72 and k <= 7; C(n, k) = 0 for n < k.
struct Binomials {
    uint32_t c[72][kPulses + 1] = {};
    constexpr Binomials() {
        for (int n = 0; n < 72; ++n) {
            c[n][0] = 1;
            for (int k = 1; k <= kPulses; ++k) c[n][k] = n == 0 ? 0 : c[n - 1][k - 1] + c[n - 1][k];
        }
    }
};
constexpr Binomials kBinomials;

class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : out_(out) {
        for (int i = 0; i < kFrameBytes; ++i) out_[i] = 0;
    }
    void put(uint32_t value, int bits) {
        for (int b = bits - 1; b >= 0; --b, ++pos_)
            if ((value >> b) & 1u) out_[pos_ >> 3] |= static_cast<uint8_t>(0x80u >> (pos_ & 7));
    }

private:
    uint8_t* out_;
    int pos_ = 0;
};

class BitReader {
public:
    explicit BitReader(const uint8_t* in) : in_(in) {}
    uint32_t get(int bits) {
        uint32_t v = 0;
        for (int b = 0; b < bits; ++b, ++pos_) v = (v << 1) | ((in_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u);
        return v;
    }

private:
    const uint8_t* in_;
    int pos_ = 0;
};

constexpr uint32_t kMaxCombinedPitch = 150u + 151u * (47u + 48u * (47u + 48u * 47u));

}  // namespace

uint32_t combine_positions(const std::array<uint8_t, kPulses>& descending) {
    uint32_t code = 0;
    for (int i = 0; i < kPulses; ++i) code += kBinomials.c[descending[i]][kPulses - i];
    return code;
}

bool split_positions(uint32_t code, std::array<uint8_t, kPulses>* descending) {
    if (code >= kPositionCodes) return false;
    // Greedy: the largest n with C(n, k) <= the rest of the code, for k = 7 down to 1.
    int n = 71;
    for (int i = 0; i < kPulses; ++i) {
        const int k = kPulses - i;
        while (kBinomials.c[n][k] > code) --n;
        code -= kBinomials.c[n][k];
        (*descending)[i] = static_cast<uint8_t>(n);
        --n;
    }
    return true;
}

bool lags_codable(const std::array<int, kSubframes>& lag) {
    if (lag[0] < kMinLag || lag[0] > kMaxLag) return false;
    for (int j = 1; j < kSubframes; ++j) {
        const int d = lag[j] - lag_base(lag[j - 1]);
        if (d < 0 || d >= kLagDeltas) return false;
    }
    return true;
}

uint32_t combine_lags(const std::array<int, kSubframes>& lag) {
    uint32_t deltas = 0;
    for (int j = kSubframes - 1; j >= 1; --j)
        deltas = deltas * kLagDeltas + static_cast<uint32_t>(lag[j] - lag_base(lag[j - 1]));
    return static_cast<uint32_t>(lag[0] - kMinLag) + 151u * deltas;
}

bool split_lags(uint32_t combined, std::array<int, kSubframes>* lag) {
    if (combined > kMaxCombinedPitch) return false;
    (*lag)[0] = static_cast<int>(combined % 151u) + kMinLag;
    combined /= 151u;
    for (int j = 1; j < kSubframes; ++j) {
        (*lag)[j] = lag_base((*lag)[j - 1]) + static_cast<int>(combined % kLagDeltas);
        combined /= kLagDeltas;
    }
    return true;
}

void pack_frame(const FrameParams& params, uint8_t frame[kFrameBytes]) {
    BitWriter w(frame);
    for (int i = 0; i < kOrder; ++i) w.put(params.filter[i], kFilterBits[i]);
    for (const SubframeParams& sf : params.sub) {
        w.put(sf.adaptive_gain, 5);
        w.put(combine_positions(sf.position), 31);
        w.put(sf.fixed_gain, 6);
        for (uint8_t level : sf.level) w.put(level, 3);
    }
    w.put(combine_lags(params.lag), 24);
}

bool unpack_frame(const uint8_t frame[kFrameBytes], FrameParams* params) {
    BitReader r(frame);
    bool ok = true;
    for (int i = 0; i < kOrder; ++i) params->filter[i] = static_cast<uint8_t>(r.get(kFilterBits[i]));
    for (SubframeParams& sf : params->sub) {
        sf.adaptive_gain = static_cast<uint8_t>(r.get(5));
        ok = split_positions(r.get(31), &sf.position) && ok;
        sf.fixed_gain = static_cast<uint8_t>(r.get(6));
        for (uint8_t& level : sf.level) level = static_cast<uint8_t>(r.get(3));
    }
    return split_lags(r.get(24), &params->lag) && ok;
}

void codec_block(const uint8_t frame[kFrameBytes], uint8_t block[kBlockBytes]) {
    for (int i = 0; i < kFrameBytes; ++i) block[i] = frame[i];
    block[kFrameBytes] = 0;
}

void decoder_packet(const uint8_t frame[kFrameBytes], uint8_t packet[kBlockBytes]) {
    uint8_t block[kBlockBytes];
    codec_block(frame, block);
    for (int i = 0; i < kBlockBytes; i += 2) {
        packet[i] = block[i + 1];
        packet[i + 1] = block[i];
    }
}

}  // namespace vkt::codecs::dss_sp
