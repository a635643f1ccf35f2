// CDssConvert: audio between a DSS/DS2 file and a WAV file.
//
// Decoding (init, conversion): every stored frame of the DSS file goes
// through one codec stream into 16-bit mono PCM, frame by frame, into a new
// WAV file; the spoken-instruction markers follow.
//
// Packing (initEncryption, encryption): a WAV file whose data chunk already
// holds codec blocks of the DSS codec (tag 0x0121) is cut into frames and
// packed, unchanged, into the data blocks of a new DSS/DS2 file; the
// dictation header and the markers the WAV file carries are copied over.
//
// Both directions run inside one call of VKTDSSToWAVInternal or
// VKTWavToDssInternal: construct, initialise, convert, cleanup.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"
#include "platform/acm.h"
#include "platform/progress.h"
#include "wav/wav_file.h"

class CDssConvert {
public:
    CDssConvert();
    ~CDssConvert();
    CDssConvert(const CDssConvert&) = delete;
    CDssConvert& operator=(const CDssConvert&) = delete;

    // Decoding. dwSampleRate_p is the PCM rate for compression ids 0 and 1.
    uint32_t init(const char* pcszDSSFileName_p, const char* pcszWAVFileName_p, ProgressCallback pfnCallback_p,
                  intptr_t lCallback_p, uint32_t dwSampleRate_p, const char* pcszPassword_p);
    uint32_t conversion();

    // Packing; the WAV holds tag 0x0121 data at 8000, 12000 or 16000 blocks/s.
    uint32_t initEncryption(const char* pcszWAVFileName_p, const char* pcszDSSFileName_p, int16_t sHeaders_p,
                            ProgressCallback pfnCallback_p, intptr_t lCallback_p);
    uint32_t encryption();

    // Closes the codec stream and both files; safe to call twice.
    void cleanup();

    // The destination as derived by init / initEncryption.
    const char* destination() const { return m_szDestPath; }

private:
    void init_format_data(uint8_t byCompressionId_p);
    void open_acm_stream();
    // Runs one frame (or, with bEnd_p and no bytes, the end of the stream)
    // through the codec stream into m_abyPcm; returns the PCM bytes it gave.
    uint32_t decode_frame(uint32_t dwFrameBytes_p, bool bEnd_p = false);
    void carry_markers();
    void take_over_wav_header(int16_t sHeaders_p);
    void take_over_wav_markers(int16_t sHeaders_p);
    uint32_t write_header_block(int nNrOfFileheader_p);

    std::unique_ptr<CDssFile> m_pDssFile;
    std::unique_ptr<CWavFile> m_pWavFile;
    HACMSTREAM m_hAcmStream = nullptr;
    char m_szDestPath[260] = {};
    std::string m_strSrcPath;  // the source, for the metadata readers
    uint8_t m_abyFrame[DSS_MAX_CODEC_BLOCK] = {};
    uint8_t m_abyPcm[768] = {};
    WAVEFORMATEX m_wfxSrc{};
    WAVEFORMATEX m_wfxDst{};
    vkt::Progress m_progress;
    uint32_t m_dwSampleRate = 0;
    uint32_t m_dwPcmBlockSize = 0;
    uint32_t m_dwFrameCounter = 0;
};

// DSS/DS2 file to a 16-bit mono PCM WAV file, progress 0 to 50. A failure
// deletes pcszWAVFileName.
uint32_t VKTDSSToWAVInternal(const char* pcszDSSFileName, const char* pcszWAVFileName, ProgressCallback pfnCallback,
                             intptr_t lCallback, uint32_t dwSampleRate, const char* pcszPassword);

// WAV file of DSS codec blocks to a DSS/DS2 file with sHeaders header blocks,
// progress 50 to 100. A failure deletes pcszWAVFileName, the caller's
// temporary input.
uint32_t VKTWavToDssInternal(const char* pcszWAVFileName, const char* pcszDSSFileName, int16_t sHeaders,
                             ProgressCallback pfnCallback, intptr_t lCallback);
