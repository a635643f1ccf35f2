// Integer arithmetic on rates and the multi-stage plans built from it.
#include <gtest/gtest.h>

#include <cmath>

#include "afc/support.h"
#include "afc/rate_stages.h"
#include "afc/planning.h"

namespace {

using Factors = std::vector<uint32_t>;

Factors factorize(uint32_t n) {
    SRNaturalNumberUtils nn;
    Factors f;
    nn.Factorize(n, f);
    return f;
}

template <typename F>
uint16_t code_of(F f) {
    try {
        f();
    } catch (const SException& e) {
        return e.Code();
    }
    return 0;
}

// (from, to) of every stage.
std::vector<std::pair<double, double>> plan(double from, double to) {
    SRMultiStageSRConverter c(SRSamplingRateConverterPars(from, to, 16));
    std::vector<std::pair<double, double>> stages;
    for (const auto& p : c.StageParams()) stages.emplace_back(p->sourceRate, p->destinationRate);
    return stages;
}

using Stages = std::vector<std::pair<double, double>>;

}  // namespace

TEST(NaturalNumbers, RoundingAndPrimes) {
    SRNaturalNumberUtils nn;
    EXPECT_EQ(nn.RoundToNatural(2.5), 3u);
    EXPECT_EQ(nn.RoundToNatural(2.49), 2u);
    EXPECT_EQ(nn.RoundToNatural(-0.4), 0u);
    EXPECT_EQ(nn.RoundToNatural(5e9), 4294967295u);
    EXPECT_TRUE(nn.IsItPrim(1));
    EXPECT_TRUE(nn.IsItPrim(2));
    EXPECT_TRUE(nn.IsItPrim(3));
    EXPECT_FALSE(nn.IsItPrim(9));
    EXPECT_FALSE(nn.IsItPrim(4));
    EXPECT_TRUE(nn.IsItPrim(97));
    EXPECT_EQ(code_of([&] { nn.IsItPrim(0); }), 402);
}

