// The stage between a compressed stream type and PCM. No codec lives in
// this library, so such a stage cannot be built: construction raises 102.
#pragma once

#include "afc/SRConverter.h"

class SRAFTypeConverter : public SRBufferUnitConverter<SRAFConverter> {
public:
    explicit SRAFTypeConverter(const SRAFConverterPars& pars);

    void Reset() override {}
    void Initialize() override {}
    void ConvertUnits(SRJBuffer&, SRJBuffer&) override {}
    void CompleteLastUnit(SRJBuffer&) override {}
};
