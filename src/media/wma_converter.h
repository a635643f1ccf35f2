// CWmaConvert: a WMA file decoded into a 16-bit mono PCM WAV file at the
// WMA's sampling rate, one second of audio per step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "media/wma_file.h"
#include "wav/wav_file.h"

class CWmaConvert {
public:
    CWmaConvert();
    ~CWmaConvert();
    CWmaConvert(const CWmaConvert&) = delete;
    CWmaConvert& operator=(const CWmaConvert&) = delete;

    // Opens the WMA file and creates the WAV file. Progress of the
    // conversion runs from 0 to 50.
    uint32_t init(const char* pcszWMAFileName_p, const char* pcszWAVFileName_p, ProgressCallback pfnCallback_p,
                  intptr_t lCallback_p);
    // Decodes everything into the WAV file and finishes it. On failure
    // (cancel included) the WAV file is deleted.
    uint32_t conversion();

private:
    void remove_destination();

    std::unique_ptr<CWmaFile> m_pWmaFile;
    std::unique_ptr<CWavFile> m_pWavFile;
    std::string m_strWavFileName;
    std::vector<uint8_t> m_pbyAcmSrcBuffer;
    ProgressCallback m_pfnCallback = nullptr;
    intptr_t m_lCallback = 0;
    uint32_t m_dwProgressStart = 0;
    uint32_t m_dwProgressRange = 50;
};

// The WMA file's first channel as 16-bit mono PCM into a new WAV file
// (progress 0 to 50); no WAV file is left behind on failure.
uint32_t VKTWMAToWAVInternal(const char* pcszWMAFileName, const char* pcszWAVFileName, ProgressCallback pfnCallback,
                             intptr_t lCallback);
