// The elliptic low-pass design against scipy's independent design and
// against properties every elliptic low-pass has, and the special functions
// at known values.
#include "afc/filter_design.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

namespace {

struct Reference {
    double rate = 0, edge = 0;
    double b[7] = {}, a[7] = {};
};

// Filters designed by scipy.signal.ellip (tests/data/make_ellip_coefficients.py).
std::vector<Reference> scipy_references() {
    std::ifstream in(orvkt_test::data_path("ellip_coefficients.txt"));
    std::vector<Reference> refs;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Reference r;
        fields >> r.rate >> r.edge;
        for (double& v : r.b) fields >> v;
        for (double& v : r.a) fields >> v;
        if (fields) refs.push_back(r);
    }
    return refs;
}

SRFilterSpecification low_pass(double rate, double edge, uint32_t order = 6) {
    SRFilterSpecification wanted;
    wanted.order = order;
    wanted.designRate = rate;
    wanted.ripple = 1.0;
    wanted.attenuation = 60.0;
    wanted.passEdge = edge;
    wanted.stopEdge = 1.3 * edge;
    wanted.bandKind = afc_filter::kLowPass;
    wanted.family = afc_filter::kElliptic;
    return wanted;
}

// The polynomial v[1] + v[2] z^-1 + ... at z = 1 (sign +1) or z = -1 (sign -1).
double poly_at(const std::vector<float>& v, double sign) {
    double sum = 0, p = 1;
    for (size_t i = 1; i < v.size(); ++i, p *= sign) sum += p * v[i];
    return sum;
}

}  // namespace

TEST(FilterDesigner, EllipticLowPassMatchesScipy) {
    const auto refs = scipy_references();
    ASSERT_GE(refs.size(), 4u) << "reference file missing or short";
    SRFilterDesigner designer;
    for (const Reference& r : refs) {
        SCOPED_TRACE(testing::Message() << r.rate << " Hz, edge " << r.edge);
        std::vector<float> a, b;
        ASSERT_TRUE(designer.Design(low_pass(r.rate, r.edge), a, b));
        ASSERT_EQ(a.size(), 8u);
        ASSERT_EQ(b.size(), 8u);
        EXPECT_EQ(a[0], 0.0f);
        EXPECT_EQ(b[0], 0.0f);
        EXPECT_EQ(a[1], 1.0f);
        for (int i = 0; i < 7; ++i) {
            // Single-precision agreement, relative to the size of the
            // coefficients of each polynomial.
            EXPECT_NEAR(b[i + 1], r.b[i], 2e-6 * 0.3 + 4e-7 * std::fabs(r.b[i])) << "b" << i;
            EXPECT_NEAR(a[i + 1], r.a[i], 4e-6 * std::max(1.0, std::fabs(r.a[i]))) << "a" << i;
        }
    }
}

// An even order starts at the bottom of the ripple (-1 dB at DC); an odd
// order at 0 dB with a zero at the Nyquist frequency.
TEST(FilterDesigner, DcGainAndNyquistZeroOfEvenAndOddOrders) {
    SRFilterDesigner designer;
    std::vector<float> a, b;
    ASSERT_TRUE(designer.Design(low_pass(16000, 4000), a, b));
    EXPECT_NEAR(poly_at(b, 1) / poly_at(a, 1), std::pow(10.0, -1.0 / 20.0), 1e-6);
    ASSERT_TRUE(designer.Design(low_pass(16000, 4000, 5), a, b));
    EXPECT_NEAR(poly_at(b, 1) / poly_at(a, 1), 1.0, 1e-5);
    double scale = 0;
    for (size_t i = 1; i < b.size(); ++i) scale += std::fabs(b[i]);
    EXPECT_NEAR(poly_at(b, -1) / scale, 0.0, 1e-6);
}

