#include "codecs/dss_sp_search.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vkt::codecs::dss_sp {

namespace {

constexpr int N = kSubframe;

// Eight partial sums, so that the compiler can keep them in vector lanes.
float dot(const float* a, const float* b) {
    float s[8] = {};
    for (int i = 0; i < N; i += 8)
        for (int k = 0; k < 8; ++k) s[k] += a[i + k] * b[i + k];
    return ((s[0] + s[4]) + (s[1] + s[5])) + ((s[2] + s[6]) + (s[3] + s[7]));
}
static_assert(N % 8 == 0);

}  // namespace

void convolve(const float* h, const float* x, float* y) {
    // Each input sample adds its scaled copy of h: runs of independent
    // multiply-adds instead of one dependent sum per output.
    for (int n = 0; n < N; ++n) y[n] = 0;
    for (int i = 0; i < N; ++i) {
        const float xi = x[i];
        if (xi == 0) continue;
        float* yi = y + i;
        for (int n = 0; n < N - i; ++n) yi[n] += xi * h[n];
    }
}

void PulseCorrelation::compute(const float* h) {
    // phi[i][i+m] = phi[i+1][i+1+m] + h[N-1-i] h[N-1-i-m], from the bottom
    // right corner up each diagonal.
    for (int m = 0; m < N; ++m) {
        float acc = 0;
        for (int i = N - 1 - m; i >= 0; --i) {
            acc += h[N - 1 - i] * h[N - 1 - i - m];
            phi[i][i + m] = acc;
            phi[i + m][i] = acc;
        }
    }
    for (int i = 0; i < N; ++i) {
        diagonal[i] = phi[i][i];
        inverse_diagonal[i] = phi[i][i] > 0 ? 1.0f / phi[i][i] : 0.0f;
    }
}

int search_lags(const ExcitationHistory& history, int lo, int hi, const float* x, const float* h,
                LagCandidate* out, int capacity) {
    int count = 0;
    // w is the history read backwards from `lag` without repetition
    // (w[i] = history at lag - i, zero from i = lag on), yw = h * w. The
    // adaptive vector repeats w with period lag when lag < 72, so its
    // filtered form is yw plus copies of yw delayed by lag, 2 lag, ...; and
    // w of lag + 1 is w of lag delayed by a sample with the history sample
    // lag + 1 in front, so yw follows from the last one with one new term.
    float buffers[2][N], y[N];
    float* yw = buffers[0];
    for (int lag = lo; lag <= hi; ++lag) {
        if (lag == lo) {
            float w[N];
            for (int i = 0; i < N; ++i) w[i] = i < lag ? static_cast<float>(history.at(lag - i)) : 0.0f;
            convolve(h, w, yw);
        } else {
            const float first = static_cast<float>(history.at(lag));
            float* next = yw == buffers[0] ? buffers[1] : buffers[0];
            next[0] = first * h[0];
            for (int n = 1; n < N; ++n) next[n] = yw[n - 1] + first * h[n];
            yw = next;
        }
        std::copy(yw, yw + N, y);
        for (int delay = lag; delay < N; delay += lag)
            for (int n = delay; n < N; ++n) y[n] += yw[n - delay];
        const float corr = dot(x, y);
        const float energy = dot(y, y);
        if (!(corr > 0 && energy > 0)) continue;
        const float score = corr * corr / energy;
        auto better = [score](const LagCandidate& c) { return score * c.energy > c.corr * c.corr; };
        int at = count;
        if (count == capacity) {
            if (!better(out[capacity - 1])) continue;
            at = capacity - 1;
        } else {
            ++count;
        }
        while (at > 0 && better(out[at - 1])) {
            out[at] = out[at - 1];
            --at;
        }
        out[at] = {lag, corr, energy};
    }
    return count;
}

