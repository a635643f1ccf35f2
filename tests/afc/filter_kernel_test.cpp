// Independent filters run two at a time give the same bits as each run on
// its own, whatever their factors and lengths.
#include "afc/filter_kernel.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct Filter {
    std::vector<float> a, b, s;
    uint32_t L, M, down = 0;
    std::vector<int16_t> in;
    std::vector<int16_t> out;

    SRFilterTask task() {
        SRFilterTask t;
        t.a = a.data();
        t.b = b.data();
        t.s = s.data();
        t.L = L;
        t.M = M;
        t.downPhase = &down;
        t.in = reinterpret_cast<const uint8_t*>(in.data());
        t.samples = static_cast<uint32_t>(in.size());
        t.out = reinterpret_cast<uint8_t*>(out.data());
        return t;
    }
};

// A stable order-6 low-pass (the 16000 Hz row of the table design) with a
// random state, factors and input.
Filter make_filter(std::mt19937& gen, uint32_t L, uint32_t M, size_t samples) {
    Filter f;
    f.a = {0, 1, -0.653053f, 1.578111f, -0.885660f, 0.732870f, -0.267594f, 0.074149f};
    f.b = {0, 0.043570f, 0.172728f, 0.347915f, 0.432325f, 0.347915f, 0.172728f, 0.043570f};
    std::uniform_real_distribution<float> state(-3000.0f, 3000.0f);
    f.s = {0, state(gen), state(gen), state(gen), state(gen), state(gen), state(gen)};
    f.L = L;
    f.M = M;
    std::uniform_int_distribution<int> sample(-32768, 32767);
    f.in.resize(samples);
    for (auto& v : f.in) v = static_cast<int16_t>(sample(gen));
    f.out.assign(samples * L / M + 1, 0);
    return f;
}

}  // namespace

TEST(FilterKernel, TwoAtATimeEqualsOneAtATime) {
    std::mt19937 gen(42);
    const std::pair<uint32_t, uint32_t> factors[] = {{1, 4}, {10, 7}, {4, 3}, {2, 3}, {4, 7}, {7, 4}, {3, 2}};
    const size_t lengths[] = {441, 700, 0, 35, 1, 280, 90};
    std::vector<Filter> together, alone;
    for (size_t i = 0; i < std::size(factors); ++i) {
        const size_t n = lengths[i] / factors[i].second * factors[i].second;  // whole units
        together.push_back(make_filter(gen, factors[i].first, factors[i].second, n));
    }
    alone = together;
    std::vector<SRFilterTask> tasks;
    for (Filter& f : together) tasks.push_back(f.task());
    afc_kernel::RunOrder6Tasks(tasks.data(), tasks.size());
    for (Filter& f : alone) afc_kernel::RunOrder6(f.task());
    for (size_t i = 0; i < together.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(together[i].out, alone[i].out);
        EXPECT_EQ(together[i].s, alone[i].s);
        EXPECT_EQ(together[i].down, alone[i].down);
    }
    // Something was written: the filters ran.
    EXPECT_NE(together[1].out, std::vector<int16_t>(together[1].out.size(), 0));
}