TEST(FilterDesigner, ImpossibleRequestsFailAndLeaveZeros) {
    struct Case {
        const char* what;
        SRFilterSpecification wanted;
    };
    std::vector<Case> cases = {{"edge at Nyquist", low_pass(16000, 8000)},
                               {"edge above Nyquist", low_pass(16000, 9000)},
                               {"edge 0", low_pass(16000, 0)},
                               {"order 0", low_pass(16000, 4000, 0)},
                               {"order beyond the root arrays", low_pass(16000, 4000, 25)},
                               {"no filter", low_pass(16000, 4000)},
                               {"no ripple", low_pass(16000, 4000)}};
    cases[5].wanted.bandKind = afc_filter::kNoFilter;
    cases[6].wanted.ripple = 0.0;
    SRFilterDesigner designer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> a, b;
        EXPECT_FALSE(designer.Design(c.wanted, a, b));
        EXPECT_EQ(a, std::vector<float>(c.wanted.order + 2, 0.0f));
        EXPECT_EQ(b, a);
    }
}

TEST(EllipticFunctions, KnownValuesAndFallbacks) {
    using namespace afc_elliptic;
    const double pi = std::numbers::pi;
    const double kHalf = 1.8540746773013719;  // K(1/2) = Gamma(1/4)^2 / (4 sqrt(pi))
    EXPECT_NEAR(ellpk(1.0), pi / 2, 1e-15);   // K(0)
    EXPECT_NEAR(ellpk(0.5), kHalf, 1e-14);
    EXPECT_NEAR(ellpk(1e-20), std::log(4.0) + 0.5 * std::log(1e20), 1e-12);
    EXPECT_EQ(ellpk(0.0), kOverflowValue);
    EXPECT_EQ(ellpk(1.5), 0.0);

    EXPECT_NEAR(ellik(pi / 2, 0.5), kHalf, 1e-14);
    EXPECT_NEAR(ellik(pi / 6, 0.0), pi / 6, 1e-15);
    EXPECT_NEAR(ellik(0.7, 1.0), std::atanh(std::sin(0.7)), 1e-14);  // F(phi | 1) = atanh(sin phi)
    EXPECT_EQ(ellik(2.0, 1.0), kOverflowValue);
    EXPECT_NEAR(ellik(pi / 2 + pi, 0.5), 3 * kHalf, 1e-13);

    // sn(K | m) = 1, cn(K) = 0, dn(K) = sqrt(1 - m); the amplitude inverts F.
    const Jacobi atK = ellpj(kHalf, 0.5);
    EXPECT_NEAR(atK.sn, 1.0, 1e-14);
    EXPECT_NEAR(atK.cn, 0.0, 1e-7);
    EXPECT_NEAR(atK.dn, std::sqrt(0.5), 1e-14);
    EXPECT_NEAR(ellik(ellpj(0.8, 0.3).ph, 0.3), 0.8, 1e-14);
    EXPECT_NEAR(ellpj(0.8, 1.0).sn, std::tanh(0.8), 1e-12);
    EXPECT_NEAR(ellpj(0.8, 1.0).cn, 1.0 / std::cosh(0.8), 1e-12);
    EXPECT_NEAR(ellpj(0.8, 0.0).sn, std::sin(0.8), 1e-15);
    EXPECT_EQ(ellpj(0.8, 1.5).sn, 0.0);

    EXPECT_EQ(cdiv({1.0, 1.0}, {0.0, 0.0}), std::complex<double>(kOverflowValue, kOverflowValue));
    const auto r = cdiv({1.0, 2.0}, {3.0, -1.0});
    EXPECT_NEAR(r.real(), 0.1, 1e-15);
    EXPECT_NEAR(r.imag(), 0.7, 1e-15);
}

TEST(EllipticFunctions, ANumericalErrorIsAWarningOfItsOwnUnit) {
    xkrvlog::Capture capture;
    EXPECT_EQ(afc_elliptic::ellpk(-0.5), 0.0);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, xkrvlog::Level::Warning);
    EXPECT_EQ(lines[0].file, "EllipticFunctions");
    EXPECT_EQ(lines[0].text, "ellpk domain error");
}
