#include "afc/format_chain.h"

#include <algorithm>
#include <cstdint>

#include "afc/support.h"

// ---- the chain -----------------------------------------------------------------

namespace {

// The PCM format a compressed type decodes to or encodes from.
bool codec_pcm_side(int32_t type, AudioFormatSide& side) {
    if (type == afc_type::kCodec98 || type == afc_type::kCodec120) {
        side.rate = 16000.0;
        side.bits = 16;
        return true;
    }
    if (type == afc_type::kCodec120At8000) {
        side.rate = 8000.0;
        side.bits = 16;
        return true;
    }
    return false;
}

}  // namespace

SRMultiAFConverter::SRMultiAFConverter(const SRAFConverterPars& pars)
    : SRMultiBufferUnitConverter(pars) {
    if (const auto* pcm = dynamic_cast<const SRPCMConverterParams*>(&pars)) m_rateConverterKind = pcm->rateConverterKind;
    Initialize();
}

void SRMultiAFConverter::PlanStages() {
    m_stagePars.clear();
    AudioFormatSide f1, f2;  // PCM, rate 0, bits 0, mono
    if (m_source.type == afc_type::kPCM)
        f1 = m_source;
    else
        codec_pcm_side(m_source.type, f1);
    if (m_destination.type == afc_type::kPCM) {
        f2.rate = m_destination.rate;
        f2.bits = m_destination.bits;
        f2.mono = m_destination.mono;
    } else {
        codec_pcm_side(m_destination.type, f2);
    }
    if (m_source.type != afc_type::kPCM) m_stagePars.push_back(MakeStageParams(m_source, f1));
    if (!(f1 == f2)) m_stagePars.push_back(MakeStageParams(f1, f2));
    if (!(f2 == m_destination)) m_stagePars.push_back(MakeStageParams(f2, m_destination));
}

std::unique_ptr<SRAFConverterPars> SRMultiAFConverter::MakeStageParams(const AudioFormatSide& a,
                                                                       const AudioFormatSide& b) {
    if (a.type == afc_type::kPCM && b.type == afc_type::kPCM)
        return std::make_unique<SRPCMConverterParams>(a, b, m_rateConverterKind != 0 ? m_rateConverterKind : 2);
    return std::make_unique<SRAFConverterPars>(a, b);
}

void SRMultiAFConverter::CreateConverter(const SRAFConverterPars& record) {
    if (record.source.type == afc_type::kPCM && record.destination.type == afc_type::kPCM) {
        auto stage = std::make_unique<SRPCMConverter>(record);
        if (stage->SourceFormat().type != afc_type::kPCM || stage->DestinationFormat().type != afc_type::kPCM)
            throw SException(afc_error::kConverterMismatch, "SRPCMConverter", "SRPCMConverter",
                             "Converter or parameter mismatch!");
        stage->Initialize();
        m_stages.push_back(std::move(stage));
    } else {
        m_stages.push_back(std::make_unique<SRAFTypeConverter>(record));
    }
}

// ---- input of any length --------------------------------------------------------

namespace {

// A size beyond 32 bits is reported as the largest count, which no buffer
// of the caller can match.
uint32_t saturated(uint64_t bytes) { return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX)); }

}  // namespace

SRFreeInputAFConverter::SRFreeInputAFConverter(const SRAFConverterPars& pars)
    : SRAFConverter(pars),
      m_chain(std::make_unique<SRMultiAFConverter>(pars)),
      m_carrier(std::make_unique<SRDataBlockFlowConverter<SRJBuffer>>(m_chain->GetInputBufferUnitSize())) {}

SRFreeInputAFConverter::~SRFreeInputAFConverter() = default;

void SRFreeInputAFConverter::Convert(SRJBuffer& in, SRJBuffer& out) {
    const std::lock_guard lock(m_mutex);
    const uint32_t whole = m_carrier->Take(in, m_work);
    if (whole > 0)
        m_chain->Convert(m_work, out);
    else
        out.SetSizeBytes(0);
}

uint32_t SRFreeInputAFConverter::GetOutputSizeFor(const uint32_t& inputBytes) {
    const std::lock_guard lock(m_mutex);
    const uint64_t unitIn = m_chain->GetInputBufferUnitSize();
    const uint64_t unitOut = m_chain->GetOutputBufferUnitSize();
    return saturated((inputBytes + unitIn - 1) / unitIn * unitOut);
}
