#include "afc/sample_formats.h"

#include <cstring>
#include <utility>

#include "afc/support.h"

SRAFConverter::SRAFConverter(const SRAFConverterPars& pars) {
    if (pars.source.rate <= 0.0 || pars.destination.rate <= 0.0) RaiseInvalidWaveFormat("SRAFConverter");
    if (!pars.source.mono || !pars.destination.mono) RaiseNotSupportedWaveFormat("SRAFConverter");
    m_source = pars.source;
    m_destination = pars.destination;
}

SRBitConverter::SRBitConverter(const SRBitConverterParams& pars)
    : m_sourceBits(pars.sourceBits), m_destinationBits(pars.destinationBits) {
    auto usable = [](uint32_t bits) { return bits == 8 || bits == 16; };
    if (!usable(m_sourceBits) || !usable(m_destinationBits))
        throw SException(afc_error::kNotSupportedBits, "SRBitConverter", "SRBitConverter", "Not supported parameters!");
}

uint32_t SRBitConverter::SwapDirection() {
    std::swap(m_sourceBits, m_destinationBits);
    return m_sourceBits;
}

void SRBitConverter::Convert(SRJBuffer& in, SRJBuffer& out) {
    if (m_sourceBits == 8 && m_destinationBits == 16) {
        const uint32_t n = in.GetSizeBytes();
        out.SetSizeBytes(2 * n);
        if (n == 0) return;
        const uint8_t* src = in.GetBufferPtr();
        uint8_t* dst = out.GetBufferPtr();
        for (uint32_t i = 0; i < n; ++i) {
            // (byte - 128) * 256 as a little-endian word: low byte 0, high
            // byte the input with its top bit flipped.
            dst[2 * i] = 0;
            dst[2 * i + 1] = static_cast<uint8_t>(src[i] ^ 0x80u);
        }
    } else if (m_sourceBits == 16 && m_destinationBits == 8) {
        const uint32_t n = in.GetSizeBytes() / 2;
        out.SetSizeBytes(n);
        if (n == 0) return;
        const uint8_t* src = in.GetBufferPtr();
        uint8_t* dst = out.GetBufferPtr();
        for (uint32_t i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>(src[2 * i + 1] ^ 0x80u);
    } else {
        out = in;
    }
}

SRPCMConverter::SRPCMConverter(const SRAFConverterPars& pars) : SRConverterProvidingBufferUnitSizes(pars) {
    if (const auto* pcm = dynamic_cast<const SRPCMConverterParams*>(&pars)) m_rateConverterKind = pcm->rateConverterKind;
}

SRPCMConverter::~SRPCMConverter() = default;

void SRPCMConverter::Initialize() {
    const auto s = static_cast<uint32_t>(m_source.bits);
    const auto d = static_cast<uint32_t>(m_destination.bits);
    m_bitConverter.reset();
    m_rateConverter.reset();
    if (s != 16 || d != 16) {
        // An 8-to-8 stage widens, resamples and narrows with one converter.
        const uint32_t wide = (s == 8 && d == 8) ? 16 : d;
        m_bitConverter = std::make_unique<SRBitConverter>(SRBitConverterParams(s, wide));
    }
    const SRSamplingRateConverterPars rates(m_source.rate, m_destination.rate, 16);
    if (m_source.rate != m_destination.rate) {
        if (m_rateConverterKind == 1)
            m_rateConverter = std::make_unique<SRSimpleSRConverter>(rates);
        else if (m_rateConverterKind == 2)
            m_rateConverter = std::make_unique<SRMultiStageSRConverter>(rates);
    }
    UpdateBufferUnits();
}

void SRPCMConverter::UpdateBufferUnits() {
    const auto sourceBytes = static_cast<uint32_t>(m_source.bits) / 8;
    const auto destinationBytes = static_cast<uint32_t>(m_destination.bits) / 8;
    if (m_rateConverter) {
        // The rate converter counts 16-bit samples.
        m_inputBufferUnit = m_rateConverter->GetInputBufferUnitSize() / 2 * sourceBytes;
        m_outputBufferUnit = m_rateConverter->GetOutputBufferUnitSize() / 2 * destinationBytes;
    } else {
        m_inputBufferUnit = sourceBytes;
        m_outputBufferUnit = destinationBytes;
    }
}

void SRPCMConverter::RateConvert(SRJBuffer& x, SRJBuffer& y) {
    if (m_rateConverter) {
        m_rateConverter->Convert(x, y);
    } else if (&x == &m_wide) {
        // The widened samples stand for a buffer made for this call alone, so
        // only its size counts against the destination.
        if (y.HasOuterStorage() && x.GetSizeBytes() > y.GetCapacityBytes())
            throw SException(afc_error::kBufferNotCopied, "SRJBuffer", "operator=", "Buffer can not copied!");
        y.SetSizeBytes(x.GetSizeBytes());
        if (x.GetSizeBytes()) std::memcpy(y.GetBufferPtr(), x.GetBufferPtr(), x.GetSizeBytes());
    } else {
        y = x;
    }
}

void SRPCMConverter::Convert(SRJBuffer& in, SRJBuffer& out) {
    const bool narrowSource = m_source.bits != 16;
    const bool narrowDestination = m_destination.bits != 16;
    if (!narrowSource && !narrowDestination) {
        RateConvert(in, out);
    } else if (!narrowSource) {
        RateConvert(in, m_resampled);
        m_bitConverter->Convert(m_resampled, out);
    } else if (!narrowDestination) {
        m_bitConverter->Convert(in, m_wide);
        RateConvert(m_wide, out);
    } else {
        m_bitConverter->Convert(in, m_wide);
        RateConvert(m_wide, m_resampled);
        m_bitConverter->SwapDirection();
        try {
            m_bitConverter->Convert(m_resampled, out);
        } catch (...) {
            m_bitConverter->SwapDirection();
            throw;
        }
        m_bitConverter->SwapDirection();
    }
}

SRAFTypeConverter::SRAFTypeConverter(const SRAFConverterPars& pars) : SRBufferUnitConverter<SRAFConverter>(pars) {
    // Its units would be 0, which no unit arithmetic can use; refuse it
    // rather than build a stage that divides by zero.
    RaiseNotSupportedWaveFormat("SRAFTypeConverter");
}
