// The elliptic low-pass design against scipy's independent design, its
// failure cases, the special functions at known values, and the table-based
// design.
#include "afc/filter_design.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "afc/support.h"
#include "support/test_support.h"

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

SRFilterSpecification low_pass(double rate, double edge) {
    SRFilterSpecification wanted;
    wanted.order = 6;
    wanted.designRate = rate;
    wanted.ripple = 1.0;
    wanted.attenuation = 60.0;
    wanted.passEdge = edge;
    wanted.stopEdge = 1.3 * edge;
    wanted.bandKind = afc_filter::kLowPass;
    wanted.family = afc_filter::kElliptic;
    return wanted;
}

double dc_gain(const std::vector<float>& a, const std::vector<float>& b) {
    double num = 0, den = 0;
    for (size_t i = 1; i < a.size(); ++i) {
        num += b[i];
        den += a[i];
    }
    return num / den;
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

TEST(FilterDesigner, SixteenToEightKilohertzHasMinusOneDecibelAtDc) {
    SRFilterDesigner designer;
    std::vector<float> a, b;
    ASSERT_TRUE(designer.Design(low_pass(16000, 4000), a, b));
    EXPECT_NEAR(dc_gain(a, b), std::pow(10.0, -1.0 / 20.0), 1e-6);
}

TEST(FilterDesigner, InvalidSpecificationsLeaveZeros) {
    SRFilterDesigner designer;
    std::vector<float> a, b;
    for (double edge : {8000.0, 9000.0, 0.0}) {
        SCOPED_TRACE(edge);
        EXPECT_FALSE(designer.Design(low_pass(16000, edge), a, b));
        ASSERT_EQ(a.size(), 8u);
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i], 0.0f);
            EXPECT_EQ(b[i], 0.0f);
        }
    }
    SRFilterSpecification none = low_pass(16000, 4000);
    none.bandKind = afc_filter::kNoFilter;
    EXPECT_FALSE(designer.Design(none, a, b));
    SRFilterSpecification zeroOrder = low_pass(16000, 4000);
    zeroOrder.order = 0;
    EXPECT_FALSE(designer.Design(zeroOrder, a, b));
    SRFilterSpecification tooHigh = low_pass(16000, 4000);
    tooHigh.order = 25;  // 2n + 2 roots exceed the 50 the design holds
    EXPECT_FALSE(designer.Design(tooHigh, a, b));
    SRFilterSpecification noRipple = low_pass(16000, 4000);
    noRipple.ripple = 0.0;
    EXPECT_FALSE(designer.Design(noRipple, a, b));
}

TEST(FilterDesigner, OddOrderGetsAZeroAtNyquistAndUnitDcGain) {
    SRFilterDesigner designer;
    std::vector<float> a, b;
    SRFilterSpecification wanted = low_pass(16000, 4000);
    wanted.order = 5;
    ASSERT_TRUE(designer.Design(wanted, a, b));
    EXPECT_NEAR(dc_gain(a, b), 1.0, 1e-5);
    // H(-1) = 0: the alternating sum of the numerator vanishes.
    double alternating = 0, scale = 0;
    for (size_t i = 1; i < b.size(); ++i) {
        alternating += (i % 2 ? 1.0 : -1.0) * b[i];
        scale += std::fabs(b[i]);
    }
    EXPECT_NEAR(alternating / scale, 0.0, 1e-6);
}

