#include "afc/SRAFTypeConverter.h"

#include "afc/SException.h"

SRAFTypeConverter::SRAFTypeConverter(const SRAFConverterPars& pars) : SRBufferUnitConverter<SRAFConverter>(pars) {
    // Its units would be 0, which no unit arithmetic can use; refuse it
    // rather than build a stage that divides by zero.
    RaiseNotSupportedWaveFormat("SRAFTypeConverter");
}