PulseChoice place_pulses(const float* d, const PulseCorrelation& pc, int gain, int passes) {
    const auto& phi = pc.phi;
    PulseChoice c;
    c.gain = gain;
    float amp[8];
    for (int l = 0; l < 8; ++l) amp[l] = static_cast<float>(pulse_amplitude(gain, l));
    // r = d minus the filtered pulses placed so far, seen through H'.
    float r[N];
    std::copy(d, d + N, r);
    float blocked[N] = {};  // infinite where a pulse sits
    // Adding amplitude b at p changes the error by b^2 phi[p][p] - 2 b r[p];
    // the level nearest the optimum r[p] / phi[p][p] minimizes it. The
    // amplitudes rise with the level, so the nearest one is the count of
    // midpoints below the optimum.
    float mid[7];
    for (int l = 0; l < 7; ++l) mid[l] = 0.5f * (amp[l] + amp[l + 1]);
    auto gain_at = [&](int p, int* level) {
        const float opt = r[p] * pc.inverse_diagonal[p];
        int l = 0;
        for (int i = 0; i < 7; ++i) l += opt > mid[i];
        *level = l;
        return amp[l] * (amp[l] * pc.diagonal[p] - 2 * r[p]);
    };
    // phi is symmetric: its row p is the column of the pulse at p.
    auto add = [&](int p, int level, float sign) {
        const float b = sign * amp[level];
        const float* row = phi[p];
        for (int q = 0; q < N; ++q) r[q] -= b * row[q];
        blocked[p] = sign > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    };
    // The error change of the best level at every position at once: the
    // smallest of the eight levels' changes is the nearest level's (the
    // change is a parabola in the amplitude), and the loop has no branches.
    float amp2[8], change[N];
    for (int l = 0; l < 8; ++l) amp2[l] = amp[l] * amp[l];
    auto best_free = [&](int* pos, int* level, float bar) {
        for (int p = 0; p < N; ++p) {
            const float dp = pc.diagonal[p], rp = 2 * r[p];
            float m = amp2[0] * dp - amp[0] * rp;
            for (int l = 1; l < 8; ++l) m = std::min(m, amp2[l] * dp - amp[l] * rp);
            change[p] = m + blocked[p];
        }
        int found = -1;
        for (int p = 0; p < N; ++p)
            if (change[p] < bar) {
                bar = change[p];
                found = p;
            }
        if (found >= 0) {
            *pos = found;
            gain_at(found, level);
        }
        return bar;
    };
    for (int k = 0; k < kPulses; ++k) {
        c.position[k] = -1;
        best_free(&c.position[k], &c.level[k], 1e30f);
        add(c.position[k], c.level[k], 1);
    }
    for (int pass = 0; pass < passes; ++pass) {
        bool moved = false;
        for (int k = 0; k < kPulses; ++k) {
            add(c.position[k], c.level[k], -1);
            int pos = c.position[k], level;
            const float stay = gain_at(pos, &level);
            // Move only for a clear gain, so that the passes settle.
            best_free(&pos, &level, stay - 1e-3f * std::fabs(stay));
            moved = moved || pos != c.position[k] || level != c.level[k];
            c.position[k] = pos;
            c.level[k] = level;
            add(pos, level, 1);
        }
        if (!moved) break;
    }
    c.err = 0;
    for (int k = 0; k < kPulses; ++k) {
        const float bk = amp[c.level[k]];
        c.err -= 2 * bk * d[c.position[k]];
        for (int l = 0; l < kPulses; ++l) c.err += bk * amp[c.level[l]] * phi[c.position[k]][c.position[l]];
    }
    return c;
}

namespace {

// The two gains whose pulses, placed one by one, lower the error most, and
// those errors (gain 0 and error 0 where none helps).
struct GainRanking {
    int first_gain = 0, second_gain = 0;
    float first = 0, second = 0;
};

GainRanking rank_gains(const float* d, const PulseCorrelation& pc, int below, int above) {
    float peak = 0;
    for (int p = 0; p < N; ++p) peak = std::max(peak, std::fabs(d[p]) / std::max(pc.phi[p][p], 1e-9f));
    int estimate = 0;
    for (int g = 1; g < 64; ++g)
        if (std::fabs(pulse_amplitude(g, 7) - peak) < std::fabs(pulse_amplitude(estimate, 7) - peak)) estimate = g;
    GainRanking r;
    for (int g = std::max(1, estimate - below); g <= std::min(63, estimate + above); ++g) {
        const float err = place_pulses(d, pc, g, 0).err;
        if (err < r.first) {
            r.second = r.first;
            r.second_gain = r.first_gain;
            r.first = err;
            r.first_gain = g;
        } else if (err < r.second) {
            r.second = err;
            r.second_gain = g;
        }
    }
    return r;
}

}  // namespace

float estimate_pulses(const float* d, const PulseCorrelation& pc) {
    // The estimated gain and its two neighbours.
    return rank_gains(d, pc, 1, 1).first;
}

PulseChoice search_pulses(const float* d, const PulseCorrelation& pc) {
    // Each gain's pulses are placed one by one; the moving passes, which
    // cost three times as much, run for the two best gains only.
    // The largest pulse may take any of the upper levels: gains from a little
    // below the estimate to about 7/5 of it.
    const GainRanking r = rank_gains(d, pc, 3, 4);
    PulseChoice best;
    for (int g : {r.first_gain, r.second_gain}) {
        if (g == 0) continue;
        const PulseChoice c = place_pulses(d, pc, g, kMovingPasses);
        if (c.err < best.err) best = c;
    }
    return best;
}

void store_pulses(const PulseChoice& choice, SubframeParams* sf) {
    std::array<int, kPulses> order = {0, 1, 2, 3, 4, 5, 6};
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return choice.position[a] > choice.position[b]; });
    sf->fixed_gain = static_cast<uint8_t>(choice.gain);
    for (int i = 0; i < kPulses; ++i) {
        sf->position[i] = static_cast<uint8_t>(choice.position[order[i]]);
        sf->level[i] = static_cast<uint8_t>(choice.level[order[i]]);
    }
}

}  // namespace vkt::codecs::dss_sp
