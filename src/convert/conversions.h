// The DSS conversions behind the exports. Each answers with a result code,
// traces as the export it serves, and leaves a finished destination or none.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"

namespace vkt::convert {

// DSS/DS2 -> WAV in the destination format (null: the codec's own PCM),
// decrypting with the password where the source is encrypted.
uint32_t dss_to_wav(const char* pcszDSSFileName, const char* pcszWAVFileName, const WAVEFORMATEX* pwfxDst,
                    ProgressCallback pfnCallback, intptr_t lCallback, const char* pcszPassword);
// WAV -> DSS/DS2 in the mode the destination format names; sHeaders picks
// the header the new file carries.
uint32_t wav_to_dss(const char* pcszWAVFileName, const char* pcszDSSFileName, const WAVEFORMATEX* pwfxDst,
                    int16_t sHeaders, ProgressCallback pfnCallback, intptr_t lCallback);
// DSS/DS2 -> DSS/DS2 in another mode, through PCM.
uint32_t dss_to_dss(const char* pcszSrcFileName, const char* pcszDstFileName, const WAVEFORMATEX* pwfxDst,
                    ProgressCallback pfnCallback, intptr_t lCallback, const char* pcszPassword);

}  // namespace vkt::convert
