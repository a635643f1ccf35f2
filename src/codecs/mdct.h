// The modified discrete cosine transform of N coefficients over 2N samples,
// computed as a folding plus a DCT-IV, which in turn runs on an N/2-point
// complex FFT. Used by the quality-play codec (N = 256).
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace vkt::codecs {

class Mdct {
public:
    // N must be a power of two, at least 4.
    explicit Mdct(size_t n);

    size_t size() const { return n_; }

    // X[k] = sum over 2N samples of x[i] cos(pi/N (i + 1/2 + N/2)(k + 1/2)).
    void forward(const float* in, float* out);
    // y[i] = 2/N sum over N coefficients of X[k] cos(pi/N (i + 1/2 + N/2)(k + 1/2)):
    // with a window whose overlapping halves have squares summing to 1,
    // windowed overlap-add of successive blocks gives the input back.
    void inverse(const float* in, float* out);

    // X[k] = sum u[i] cos(pi/N (i + 1/2)(k + 1/2)); in and out may not overlap.
    void dct4(const float* in, float* out);

private:
    void fft(std::complex<float>* data);

    size_t n_;
    std::vector<std::complex<float>> pre_;     // exp(-i pi (4m+1) / 4N)
    std::vector<std::complex<float>> post_;    // exp(-i pi m / N)
    std::vector<std::complex<float>> twiddle_; // exp(-2 pi i j / (N/2))
    std::vector<size_t> bitrev_;
    std::vector<std::complex<float>> work_;
    std::vector<float> fold_;
};

}  // namespace vkt::codecs
