#include "afc/rate_stages.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

#include "afc/support.h"

// ---- the common base ----------------------------------------------------------

SRSamplingRateConverter::SRSamplingRateConverter(const SRSamplingRateConverterPars& pars)
    : m_sourceRate(pars.sourceRate), m_destinationRate(pars.destinationRate), m_bits(pars.bits) {
    if (pars.sourceRate <= 0.0 || pars.destinationRate <= 0.0) RaiseInvalidWaveFormat("SRSamplingRateConverter");
    if (pars.bits != 8 && pars.bits != 16) RaiseNotSupportedWaveFormat("SRSamplingRateConverter");
}

void SRSamplingRateConverter::Initialize() {
    SRNaturalNumberUtils& nn = NaturalNumbers();
    m_commonRate = nn.LcmReal(m_sourceRate, m_destinationRate);
    m_up = nn.RoundToNatural(m_commonRate / m_sourceRate);
    m_down = nn.RoundToNatural(m_commonRate / m_destinationRate);
    m_inputUnitSamples = m_down;
    m_outputUnitSamples = m_up;
    GetInputBufferUnitSize() = m_bits / 8 * m_down;
    GetOutputBufferUnitSize() = m_bits / 8 * m_up;
}

void SRSamplingRateConverter::Convert(SRJBuffer& in, SRJBuffer& out) {
    if (m_inputUnitSamples == m_outputUnitSamples)
        out = in;
    else
        SRBufferUnitConverter::Convert(in, out);
}

void SRSamplingRateConverter::CompleteLastUnit(SRJBuffer& buffer) {
    const uint32_t n = buffer.GetSizeBytes();
    m_partial.SetSizeBytes(n);
    std::memcpy(m_partial.GetBufferPtr(), buffer.GetBufferPtr(), n);
    buffer.ReleaseBuffer();
    const uint32_t unit = GetInputBufferUnitSize();
    buffer.SetSizeBytes(unit);
    uint8_t* p = buffer.GetBufferPtr();
    std::memcpy(p, m_partial.GetBufferPtr(), n);
    // Byte-wise repetition of the last byte, not of the last sample.
    std::memset(p + n, m_partial.GetBufferPtr()[n - 1], unit - n);
}

// ---- one stage -----------------------------------------------------------------

namespace {

using afc_samples::load_sample;
using afc_samples::store_sample;

struct Phases {
    uint32_t up;
    uint32_t down;
};

// The recursion of any order over the arrays, from any phase; the fast
// loops take order 6 from the start of an input sample: the same recursion over the arrays.
Phases filter_any(int n, const float* a, const float* b, float* s, const uint8_t* in, uint32_t samples,
                  uint8_t* out, uint32_t L, uint32_t M, Phases ph) {
    const float gain = static_cast<float>(L);
    uint32_t inIndex = 0;
    const uint64_t steps = static_cast<uint64_t>(samples) * L;
    uint32_t up = ph.up, down = ph.down;
    for (uint64_t step = 0; step < steps; ++step) {
        const float x = (up == 0) ? load_sample(in + 2 * inIndex++) : 0.0f;
        float y;
        if (n == 0) {
            y = b[1] * x;
        } else {
            y = b[1] * x + s[1];
            for (int k = 1; k < n; ++k) s[k] = (b[k + 1] * x - a[k + 1] * y) + s[k + 1];
            s[n] = b[n + 1] * x - a[n + 1] * y;
        }
        if (down == 0) {
            store_sample(out, gain, y);
            out += 2;
        }
        if (++up == L) up = 0;
        if (++down == M) down = 0;
    }
    return {up, down};
}

}  // namespace

SRSimpleSRConverter::SRSimpleSRConverter(const SRSamplingRateConverterPars& pars) : SRSamplingRateConverter(pars) {
    if (m_bits != 16) RaiseNotSupportedWaveFormat("SRSimpleSRConverter");
    SRSamplingRateConverter::Initialize();
    SpecifyFilter();
    DesignAndInstall();
}

void SRSimpleSRConverter::SpecifyFilter() {
    if (m_up == 1 && m_down == 1) {
        m_spec.bandKind = afc_filter::kNoFilter;
        return;
    }
    m_spec.designRate = m_commonRate;
    m_spec.passEdge = std::min(m_commonRate / 2.0 / m_down, m_commonRate / 2.0 / m_up);
    m_spec.stopEdge = 1.3 * m_spec.passEdge;
    m_spec.order = 6;
    m_spec.ripple = 1.0;
    m_spec.attenuation = 60.0;
    m_spec.family = afc_filter::kElliptic;
    m_spec.bandKind = afc_filter::kLowPass;
}

