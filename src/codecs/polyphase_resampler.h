// A rational-ratio sampling-rate converter: a Kaiser-windowed sinc prototype
// split into L phases, stepping M input samples per L outputs. Its state
// carries from call to call, so a signal cut into pieces of any size gives the
// same output as the whole signal at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkt::codecs {

class PolyphaseResampler {
public:
    // Converts from in_rate to out_rate (both > 0). The pass band reaches
    // 0.45 x the lower of the two rates with a ripple below 0.01 dB; from 0.55
    // x the lower rate on, the stop band is at least 75 dB down. Equal rates
    // pass samples through unchanged.
    PolyphaseResampler(uint32_t in_rate, uint32_t out_rate);

    // Appends every output sample the input seen so far allows: after n input
    // samples in total, floor(n x L / M) outputs (with L/M = out/in reduced),
    // so whole input periods give exactly their share of output.
    void process(const float* in, size_t count, std::vector<float>& out);
    void process(const int16_t* in, size_t count, std::vector<int16_t>& out);

    // Back to the state of a new object.
    void reset();

    // Removes the filter's delay: from now on output m stands for input time
    // m x M / L (to within half a step of the L-fold grid), so outputs wait
    // for the input up to about half the filter length beyond them. Feed
    // zeros after the last input (flush) to get the outputs that wait. Call
    // on a new or reset object.
    void align_to_input();

    uint32_t up() const { return up_; }
    uint32_t down() const { return down_; }
    size_t taps_per_phase() const { return taps_; }
    // Fixed delay of the output against the input, in input samples.
    double delay() const;

private:
    uint32_t up_;    // L
    uint32_t down_;  // M
    size_t taps_;    // K
    std::vector<float> phases_;   // L rows of K coefficients, oldest input first
    std::vector<float> history_;  // K - 1 past samples, then the new ones
    uint64_t next_ = 0;           // next output's time in 1/L input samples, from history_[0]
    std::vector<float> scratch_;
    std::vector<float> produced_;
};

}  // namespace vkt::codecs
