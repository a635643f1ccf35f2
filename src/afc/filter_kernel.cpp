#include "afc/filter_kernel.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

namespace afc_kernel {

namespace {

using afc_samples::load_sample;
using afc_samples::store_sample;

// One stage's registers. A step with an input sample runs the full
// recursion; a zero-stuffed step drops the b terms, which changes no bit of
// the result (b*0 - a*y + s is s - a*y exactly, and the sign of a zero
// never reaches a nonzero value).
struct Lane {
    float a2, a3, a4, a5, a6, a7;
    float b1, b2, b3, b4, b5, b6, b7;
    float s1, s2, s3, s4, s5, s6;
    float gain;
    uint32_t L, M, up, down;
    const uint8_t* in;
    uint8_t* out;

    [[gnu::always_inline]] inline void load(const SRFilterTask& t) {
        a2 = t.a[2], a3 = t.a[3], a4 = t.a[4], a5 = t.a[5], a6 = t.a[6], a7 = t.a[7];
        b1 = t.b[1], b2 = t.b[2], b3 = t.b[3], b4 = t.b[4], b5 = t.b[5], b6 = t.b[6], b7 = t.b[7];
        s1 = t.s[1], s2 = t.s[2], s3 = t.s[3], s4 = t.s[4], s5 = t.s[5], s6 = t.s[6];
        gain = static_cast<float>(t.L);
        L = t.L;
        M = t.M;
        up = 0;
        down = *t.downPhase;
        in = t.in;
        out = t.out;
    }
    [[gnu::always_inline]] inline void save(const SRFilterTask& t) const {
        t.s[1] = s1, t.s[2] = s2, t.s[3] = s3, t.s[4] = s4, t.s[5] = s5, t.s[6] = s6;
        *t.downPhase = down;
    }
    [[gnu::always_inline]] inline void emit(float y) {
        if (down == 0) {
            store_sample(out, gain, y);
            out += 2;
        }
        if (++down == M) down = 0;
    }
    [[gnu::always_inline]] inline void input_step() {
        const float x = load_sample(in);
        in += 2;
        const float y = b1 * x + s1;
        s1 = (b2 * x - a2 * y) + s2;
        s2 = (b3 * x - a3 * y) + s3;
        s3 = (b4 * x - a4 * y) + s4;
        s4 = (b5 * x - a5 * y) + s5;
        s5 = (b6 * x - a6 * y) + s6;
        s6 = b7 * x - a7 * y;
        emit(y);
    }
    [[gnu::always_inline]] inline void zero_step() {
        const float y = s1;
        s1 = s2 - a2 * y;
        s2 = s3 - a3 * y;
        s3 = s4 - a4 * y;
        s4 = s5 - a5 * y;
        s5 = s6 - a6 * y;
        s6 = -(a7 * y);
        emit(y);
    }
    // One step of whichever kind the up phase calls for.
    [[gnu::always_inline]] inline void step() {
        if (up == 0)
            input_step();
        else
            zero_step();
        if (++up == L) up = 0;
    }
    // Whole samples: an input step and L - 1 zero steps each.
    [[gnu::always_inline]] inline void samples(uint64_t n) {
        for (uint64_t i = 0; i < n; ++i) {
            input_step();
            for (uint32_t j = 1; j < L; ++j) zero_step();
        }
    }
};

}  // namespace

void RunOrder6(const SRFilterTask& task) {
    Lane lane{};
    lane.load(task);
    lane.samples(task.samples);
    lane.save(task);
}

// Two lanes hold 12 states, 26 coefficients and 2 gains: with the 32
// vector registers of AVX-512 all of them stay in registers. The clone does
// the same scalar single-precision operations, so its results are the same
// bits.
[[gnu::target_clones("avx512f", "default")]] void RunOrder6Tasks(const SRFilterTask* tasks, size_t count) {
    if (count == 0) return;
    if (count == 1) {
        RunOrder6(tasks[0]);
        return;
    }
    // Two lanes take tasks in order; each runs step by step beside the
    // other, and a lane that finishes takes the next task. Tasks without
    // samples are passed over.
    size_t next = 0;
    auto take = [&](Lane& lane, const SRFilterTask*& task, uint64_t& left) {
        left = 0;
        while (next < count && left == 0) {
            task = &tasks[next++];
            left = static_cast<uint64_t>(task->samples) * task->L;
        }
        if (left) lane.load(*task);
    };
    Lane a{}, b{};
    const SRFilterTask* ta = nullptr;
    const SRFilterTask* tb = nullptr;
    uint64_t leftA = 0, leftB = 0;
    take(a, ta, leftA);
    take(b, tb, leftB);
    while (leftA > 0 && leftB > 0) {
        const uint64_t n = std::min(leftA, leftB);
        for (uint64_t i = 0; i < n; ++i) {
            a.step();
            b.step();
        }
        leftA -= n;
        leftB -= n;
        if (leftA == 0) {
            a.save(*ta);
            take(a, ta, leftA);
        }
        if (leftB == 0) {
            b.save(*tb);
            take(b, tb, leftB);
        }
    }
    // The lane still at work finishes alone: step by step to the end of its
    // current sample, then whole samples.
    if (leftB > 0) {
        std::swap(a, b);
        std::swap(ta, tb);
        std::swap(leftA, leftB);
    }
    if (leftA > 0) {
        while (a.up != 0) {
            a.step();
            --leftA;
        }
        a.samples(leftA / a.L);
        a.save(*ta);
    }
}

namespace {

constexpr int kVectorLanes = 8;
static_assert(LaneChain::kMaxStages <= kVectorLanes);
constexpr double kRoundSteps = 4096;

}  // namespace

// Clang and GCC both take the target as a function attribute.
namespace avx2 {
#define AFC_LANES_TARGET __attribute__((target("avx2")))
#include "afc/filter_kernel_lanes.inc"
#undef AFC_LANES_TARGET
}  // namespace avx2

// With AVX-512 the same code has 32 vector registers, enough for the lead's
// and the lanes' coefficients and states together.
namespace avx512 {
#define AFC_LANES_TARGET __attribute__((target("avx2,avx512f,avx512vl")))
#include "afc/filter_kernel_lanes.inc"
#undef AFC_LANES_TARGET
}  // namespace avx512

namespace {

Lanes available(Lanes wanted) {
    __builtin_cpu_init();
    if (wanted == Lanes::kAvx512 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
        return Lanes::kAvx512;
    if (wanted >= Lanes::kAvx2 && __builtin_cpu_supports("avx2")) return Lanes::kAvx2;
    return Lanes::kScalar;
}

std::atomic<Lanes>& active() {
    static std::atomic<Lanes> lanes{available(Lanes::kAvx512)};
    return lanes;
}

}  // namespace

Lanes UseLanes(Lanes wanted) {
    const Lanes lanes = available(wanted);
    active().store(lanes);
    return lanes;
}

Lanes ActiveLanes() { return active().load(std::memory_order_relaxed); }

size_t LaneChain::Run(const Stage* stages, size_t count, const uint8_t* in, size_t samples, uint8_t* out) {
    switch (ActiveLanes()) {
        case Lanes::kAvx512:
            return avx512::RunLaneChain(stages, count, in, samples, out, m_scratch);
        case Lanes::kAvx2:
            return avx2::RunLaneChain(stages, count, in, samples, out, m_scratch);
        case Lanes::kScalar:
            break;
    }
    return 0;
}

}  // namespace afc_kernel