void SRSimpleSRConverter::DesignAndInstall() {
    const bool designed = m_designer.Design(m_spec, m_denominator, m_numerator);
    if (m_up == 1 && m_down == 1) return;  // a copying stage needs no filter
    const size_t len = m_denominator.size();
    if (!designed || len < 2 || m_numerator.size() != len || m_denominator[1] == 0.0f)
        throw SException(afc_error::kNoFilterDesign, "SRSimpleSRConverter", "SRSimpleSRConverter",
                         "No usable filter design!");
    m_order = static_cast<uint16_t>(len - 2);
    m_a = m_denominator;
    m_b = m_numerator;
    const float lead = m_a[1];
    if (lead != 1.0f) {
        for (size_t i = 1; i < len; ++i) {
            m_a[i] /= lead;
            m_b[i] /= lead;
        }
    }
    m_s.assign(static_cast<size_t>(m_order) + 1, 0.0f);
}

void SRSimpleSRConverter::Initialize() {
    SRSamplingRateConverter::Initialize();
    SpecifyFilter();
    DesignAndInstall();
}

void SRSimpleSRConverter::ConvertUnits(SRJBuffer& in, SRJBuffer& out) {
    const uint32_t units = in.GetSizeBytes() / GetInputBufferUnitSize();
    out.SetSizeBytes(units * GetOutputBufferUnitSize());
    const uint32_t samples = in.GetSizeBytes() / 2;
    if (samples == 0) return;
    const uint8_t* src = in.GetBufferPtr();
    uint8_t* dst = out.GetBufferPtr();
    SRFilterTask task;
    if (MakeFilterTask(task)) {
        task.in = src;
        task.samples = samples;
        task.out = dst;
        afc_kernel::RunOrder6(task);
        return;
    }
    const Phases end = filter_any(m_order, m_a.data(), m_b.data(), m_s.data(), src, samples, dst, m_up, m_down,
                                  {m_upPhase, m_downPhase});
    m_upPhase = end.up;
    m_downPhase = end.down;
}

bool SRSimpleSRConverter::MakeFilterTask(SRFilterTask& task) {
    if (m_order != 6 || m_upPhase != 0) return false;
    task.a = m_a.data();
    task.b = m_b.data();
    task.s = m_s.data();
    task.L = m_up;
    task.M = m_down;
    task.downPhase = &m_downPhase;
    return true;
}

// ---- the chain of stages ------------------------------------------------------

namespace {

struct PrePostRow {
    double source, destination;
    bool pre;
    double from, to;
};

// Power-of-two steps that bring a far rate next to the other one first.
constexpr PrePostRow kPrePost[] = {
    {176400, 64000, true, 176400, 88200},  {176400, 32000, true, 176400, 44100},
    {88200, 32000, true, 88200, 44100},    {176400, 16000, true, 176400, 22050},
    {88200, 16000, true, 88200, 22050},    {44100, 16000, true, 44100, 22050},
    {176400, 8000, true, 176400, 11025},   {88200, 8000, true, 88200, 11025},
    {44100, 8000, true, 44100, 11025},     {64000, 22050, true, 64000, 32000},
    {64000, 11025, true, 64000, 16000},    {32000, 11025, true, 32000, 16000},
    {64000, 176400, false, 88200, 176400}, {32000, 176400, false, 44100, 176400},
    {32000, 88200, false, 44100, 88200},   {16000, 176400, false, 22050, 176400},
    {16000, 88200, false, 22050, 88200},   {16000, 44100, false, 22050, 44100},
    {8000, 176400, false, 11025, 176400},  {8000, 88200, false, 11025, 88200},
    {8000, 44100, false, 11025, 44100},    {22050, 64000, false, 32000, 64000},
    {11025, 64000, false, 16000, 64000},   {11025, 32000, false, 16000, 32000},
};

struct MiddlePath {
    double rIn, rOut;
    double rates[5];
    int count;
};

// Pairs whose factor pairing would need large factors go a fixed way.
constexpr MiddlePath kMiddlePaths[] = {
    {16000, 22050, {16000, 22400, 16800, 29400, 22050}, 5},
    {22050, 16000, {22050, 29400, 16800, 22400, 16000}, 5},
    {16000, 11025, {16000, 12000, 16800, 12600, 11025}, 5},
    {11025, 16000, {11025, 12600, 16800, 12000, 16000}, 5},
    {12000, 8000, {12000, 16000, 8000}, 3},
};

template <typename T>
void sort_descending(std::vector<T>& v) {
    std::stable_sort(v.begin(), v.end(), std::greater<T>());
}

}  // namespace

