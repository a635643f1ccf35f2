#include "codecs/dss_sp_lpc.h"

#include <algorithm>
#include <cmath>

namespace vkt::codecs::dss_sp {

namespace {

int nearest_index(int row, double k) {
    const int entries = 1 << kFilterBits[row];
    const double target = k * 32768.0;
    int best = 0;
    double best_d = 1e300;
    for (int i = 0; i < entries; ++i) {
        const double d = std::fabs(kReflectionCodebook[row][i] - target);
        if (d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

// The prediction error a' R a of a quantized filter, relative to r[0].
// R is Toeplitz: a'Ra = r0 c0 + 2 sum r_k c_k with c the autocorrelation of a.
double prediction_error(const Autocorrelation& r, const DirectForm& a) {
    double e = 0;
    for (int k = 0; k <= kOrder; ++k) {
        int64_t c = 0;  // |a_i| < 2^15: the sum of 15 products fits
        for (int i = 0; i + k <= kOrder; ++i) c += static_cast<int64_t>(a[i]) * a[i + k];
        e += (k == 0 ? 1.0 : 2.0) * r[k] * static_cast<double>(c);
    }
    return e;
}

}  // namespace

void autocorrelate(const float* x, int n, int order, double* r) {
    for (int lag = 0; lag <= order; ++lag) {
        double s = 0;
        for (int i = lag; i < n; ++i) s += static_cast<double>(x[i]) * x[i - lag];
        r[lag] = s;
    }
}

Autocorrelation autocorrelate(const float* x, int n) {
    Autocorrelation r{};
    autocorrelate(x, n, kOrder, r.data());
    return r;
}

double levinson(const double* r, int order, double* a, double* k) {
    a[0] = 1;
    for (int i = 1; i <= order; ++i) a[i] = 0;
    if (k)
        for (int i = 0; i < order; ++i) k[i] = 0;
    if (!(r[0] > 0)) return 0;
    double err = r[0];
    for (int m = 1; m <= order; ++m) {
        double acc = r[m];
        for (int i = 1; i < m; ++i) acc += a[i] * r[m - i];
        const double km = std::clamp(-acc / err, -0.9999, 0.9999);
        // a_i + k a_(m-i), pairwise from both ends.
        for (int i = 1, j = m - 1; i <= j; ++i, --j) {
            const double ai = a[i], aj = a[j];
            a[i] = ai + km * aj;
            if (i != j) a[j] = aj + km * ai;
        }
        a[m] = km;
        if (k) k[m - 1] = km;
        err *= 1 - km * km;
    }
    return err;
}

double levinson(const Autocorrelation& r, Polynomial* a, std::array<double, kOrder>* k) {
    return levinson(r.data(), kOrder, a->data(), k->data());
}

bool step_down(const Polynomial& a_in, std::array<double, kOrder>* k) {
    Polynomial a = a_in;
    for (int m = kOrder; m >= 1; --m) {
        const double km = a[m];
        if (!(std::fabs(km) < 1)) return false;
        (*k)[m - 1] = km;
        const double d = 1 - km * km;
        Polynomial prev = a;
        for (int i = 1; i < m; ++i) a[i] = (prev[i] - km * prev[m - i]) / d;
    }
    return true;
}

Polynomial expand_bandwidth(const Polynomial& a, double gamma) {
    Polynomial out = a;
    double g = 1;
    for (int i = 1; i <= kOrder; ++i) {
        g *= gamma;
        out[i] = a[i] * g;
    }
    return out;
}

Polynomial polynomial_of(const DirectForm& a) {
    Polynomial p{};
    for (int i = 0; i <= kOrder; ++i) p[i] = a[i] / 8192.0;
    return p;
}

std::array<uint8_t, kOrder> quantize_filter(const Autocorrelation& r, const Polynomial& a, DirectForm* direct) {
    std::array<uint8_t, kOrder> idx{};
    std::array<double, kOrder> k{};
    // Widen the bandwidth until the nearest indices step up without clipping.
    bool found = false;
    for (double gamma = 1.0; gamma > 0.5 && !found; gamma -= 0.01) {
        if (!step_down(expand_bandwidth(a, gamma), &k)) continue;
        for (int i = 0; i < kOrder; ++i) idx[i] = static_cast<uint8_t>(nearest_index(i, k[i]));
        found = step_up(reflection_of(idx), direct);
    }
    if (!found) {
        // Coefficients near zero never clip.
        for (int i = 0; i < kOrder; ++i) idx[i] = static_cast<uint8_t>(nearest_index(i, 0.0));
        step_up(reflection_of(idx), direct);
    }
    if (!(r[0] > 0)) return idx;

    // Coordinate search over neighbouring indices. A trial that changes
    // coefficient i repeats the step-up from order i + 1 only: stage[m] is
    // the current filter of order m, clean[m] whether orders 1..m stepped up
    // without clipping.
    std::array<DirectForm, kOrder + 1> stage;
    std::array<bool, kOrder + 1> clean;
    auto restage = [&](int from) {
        for (int m = from; m <= kOrder; ++m) {
            stage[m] = stage[m - 1];
            clean[m] = step_up_order(m, kReflectionCodebook[m - 1][idx[m - 1]], &stage[m]) && clean[m - 1];
        }
    };
    stage[0].fill(0);
    stage[0][0] = 8192;
    clean[0] = true;
    restage(1);
    double best = prediction_error(r, *direct);
    for (int pass = 0; pass < 2; ++pass) {
        bool changed = false;
        for (int i = 0; i < kOrder; ++i) {
            if (!clean[i]) break;  // every trial from here on clips
            const int entries = 1 << kFilterBits[i];
            const int current = idx[i];
            int chosen = current;
            for (int delta : {-2, -1, 1, 2}) {
                const int cand = current + delta;
                if (cand < 0 || cand >= entries) continue;
                DirectForm t = stage[i];
                bool exact = step_up_order(i + 1, kReflectionCodebook[i][cand], &t);
                for (int m = i + 2; m <= kOrder && exact; ++m)
                    exact = step_up_order(m, kReflectionCodebook[m - 1][idx[m - 1]], &t);
                if (!exact) continue;
                const double e = prediction_error(r, t);
                if (e < best) {
                    best = e;
                    chosen = cand;
                    *direct = t;
                }
            }
            if (chosen != current) {
                idx[i] = static_cast<uint8_t>(chosen);
                restage(i + 1);
                changed = true;
            }
        }
        if (!changed) break;
    }
    return idx;
}

}  // namespace vkt::codecs::dss_sp
