// The inner loops of the rate converters: the order-6 recursion over a run
// of input samples (zero-stuffing by L, keeping every M-th output), for one
// stage, or for several independent stages two at a time so that their
// dependency chains overlap in the processor. Every step is computed with
// the same single-precision operations in the same order in either case.
#pragma once

#include <cstddef>
#include <cstdint>

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

// One stage over its samples.
void RunOrder6(const SRFilterTask& task);

// Independent stages (each stage at most once); runs two at a time.
void RunOrder6Tasks(const SRFilterTask* tasks, size_t count);

}  // namespace afc_kernel
