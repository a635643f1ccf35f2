// The inner loops of the rate converters: the order-6 recursion over a run
// of input samples (zero-stuffing by L, keeping every M-th output), for one
// stage, for independent stages two at a time, or for a whole chain with
// vector lanes, and the 16-bit samples going in and out of them. Every step
// is computed with the same single-precision operations in the same order
// whichever loop runs it, so all loops give the same bits.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

static_assert(std::endian::native == std::endian::little, "samples are read and written as little-endian words");

// 16-bit samples in and out of the rate converters' filters: read as floats,
// written as L x y in single precision, compared in double precision,
// clipped to +-32767 and rounded half away from zero.
namespace afc_samples {

inline float load_sample(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return static_cast<float>(v);
}

// A value that is not a number (a filter that has run away) gives 0, what
// the conversion to a 16-bit integer has always given for it on x86-64.
inline int16_t round_sample(float gain, float y) {
    const float v = gain * y;
    const double dv = v;
    if (dv != dv) return 0;
    if (dv > 32767.0) return 32767;
    if (dv < -32767.0) return -32767;
    return static_cast<int16_t>(dv >= 0.0 ? dv + 0.5 : dv - 0.5);
}

inline void store_sample(uint8_t* p, float gain, float y) {
    const int16_t r = round_sample(gain, y);
    std::memcpy(p, &r, 2);
}

}  // namespace afc_samples

struct SRFilterTask {
    const float* a = nullptr;  // denominator, indices 2 ... 7 used
    const float* b = nullptr;  // numerator, indices 1 ... 7 used
    float* s = nullptr;        // state, indices 1 ... 6
    uint32_t L = 1;
    uint32_t M = 1;
    uint32_t* downPhase = nullptr;  // carried in and out; the up phase is 0 at both ends
    const uint8_t* in = nullptr;    // little-endian 16-bit samples
    uint32_t samples = 0;
    uint8_t* out = nullptr;         // receives samples x L / M samples (with the down phase)
};

namespace afc_kernel {

// The instruction sets the lane chain can use, in order; kScalar means the
// converters take their scalar loops. The best one the processor has is
// chosen on first use.
enum class Lanes { kScalar, kAvx2, kAvx512 };

// Uses `wanted` from now on, or the best set below it that the processor
// has; returns the set in use (tests compare the sets, benchmarks time
// them).
Lanes UseLanes(Lanes wanted);
Lanes ActiveLanes();

// One stage over its samples.
void RunOrder6(const SRFilterTask& task);

// Independent stages (each stage at most once), two at a time in scalar
// registers.
void RunOrder6Tasks(const SRFilterTask* tasks, size_t count);

// A chain of order-6 stages run in rounds of blocks, where in round r stage
// k works on block r - k, so that the stages of a round are independent.
// Stage k is lane k of a vector of eight; the stage with the most steps in
// a round (the lead) runs in scalar registers beside the vector, where a
// step after a stuffed zero is shortest. Between stages the samples are
// rounded to 16 bits as stage after stage, and kept as floats in the
// zero-stuffed layout the next stage reads. Needs vector lanes
// (ActiveLanes() != kScalar).
class LaneChain {
public:
    struct Stage {
        const float* a;  // denominator, indices 2 ... 7 used
        const float* b;  // numerator, indices 1 ... 7 used
        float* s;        // state, indices 1 ... 6
        uint32_t L;
        uint32_t M;
        uint32_t* downPhase;  // carried in and out
    };
    static constexpr size_t kMaxStages = 8;

    // Runs `samples` little-endian 16-bit samples through the stages (at
    // most kMaxStages, always the same chain for one object) and writes
    // every output sample of the last one to `out`; returns their number.
    size_t Run(const Stage* stages, size_t count, const uint8_t* in, size_t samples, uint8_t* out);

    // Working storage, kept from call to call so that a steady stream
    // allocates nothing.
    struct Scratch {
        // Zero-stuffed inputs, eight floats a step: one buffer for the round
        // and one that the round's outputs fill for the next. A stage only
        // ever writes the steps that take an input sample, so the others
        // stay zero.
        std::vector<float> x[2];
        std::vector<uint8_t> fed;  // per step: 1 when a lane has an input sample
        std::vector<float> y;      // the lanes' outputs, eight floats a step
        std::vector<float> leadY;  // the lead's output of every step
    };

private:
    Scratch m_scratch;
};

}  // namespace afc_kernel