SRMultiStageSRConverter::SRMultiStageSRConverter(const SRSamplingRateConverterPars& pars)
    : SRMultiBufferUnitConverter(pars) {
    Initialize();
}

void SRMultiStageSRConverter::Initialize() {
    SRMultiBufferUnitConverter::Initialize();
    m_inputUnitSamples = GetInputBufferUnitSize() / (m_bits / 8);
    m_outputUnitSamples = GetOutputBufferUnitSize() / (m_bits / 8);
}

void SRMultiStageSRConverter::PlanStages() {
    if (m_sourceRate == m_destinationRate) {
        m_stagePars.clear();
        return;
    }
    PlanRateStages();
}

void SRMultiStageSRConverter::CreateConverter(const SRSamplingRateConverterPars& record) {
    m_stages.push_back(std::make_unique<SRSimpleSRConverter>(record));
}

SRMultiStageSRConverter::PrePostStages SRMultiStageSRConverter::ChoosePrePostStages(double source,
                                                                                     double destination) {
    PrePostStages s;
    for (const PrePostRow& row : kPrePost) {
        if (row.source != source || row.destination != destination) continue;
        if (row.pre) {
            s.preIn = row.from;
            s.preOut = row.to;
        } else {
            s.postIn = row.from;
            s.postOut = row.to;
        }
        break;
    }
    return s;
}

SRMultiStageSRConverter::FactorList SRMultiStageSRConverter::ReduceFactorList(const FactorList& list, size_t target) {
    const size_t n = list.size();
    if (target < n - target) {
        FactorList shorter;
        for (size_t i = 0; i < target; ++i) shorter.push_back(list[i] * list[2 * target - 1 - i]);
        for (size_t i = 2 * target; i < n; ++i) shorter.push_back(list[i]);
        return ReduceFactorList(shorter, target);
    }
    const size_t k = n - target;
    FactorList result;
    for (size_t i = 0; i < k; ++i) result.push_back(list[i] * list[2 * k - 1 - i]);
    for (size_t i = 2 * k; i < n; ++i) result.push_back(list[i]);
    return result;
}

void SRMultiStageSRConverter::PlanRateStages() {
    SRNaturalNumberUtils& nn = NaturalNumbers();
    const PrePostStages pp = ChoosePrePostStages(m_sourceRate, m_destinationRate);
    double rIn = m_sourceRate, rOut = m_destinationRate;
    if (pp.preOut > 1.0)
        rIn = pp.preOut;
    else if (pp.postIn > 1.0)
        rOut = pp.postIn;

    const double c0 = nn.LcmReal(rIn, rOut);
    const uint32_t l0 = nn.RoundToNatural(c0 / rIn);
    const uint32_t m0 = nn.RoundToNatural(c0 / rOut);
    // The overall factors are kept for reporting; the chain's units decide.
    m_down = static_cast<uint32_t>(m0 * pp.preIn / pp.preOut);
    m_up = static_cast<uint32_t>(l0 * pp.postOut / pp.postIn);
    m_commonRate = nn.LcmReal(m_sourceRate, m_destinationRate);

    FactorList up, down;
    nn.Factorize(l0, up);
    nn.Factorize(m0, down);
    if (up.size() > down.size())
        up = ReduceFactorList(up, down.size());
    else if (down.size() > up.size())
        down = ReduceFactorList(down, up.size());
    sort_descending(up);
    sort_descending(down);
    std::vector<double> ratios;
    for (size_t i = 0; i < up.size(); ++i) ratios.push_back(static_cast<double>(up[i]) / down[i]);
    sort_descending(ratios);

    m_stagePars.clear();
    double current = m_sourceRate;
    if (pp.preIn > 1.0) {
        AddStage(pp.preIn, pp.preOut);
        current = pp.preOut;
    }
    BuildMiddleStages(rIn, rOut, ratios, current);
    if (pp.postIn > 1.0) {
        AddStage(pp.postIn, pp.postOut);
        current = pp.postOut;
    }
}