TEST(NaturalNumbers, FactorListsKeepTheirOrderAndLeadingOne) {
    EXPECT_EQ(factorize(1), (Factors{1}));
    EXPECT_EQ(factorize(2), (Factors{1, 2}));
    EXPECT_EQ(factorize(3), (Factors{1, 3}));
    EXPECT_EQ(factorize(4), (Factors{1, 2, 2}));
    EXPECT_EQ(factorize(5), (Factors{5}));
    EXPECT_EQ(factorize(10), (Factors{5, 2}));
    EXPECT_EQ(factorize(12), (Factors{1, 3, 2, 2}));
    EXPECT_EQ(factorize(320), (Factors{5, 2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(factorize(441), (Factors{7, 7, 3, 3}));
}

TEST(NaturalNumbers, GcdAndLcmIgnoreTheLeadingOnes) {
    SRNaturalNumberUtils nn;
    EXPECT_EQ(nn.Gcd(4, 6), 2u);
    EXPECT_EQ(nn.Lcm(4, 6), 12u);
    EXPECT_EQ(nn.Gcd(441, 320), 1u);
    EXPECT_EQ(nn.Lcm(441, 320), 141120u);
    EXPECT_EQ(nn.Gcd(44100, 8000), 100u);
    EXPECT_EQ(nn.Lcm(14, 4), 28u);
    EXPECT_EQ(nn.Gcd(7, 7), 7u);
}

TEST(NaturalNumbers, LeastNaturalMultiplesAndRealLcm) {
    SRNaturalNumberUtils nn;
    EXPECT_EQ(nn.FindLeastNatNumRepeated(2.5), 5u);
    EXPECT_EQ(nn.FindLeastNatNumRepeated(11025), 11025u);
    EXPECT_EQ(nn.FindLeastNatNumRepeated(7.25), 29u);
    EXPECT_EQ(code_of([&] { nn.FindLeastNatNumRepeated(5e9); }), 401);
    // 1.4: k = round(1 / 0.4) = 3 and 4.2 stays fractional.
    EXPECT_EQ(code_of([&] { nn.FindLeastNatNumRepeated(1.4); }), 401);
    // 1.3: k = 3 gives 3.9, whose fraction rounds below 0: truncated to 3.
    EXPECT_EQ(nn.FindLeastNatNumRepeated(1.3), 3u);
    EXPECT_DOUBLE_EQ(nn.LcmReal(8000, 11025), 3528000.0);
    EXPECT_DOUBLE_EQ(nn.LcmReal(44100, 8000), 3528000.0);
    EXPECT_DOUBLE_EQ(nn.LcmReal(16000, 8000), 16000.0);
    EXPECT_DOUBLE_EQ(nn.LcmReal(2.5, 1.5), 7.5);
}

TEST(RatePlanning, ReduceFactorListPairsOutsideIn) {
    SRMultiStageSRConverter c(SRSamplingRateConverterPars(8000, 11025, 16));
    EXPECT_EQ(c.ReduceFactorList({5, 2, 2, 2, 2, 2, 2}, 4), (Factors{10, 4, 4, 2}));
    EXPECT_EQ(c.ReduceFactorList({1, 2}, 1), (Factors{2}));
    // 7 down to 2 takes three rounds: [10, 4, 2, 2, 2], [20, 8, 2], [160, 2].
    EXPECT_EQ(c.ReduceFactorList({5, 2, 2, 2, 2, 2, 2}, 2), (Factors{160, 2}));
}

TEST(RatePlanning, StagePlans) {
    EXPECT_EQ(plan(8000, 11025), (Stages{{8000, 14000}, {14000, 21000}, {21000, 15750}, {15750, 11025}}));
    EXPECT_EQ(plan(44100, 8000),
              (Stages{{44100, 11025}, {11025, 15750}, {15750, 21000}, {21000, 14000}, {14000, 8000}}));
    EXPECT_EQ(plan(8000, 16000), (Stages{{8000, 16000}}));
    EXPECT_EQ(plan(16000, 8000), (Stages{{16000, 8000}}));
    EXPECT_EQ(plan(44100, 16000),
              (Stages{{44100, 22050}, {22050, 29400}, {29400, 16800}, {16800, 22400}, {22400, 16000}}));
    EXPECT_EQ(plan(16000, 44100),
              (Stages{{16000, 22400}, {22400, 16800}, {16800, 29400}, {29400, 22050}, {22050, 44100}}));
    EXPECT_EQ(plan(12000, 8000), (Stages{{12000, 16000}, {16000, 8000}}));
    EXPECT_TRUE(plan(16000, 16000).empty());
}

TEST(RatePlanning, ChainUnitsOfEightToElevenKilohertz) {
    SRMultiStageSRConverter c(SRSamplingRateConverterPars(8000, 11025, 16));
    const auto& stages = c.StageConverters();
    ASSERT_EQ(stages.size(), 4u);
    const std::pair<uint32_t, uint32_t> units[] = {{8, 14}, {4, 6}, {8, 6}, {20, 14}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(stages[i]->GetInputBufferUnitSize(), units[i].first) << i;
        EXPECT_EQ(stages[i]->GetOutputBufferUnitSize(), units[i].second) << i;
    }
    EXPECT_EQ(c.GetInputBufferUnitSize(), 640u);
    EXPECT_EQ(c.GetOutputBufferUnitSize(), 882u);
    EXPECT_EQ(c.InputUnitSamples(), 320u);
    EXPECT_EQ(c.OutputUnitSamples(), 441u);
    EXPECT_DOUBLE_EQ(c.CommonRate(), 3528000.0);
}

TEST(RatePlanning, EveryAcceptedRatePairPlansWholeRatesAndConsistentUnits) {
    const double rates[] = {8000, 11025, 12000, 16000, 22050, 32000, 44100, 64000, 88200, 176400};
    // Stage rates are products of ratios, so they are whole numbers up to
    // the last bits (12000 -> 117600.00000000001 -> 176400.00000000003);
    // the rate arithmetic reads them as whole.
    for (double from : rates) {
        for (double to : rates) {
            if (from == to) continue;
            SCOPED_TRACE(testing::Message() << from << " -> " << to);
            SRMultiStageSRConverter c(SRSamplingRateConverterPars(from, to, 16));
            ASSERT_FALSE(c.StageParams().empty());
            double current = from;
            for (const auto& p : c.StageParams()) {
                EXPECT_EQ(p->sourceRate, current);
                EXPECT_NEAR(p->destinationRate, std::round(p->destinationRate), 1e-6);
                current = p->destinationRate;
            }
            EXPECT_NEAR(current, to, 1e-6);
            // One chain unit spans the same time on both sides.
            EXPECT_DOUBLE_EQ(c.InputUnitSamples() / from, c.OutputUnitSamples() / to);
        }
    }
}

TEST(SimpleRateConverter, FactorsAndFilterSpecification) {
    SRSimpleSRConverter down(SRSamplingRateConverterPars(16000, 8000, 16));
    EXPECT_EQ(down.UpFactor(), 1u);
    EXPECT_EQ(down.DownFactor(), 2u);
    EXPECT_EQ(down.FilterOrder(), 6u);
    EXPECT_DOUBLE_EQ(down.FilterSpecification().passEdge, 4000.0);
    EXPECT_DOUBLE_EQ(down.FilterSpecification().designRate, 16000.0);
    EXPECT_EQ(down.A()[1], 1.0f);

    SRSimpleSRConverter wide(SRSamplingRateConverterPars(8000, 11025, 16));
    EXPECT_EQ(wide.UpFactor(), 441u);
    EXPECT_EQ(wide.DownFactor(), 320u);
    EXPECT_EQ(wide.GetInputBufferUnitSize(), 640u);
    EXPECT_EQ(wide.GetOutputBufferUnitSize(), 882u);
    EXPECT_DOUBLE_EQ(wide.FilterSpecification().passEdge, 4000.0);

    SRSimpleSRConverter same(SRSamplingRateConverterPars(8000, 8000, 16));
    EXPECT_EQ(same.FilterSpecification().bandKind, afc_filter::kNoFilter);
    EXPECT_EQ(same.FilterOrder(), 0u);
}

TEST(SimpleRateConverter, ConstructionErrors) {
    EXPECT_EQ(code_of([] { SRSimpleSRConverter c(SRSamplingRateConverterPars(0, 8000, 16)); }), 101);
    EXPECT_EQ(code_of([] { SRSimpleSRConverter c(SRSamplingRateConverterPars(8000, -1, 16)); }), 101);
    EXPECT_EQ(code_of([] { SRSimpleSRConverter c(SRSamplingRateConverterPars(8000, 16000, 12)); }), 102);
    // The base accepts 8 bits; the filtering stage does not.
    try {
        SRSimpleSRConverter c(SRSamplingRateConverterPars(8000, 16000, 8));
        FAIL();
    } catch (const SException& e) {
        EXPECT_EQ(e.Code(), 102);
        EXPECT_EQ(e.ClassName().view(), "SRSimpleSRConverter");
    }
    EXPECT_EQ(code_of([] { SRMultiStageSRConverter c(SRSamplingRateConverterPars(8000, 16000, 24)); }), 102);
}

namespace {

// A stage whose filter request asks for a pass band up to the Nyquist
// frequency, which no low-pass design can give.
class EdgeAtNyquist : public SRSimpleSRConverter {
public:
    using SRSimpleSRConverter::SRSimpleSRConverter;
    void SpecifyFilter() override {
        SRSimpleSRConverter::SpecifyFilter();
        m_spec.passEdge = m_spec.designRate / 2;
    }
};

}  // namespace

TEST(SimpleRateConverter, NoUsableDesignIsAnErrorNotASilentPassThrough) {
    EdgeAtNyquist c(SRSamplingRateConverterPars(16000, 8000, 16));
    try {
        c.Initialize();  // specifies again, through the override
        FAIL() << "a stage without filter was built";
    } catch (const SException& e) {
        EXPECT_EQ(e.Code(), 201);
        EXPECT_EQ(e.ClassName().view(), "SRSimpleSRConverter");
        EXPECT_EQ(e.Message().view(), "No usable filter design!");
    }
}
