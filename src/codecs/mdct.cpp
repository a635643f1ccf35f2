#include "codecs/mdct.h"

#include <cmath>
#include <stdexcept>

namespace vkt::codecs {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

Mdct::Mdct(size_t n) : n_(n) {
    if (n < 4 || (n & (n - 1)) != 0) throw std::invalid_argument("transform size");
    const size_t h = n / 2;
    pre_.resize(h);
    post_.resize(h);
    for (size_t m = 0; m < h; ++m) {
        pre_[m] = std::polar(1.0f, static_cast<float>(-kPi * (4.0 * m + 1) / (4.0 * n)));
        post_[m] = std::polar(1.0f, static_cast<float>(-kPi * m / n));
    }
    twiddle_.resize(h / 2 > 0 ? h / 2 : 1);
    for (size_t j = 0; j < h / 2; ++j) twiddle_[j] = std::polar(1.0f, static_cast<float>(-2 * kPi * j / h));
    bitrev_.resize(h);
    size_t bits = 0;
    while ((size_t(1) << bits) < h) ++bits;
    for (size_t i = 0; i < h; ++i) {
        size_t r = 0;
        for (size_t b = 0; b < bits; ++b)
            if (i & (size_t(1) << b)) r |= size_t(1) << (bits - 1 - b);
        bitrev_[i] = r;
    }
    work_.resize(h);
    fold_.resize(n);
}

void Mdct::fft(std::complex<float>* a) {
    const size_t h = n_ / 2;
    for (size_t i = 0; i < h; ++i)
        if (bitrev_[i] > i) std::swap(a[i], a[bitrev_[i]]);
    for (size_t len = 2; len <= h; len <<= 1) {
        const size_t half = len / 2, step = h / len;
        for (size_t start = 0; start < h; start += len) {
            for (size_t j = 0; j < half; ++j) {
                const std::complex<float> t = a[start + j + half] * twiddle_[j * step];
                a[start + j + half] = a[start + j] - t;
                a[start + j] += t;
            }
        }
    }
}

void Mdct::dct4(const float* in, float* out) {
    const size_t n = n_, h = n_ / 2;
    for (size_t m = 0; m < h; ++m) work_[m] = std::complex<float>(in[2 * m], in[n - 1 - 2 * m]) * pre_[m];
    fft(work_.data());
    for (size_t m = 0; m < h; ++m) {
        const std::complex<float> y = work_[m] * post_[m];
        out[2 * m] = y.real();
        out[n - 1 - 2 * m] = -y.imag();
    }
}

void Mdct::forward(const float* x, float* out) {
    // Quarters a b c d of the 2N block fold into (-c_r - d, a - b_r).
    const size_t n = n_, q = n_ / 2;
    for (size_t i = 0; i < q; ++i) {
        fold_[i] = -x[n + q - 1 - i] - x[n + q + i];
        fold_[q + i] = x[i] - x[n - 1 - i];
    }
    dct4(fold_.data(), out);
}

void Mdct::inverse(const float* in, float* y) {
    const size_t n = n_, q = n_ / 2;
    dct4(in, fold_.data());
    const float scale = 2.0f / static_cast<float>(n);
    // DCT-IV halves (w1, w2) unfold into (w2, -w2_r, -w1_r, -w1).
    for (size_t i = 0; i < q; ++i) {
        y[i] = scale * fold_[q + i];
        y[q + i] = -scale * fold_[n - 1 - i];
        y[n + i] = -scale * fold_[q - 1 - i];
        y[n + q + i] = -scale * fold_[i];
    }
}

}  // namespace vkt::codecs