TEST(FilterDesigner, TableDesignHasOneRowAndRaises202Otherwise) {
    SRFilterDesigner designer;
    std::vector<float> a, b;
    designer.DesignFilter(low_pass(16000, 4000), a, b);
    const std::vector<float> wantA = {0, 1, -0.653053f, 1.578111f, -0.885660f, 0.732870f, -0.267594f, 0.074149f};
    const std::vector<float> wantB = {0, 0.043570f, 0.172728f, 0.347915f, 0.432325f, 0.347915f, 0.172728f, 0.043570f};
    EXPECT_EQ(a, wantA);
    EXPECT_EQ(b, wantB);

    std::vector<float> c, d;
    try {
        designer.DesignFilter(low_pass(12345, 4000), c, d);
        FAIL() << "no row for 12345 Hz";
    } catch (const SException& e) {
        EXPECT_EQ(e.Code(), 202);
        EXPECT_EQ(e.ClassName().view(), "COrSRConDesigner");
        EXPECT_EQ(e.Method().view(), "DesignFilter");
        EXPECT_EQ(e.Message().view(), "No designed filter available");
    }
    SRFilterSpecification none = low_pass(12345, 4000);
    none.bandKind = afc_filter::kNoFilter;
    EXPECT_NO_THROW(designer.DesignFilter(none, c, d));
    EXPECT_TRUE(c.empty());
}

TEST(EllipticFunctions, KnownValuesAndFallbacks) {
    using namespace afc_elliptic;
    const double pi = 3.14159265358979323846;
    EXPECT_NEAR(ellpk(1.0), pi / 2, 1e-15);  // K(0)
    // K(1/2) = Gamma(1/4)^2 / (4 sqrt(pi))
    EXPECT_NEAR(ellpk(0.5), 1.8540746773013719, 1e-14);
    EXPECT_NEAR(ellpk(1e-20), std::log(4.0) + 0.5 * std::log(1e20), 1e-12);
    EXPECT_EQ(ellpk(0.0), kOverflowValue);
    EXPECT_EQ(ellpk(-0.5), 0.0);
    EXPECT_EQ(ellpk(1.5), 0.0);

    EXPECT_NEAR(ellik(pi / 2, 0.5), 1.8540746773013719, 1e-14);
    EXPECT_NEAR(ellik(pi / 6, 0.0), pi / 6, 1e-15);
    // F(phi | 1) = atanh(sin phi)
    EXPECT_NEAR(ellik(0.7, 1.0), std::atanh(std::sin(0.7)), 1e-14);
    EXPECT_EQ(ellik(2.0, 1.0), kOverflowValue);
    EXPECT_NEAR(ellik(pi / 2 + pi, 0.5), 3 * 1.8540746773013719, 1e-13);

    // sn(K | m) = 1, cn(K) = 0, dn(K) = sqrt(1 - m); sn^2 + cn^2 = 1.
    const Jacobi atK = ellpj(1.8540746773013719, 0.5);
    EXPECT_NEAR(atK.sn, 1.0, 1e-14);
    EXPECT_NEAR(atK.cn, 0.0, 1e-7);
    EXPECT_NEAR(atK.dn, std::sqrt(0.5), 1e-14);
    const Jacobi j = ellpj(0.8, 0.3);
    EXPECT_NEAR(j.sn * j.sn + j.cn * j.cn, 1.0, 1e-15);
    EXPECT_NEAR(j.dn * j.dn + 0.3 * j.sn * j.sn, 1.0, 1e-15);
    EXPECT_NEAR(ellik(j.ph, 0.3), 0.8, 1e-14) << "the amplitude inverts F";
    const Jacobi hyperbolic = ellpj(0.8, 1.0);
    EXPECT_NEAR(hyperbolic.sn, std::tanh(0.8), 1e-12);
    EXPECT_NEAR(hyperbolic.cn, 1.0 / std::cosh(0.8), 1e-12);
    const Jacobi circular = ellpj(0.8, 0.0);
    EXPECT_NEAR(circular.sn, std::sin(0.8), 1e-15);
    EXPECT_EQ(circular.dn, 1.0);
    const Jacobi outside = ellpj(0.8, 1.5);
    EXPECT_EQ(outside.sn, 0.0);
    EXPECT_EQ(outside.cn, 0.0);

    const auto q = cdiv({1.0, 1.0}, {0.0, 0.0});
    EXPECT_EQ(q.real(), kOverflowValue);
    EXPECT_EQ(q.imag(), kOverflowValue);
    const auto r = cdiv({1.0, 2.0}, {3.0, -1.0});
    EXPECT_NEAR(r.real(), 0.1, 1e-15);
    EXPECT_NEAR(r.imag(), 0.7, 1e-15);
}