void SRMultiStageSRConverter::BuildMiddleStages(double rIn, double rOut, const std::vector<double>& ratios,
                                                double& current) {
    for (const MiddlePath& path : kMiddlePaths) {
        if (path.rIn != rIn || path.rOut != rOut) continue;
        for (int i = 0; i + 1 < path.count; ++i) AddStage(path.rates[i], path.rates[i + 1]);
        current = path.rates[path.count - 1];
        return;
    }
    for (double r : ratios) {
        AddStage(current, current * r);
        current *= r;
    }
}

void SRMultiStageSRConverter::AddStage(double from, double to) {
    m_stagePars.push_back(std::make_unique<SRSamplingRateConverterPars>(from, to, m_bits));
}

void SRMultiStageSRConverter::ConvertUnits(SRJBuffer& in, SRJBuffer& out) {
    if (m_stages.size() < 2 || !ConvertPipelined(in, out)) SRMultiBufferUnitConverter::ConvertUnits(in, out);
}

bool SRMultiStageSRConverter::ConvertPipelined(SRJBuffer& in, SRJBuffer& out) {
    const size_t stages = m_stages.size();
    const uint32_t unitIn = GetInputBufferUnitSize();
    const uint32_t units = in.GetSizeBytes() / unitIn;
    if (units == 0) return false;

    // Kept between calls, like the pipe buffers: no allocation per call.
    std::vector<SRFilterTask>& base = m_stageTasks;
    std::vector<uint32_t>& perUnit = m_samplesPerUnit;
    base.resize(stages);
    perUnit.resize(stages + 1);
    perUnit[0] = unitIn / 2;
    for (size_t k = 0; k < stages; ++k) {
        auto* stage = dynamic_cast<SRSimpleSRConverter*>(m_stages[k].get());
        if (!stage || !stage->MakeFilterTask(base[k])) return false;
        perUnit[k + 1] = perUnit[k] / base[k].M * base[k].L;
    }

    if (afc_kernel::ActiveLanes() != afc_kernel::Lanes::kScalar && stages <= afc_kernel::LaneChain::kMaxStages) {
        m_laneStages.resize(stages);
        for (size_t k = 0; k < stages; ++k)
            m_laneStages[k] = {base[k].a, base[k].b, base[k].s, base[k].L, base[k].M, base[k].downPhase};
        out.SetSizeBytes(units * GetOutputBufferUnitSize());
        m_laneChain.Run(m_laneStages.data(), stages, in.GetBufferPtr(), static_cast<size_t>(units) * perUnit[0],
                        out.GetBufferPtr());
        return true;
    }
    if (units < 2) return false;

    // Short blocks: the rounds that fill and drain the pipeline, where fewer
    // stages have work, are a small part of a call of a second or so.
    const uint32_t block = std::max<uint32_t>(1, 512 / perUnit[0]);
    const uint32_t blocks = (units + block - 1) / block;
    out.SetSizeBytes(units * GetOutputBufferUnitSize());
    const uint8_t* src = in.GetBufferPtr();
    uint8_t* dst = out.GetBufferPtr();
    m_pipe.resize(2 * (stages - 1));
    for (size_t k = 0; k + 1 < stages; ++k)
        for (int p = 0; p < 2; ++p) m_pipe[2 * k + p].resize(static_cast<size_t>(perUnit[k + 1]) * block * 2);

    for (uint32_t round = 0; round < blocks + stages - 1; ++round) {
        m_tasks.clear();
        for (size_t k = 0; k < stages; ++k) {
            if (round < k || round - k >= blocks) continue;
            const uint32_t j = static_cast<uint32_t>(round - k);
            const uint32_t n = std::min(block, units - j * block);
            SRFilterTask task = base[k];
            task.samples = n * perUnit[k];
            task.in = (k == 0) ? src + static_cast<size_t>(j) * block * perUnit[0] * 2
                               : m_pipe[2 * (k - 1) + (round - 1) % 2].data();
            task.out = (k + 1 == stages) ? dst + static_cast<size_t>(j) * block * perUnit[stages] * 2
                                         : m_pipe[2 * k + round % 2].data();
            m_tasks.push_back(task);
        }
        // Longest first: the lane that finishes early takes the next one, and
        // the two lanes end close together.
        std::stable_sort(m_tasks.begin(), m_tasks.end(), [](const SRFilterTask& x, const SRFilterTask& y) {
            return static_cast<uint64_t>(x.samples) * x.L > static_cast<uint64_t>(y.samples) * y.L;
        });
        afc_kernel::RunOrder6Tasks(m_tasks.data(), m_tasks.size());
    }
    return true;
}
