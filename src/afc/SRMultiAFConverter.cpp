#include "afc/SRMultiAFConverter.h"

#include "afc/SException.h"
#include "afc/SRAFTypeConverter.h"
#include "afc/SRPCMConverter.h"

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
