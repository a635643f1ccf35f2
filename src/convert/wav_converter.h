// CWavConvert: the sample data of one WAV file rewritten into another wave
// format, buffer by buffer, through a chain of stages (wav_stages.h):
//
//     decode (codec -> PCM)  ->  rate and width (PCM -> PCM)  ->  encode (PCM -> codec)
//
// each there only when needed, or, for the tag 0x0120 pair 4000 -> 2400
// bytes/s, a direct cut of every 40-byte block to its first 24 bytes. The
// converter holds the source and destination files, reads the source in
// whole units of what the chain takes, runs each step through the stages
// and writes what the last one hands out. A source with one cue point gets
// a destination cue at the same time: the destination sample nearest to
// the source's cue sample.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "OrvaneVktapi.h"
#include "convert/wav_stages.h"
#include "platform/progress.h"
#include "wav/wav_file.h"

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

    // The stages that run, in their order, for callers that want to know.
    std::vector<vkt::convert::StageKind> stage_kinds() const;

private:
    uint32_t init_format_data(const WAVEFORMATEX* pwfDst_p);
    uint32_t init_streams();
    uint32_t init_buffers();
    // The bytes the stages behind the first decoder take as one unit.
    uint32_t chain_input_unit(uint32_t* pdwUnit);
    // Sizes every stage for source steps of dwBlock_p bytes.
    uint32_t size_stages(uint32_t dwBlock_p);
    // One step through the chain; *ppOut and *pdwDstSize_p: what the last
    // stage hands out.
    uint32_t process_conv_stream(uint32_t dwSrcSize_p, const uint8_t** ppOut, uint32_t* pdwDstSize_p,
                                 bool bLastBlock);
    // One pass over the source data; returns the destination bytes written
    // and adds the source bytes read to *pdwTotalRead.
    uint32_t run_pass(uint64_t* pdwTotalRead);
    // m_cueDst: the source cue's time in a destination of dwWritten_p bytes.
    void place_destination_cue(uint32_t dwWritten_p);

    std::unique_ptr<CWavFile> m_pWavFileSrc;
    std::unique_ptr<CWavFile> m_pWavFileDst;
    std::vector<uint8_t> m_pwaveformatexSrc;  // at least 18 bytes
    std::vector<uint8_t> m_pwaveformatexDst;  // 18 + cbSize bytes
    // The first 18 bytes of the source and destination formats.
    WAVEFORMATEX m_wfxSrc{};
    WAVEFORMATEX m_wfxDst{};

    vkt::convert::StageChain m_stages;

    // One step of source data, a whole number of m_dwSrcBlockAlignment.
    std::vector<uint8_t> m_pbySrcData;
    uint32_t m_dwSrcBlockAlignment = 0;
    uint32_t m_dwSrcFileDataSize = 0;
    uint32_t m_dwSrcFileDataBlockSize = 0;

    // The source's cue point and its place in the destination, when the source has one.
    std::optional<CuePoint> m_cueSrc;
    std::optional<CuePoint> m_cueDst;
    bool m_bWavToDss = false;
    vkt::Progress m_progress;
};

// The work of ORVKTWAVToWAV and of the format changes inside the other
// conversions: a 16-bit stereo PCM source is first mixed to mono into
// "<destination>_tmp.wav" (progress 0 to 40, the conversion then from 40);
// the LIST chunk and the cue point follow into the destination. A failure
// deletes the destination (unless it is the source) and the mixed file.
uint32_t VKTWAVToWAVInternal(const char* pcszWAVSrcFileName, const char* pcszWAVDstFileName,
                             const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback, intptr_t lCallback,
                             uint32_t dwProgressStart, uint32_t dwProgressEnd, bool bWavToDss);
