#include "afc/SRConverter.h"

#include "afc/SException.h"

SRAFConverter::SRAFConverter(const SRAFConverterPars& pars) {
    if (pars.source.rate <= 0.0 || pars.destination.rate <= 0.0) RaiseInvalidWaveFormat("SRAFConverter");
    if (!pars.source.mono || !pars.destination.mono) RaiseNotSupportedWaveFormat("SRAFConverter");
    m_source = pars.source;
    m_destination = pars.destination;
}
