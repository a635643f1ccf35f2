// CWavConvert: the sample data of one WAV file rewritten into another wave
// format, buffer by buffer, through at most three stages:
//
//     decode (codec stream)  ->  PCM to PCM (AFC handle)  ->  encode (codec stream)
//
// or, for the tag 0x0120 pair 4000 -> 2400 bytes/s, a direct cut of every
// 40-byte block to its first 24 bytes. Every buffer is sized from the
// stages' own size predictions so that each stage receives whole blocks;
// when the decoder's output per source block is no whole number of the
// later stages' input blocks, a carry-over buffer holds the rest for the
// next step. A source with one cue point gets a destination cue at the
// same time: the destination sample nearest to the source's cue sample.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "OrvaneVktapi.h"
#include "afc/afc_stream.h"
#include "platform/acm.h"
#include "platform/progress.h"
#include "wav/CWAVFILE.h"

class CWavConvert {
public:
    CWavConvert();
    ~CWavConvert();
    CWavConvert(const CWavConvert&) = delete;
    CWavConvert& operator=(const CWavConvert&) = delete;

    // Opens the source, chooses the stages, opens them, sizes the buffers
    // and creates the destination (when pcszDst_p is given).
    uint32_t init(const char* pcszSrc_p, const char* pcszDst_p, const WAVEFORMATEX* pwfxDst_p,
                  ProgressCallback pfnCallback_p, intptr_t lCallback_p, uint32_t dwProgressStart_p,
                  uint32_t dwProgressEnd_p, bool bWavToDss_p);
    uint32_t conversion();
    void cleanup();

    // The cue point computed for the destination, or null without one.
    const CuePoint* destination_cue() const { return m_cueDst ? &*m_cueDst : nullptr; }

    // Which stages run, for callers that want to know.
    bool decodes() const { return m_bXfmtPcmConv; }
    bool resamples() const { return m_bAFCConv; }
    bool encodes() const { return m_bPcmYfmtConv; }
    bool transcodes_directly() const { return m_bDirectConv; }
    uint32_t source_block_size() const { return m_dwSrcFileDataBlockSize; }
    uint32_t afc_source_block_align() const { return m_dwAFCSrcBlockAlign; }

private:
    uint32_t init_format_data(const WAVEFORMATEX* pwfDst_p);
    uint32_t init_streams();
    uint32_t init_buffers();
    // The buffer sizes of every stage for source steps of dwBlock_p bytes.
    uint32_t size_stages(uint32_t dwBlock_p);
    void init_src_block_alignment();
    uint32_t init_afcsrc_block_alignment();
    uint32_t process_conv_stream(uint32_t dwSrcSize_p, uint32_t* pdwDstSize_p, bool bLastBlock);
    // One pass over m_dwBytesToConvert bytes; returns the destination bytes
    // written and adds the source bytes read to *pdwTotalRead.
    uint32_t run_pass(uint64_t* pdwTotalRead);
    // m_cueDst: the source cue's time in a destination of dwWritten_p bytes.
    void place_destination_cue(uint32_t dwWritten_p);
    // Input and output rate and block alignment of the PCM-to-PCM stage.
    void afc_formats(const WAVEFORMATEX** ppIn, const WAVEFORMATEX** ppOut) const;
    uint32_t encoder_input_per_block(uint32_t* pdwBytes);
    void release_buffers();

    std::unique_ptr<CWavFile> m_pWavFileSrc;
    std::unique_ptr<CWavFile> m_pWavFileDst;
    std::vector<uint8_t> m_pwaveformatexSrc;  // at least 18 bytes
    std::vector<uint8_t> m_pwaveformatexDst;  // 18 + cbSize bytes
    WAVEFORMATEX m_wfxAFCSrc{};
    WAVEFORMATEX m_wfxAFCDst{};
    AFC_HANDLE m_hAFC = nullptr;
    HACMSTREAM m_hAcmXfmtPcm = nullptr;
    HACMSTREAM m_hAcmPcmYfmt = nullptr;
    bool m_bAFCConv = false;
    bool m_bXfmtPcmConv = false;
    bool m_bPcmYfmtConv = false;
    bool m_bDirectConv = false;

    bool m_bAdditionalBuffer = false;
    std::vector<uint8_t> m_pbyAdditionalData;
    uint32_t m_dwAdditionalSize = 0;
    uint32_t m_dwAdditionalFill = 0;
    uint32_t m_dwAdditionalRest = 0;

    // The encoder takes whole blocks of PCM; what the PCM-to-PCM stage
    // delivers beyond them waits here for the next step.
    std::vector<uint8_t> m_pbyEncodeData;
    uint32_t m_dwEncodeUnit = 0;
    uint32_t m_dwEncodeFill = 0;

    std::vector<uint8_t> m_pbySrcData;
    std::vector<uint8_t> m_pbyDstData;
    std::vector<uint8_t> m_pbyAFCSrcData;
    std::vector<uint8_t> m_pbyAFCDstData;
    uint32_t m_dwSrcBlockAlignment = 0;
    uint32_t m_dwAFCSrcBlockAlign = 0;
    uint32_t m_dwSrcFileDataSize = 0;
    uint32_t m_dwSrcFileDataBlockSize = 0;
    uint32_t m_dwDstBufferSize = 0;
    uint32_t m_dwAFCSrcBufferSize = 0;
    uint32_t m_dwAFCDstBufferSize = 0;
    uint32_t m_dwBytesToConvert = 0;

    // The source's cue point and its place in the destination, when the source has one.
    std::optional<CuePoint> m_cueSrc;
    std::optional<CuePoint> m_cueDst;
    bool m_bWavToDss = false;
    vkt::Progress m_progress;

    // The first 18 bytes of the source and destination formats.
    WAVEFORMATEX m_wfxSrc{};
    WAVEFORMATEX m_wfxDst{};
};

// The work of ORVKTWAVToWAV and of the format changes inside the other
// conversions: a 16-bit stereo PCM source is first mixed to mono into
// "<destination>_tmp.wav" (progress 0 to 40, the conversion then from 40);
// the LIST chunk and the cue point follow into the destination. A failure
// deletes the destination (unless it is the source) and the mixed file.
uint32_t VKTWAVToWAVInternal(const char* pcszWAVSrcFileName, const char* pcszWAVDstFileName,
                             const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback, intptr_t lCallback,
                             uint32_t dwProgressStart, uint32_t dwProgressEnd, bool bWavToDss);
