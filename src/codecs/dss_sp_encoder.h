// Our DSS standard-play encoder: 288 PCM samples in, one 41-byte frame out,
// by analysis by synthesis against the decoder's own integer arithmetic.
// The same bitstream serves the 12000 Hz clock (compression ids 0 and 1) and
// the 8000 Hz clock (id 4); the encoder sees 288 samples of the block's own
// rate. The design is described in dss_sp_encoder.md.
#pragma once

#include <array>
#include <cstdint>

#include "codecs/dss_sp_bitstream.h"
#include "codecs/dss_sp_lpc.h"
#include "codecs/dss_sp_search.h"
#include "codecs/dss_sp_synthesis.h"

namespace vkt::codecs {

class DssSpEncoder {
public:
    // The sampling rate only tunes the encoder (8000 or 12000; other rates
    // are treated as 12000).
    explicit DssSpEncoder(int sample_rate = 12000);

    // Encodes the next 288 samples into a frame in block order. The state
    // carries over to the next call.
    void encode(const int16_t pcm[dss_sp::kFrameLength], uint8_t frame[dss_sp::kFrameBytes]);
    // Forgets all state: the next frame is coded as the first of a stream.
    void reset();

    // The fields of the frame last encoded.
    const dss_sp::FrameParams& last_params() const { return params_; }

private:
    static constexpr int kWeightOrder = 28;
    static constexpr int kPast = 96;  // samples before the frame in the analysis window
    using Weighting = std::array<float, kWeightOrder + 1>;

    // The decoder's post-filter P(z) = A(z/0.5) / A(z/0.8) (1 + m z^-1) of
    // this frame's filter, in floating point, and the memory of one run of it.
    struct PostFilter {
        std::array<float, dss_sp::kOrder + 1> num{}, den{};
        float tilt = 0;
    };
    // The pole-zero part y = (1 + sum num[i] z^-i) / (1 + sum den[i] z^-i) x
    // of order kOrder, with its memories.
    struct PoleZeroMemory {
        std::array<float, dss_sp::kOrder + 1> in{}, out{};  // [1] newest
        // Over n <= 288 samples (x and y may be the same array).
        void run(const float* num, const float* den, const float* x, float* y, int n);
    };
    struct PostFilterMemory {
        PoleZeroMemory pole_zero;
        float last = 0;  // last output before the tilt
        // y = P x over n <= 72 samples (x and y may be the same array).
        void run(const PostFilter& f, const float* x, float* y, int n);
    };

    void analyse();
    void fit_filter(const float* windowed);
    // t = the input s with the decoder's post-filter partly undone; the
    // filter's memory advances only when `commit` is set.
    void compensate_post_filter(const float* s, float* t, bool commit);
    // y = L(z) x over a subframe (x and y may be the same array).
    static void weigh_low_frequencies(float* mem, const float* x, float* y);
    // Scales a subframe's target for the lag of the decoder's gain control.
    void follow_decoder_gain(int j, float* t) const;
    // The frame's pitch period from its input alone, 0 for an unvoiced frame.
    int open_loop_lag() const;
    void encode_subframe(int j, const float* t);
    void choose_excitation(int j, const float* x, const float* h);
    // Both gains chosen again for the weighted error of the decoded
    // subframe, the pulses' positions and levels kept.
    void refine_gains(int lag, const float* x, const float* h, dss_sp::SubframeParams* sf) const;
    // Advances the model of the decoder's gain control by a synthesized subframe.
    void track_decoder_gain(const int32_t* out);

    struct Tuning {
        double weight_zero;         // numerator factor of the weighting filter
        double voiced_weight_zero;  // the same in voiced frames
        double voiced_floor;        // white-noise floor of the weighting model in voiced frames
        float emphasis;             // pre-emphasis (1 - e z^-1) / (1 - e)
        bool level_ramp;            // ramp the level gain between subframes
    };
    static Tuning tuning_for(int sample_rate);

    Tuning tuning_;
    dss_sp::PulseCorrelation correlation_;  // scratch of the pulse search

    dss_sp::FrameParams params_;
    // Decoder state, tracked exactly.
    dss_sp::ExcitationHistory history_;
    dss_sp::SynthesisFilter synthesis_;

    // This frame's filters.
    dss_sp::DirectForm direct_{};     // the decoder's, Q13
    dss_sp::Polynomial quantized_{};  // the same in floating point
    Weighting weight_num_{};          // W(z) = B(z/g1) / B(z/g2), B of order 28
    Weighting weight_den_{};
    PostFilter post_;

    // Encoder state.
    float emphasis_mem_ = 0;
    std::array<float, 5> equaliser_mem_{};  // past input, [1] newest
    // The pre-emphasized input: kMaxLag past samples and the frame.
    std::array<float, dss_sp::kMaxLag + dss_sp::kFrameLength> pitch_input_{};
    int open_loop_lag_ = 0;
    std::array<float, kPast + dss_sp::kFrameLength> input_{};  // pre-emphasized input
    Weighting error_mem_{};                                     // past s - s^, [1] newest
    Weighting weighted_mem_{};                                  // past weighted errors
    PoleZeroMemory inverse_{};  // P^-1's pole-zero part
    float inverse_tilt_ = 0;
    float level_gain_ = 1;  // of the last subframe, see compensate_post_filter
    std::array<float, dss_sp::kSubframes> subframe_level_{};  // this frame's level gains
    PostFilterMemory weighted_post_mem_;  // P in the weighted error
    PostFilterMemory output_post_mem_;    // P on the synthesis output
    double decoder_gain_ = 0;             // the decoder's smoothed gain, as a ratio
    float low_weight_mem_ = 0;            // of L(z) in the weighted error
    std::array<float, kPast> compensated_past_{};
    int previous_lag_ = dss_sp::kMinLag;
};

}  // namespace vkt::codecs
