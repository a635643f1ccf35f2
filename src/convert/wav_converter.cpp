#include "convert/wav_converter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "convert/codec_stage.h"
#include "convert/conv_entry.h"
#include "convert/format_queries.h"
#include "platform/fileio.h"
#include "platform/temp_file.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "tools/stereo.h"
#include "wav/chunk_utilities.h"

VKT_TRACE_UNIT("Cwavconv");

using vkt::raise;

namespace {

constexpr uint16_t kTagDictation120 = 0x0120;
constexpr uint16_t kTagDictation98 = 0x0098;
constexpr uint32_t kMaxSourceFormat = 2000;
// Bytes read from the source per step: about one second, but never more
// than this, whatever rate the file declares; all buffers of a step
// together stay within the budget.
constexpr uint64_t kMaxReadBlock = 1u << 20;
constexpr uint32_t kBufferBudget = 32u << 20;
// size_stages: a stage would need more than the budget.
constexpr uint32_t kBlockTooLarge = 0xFFFFFFFFu;
// Transcoded blocks of the tag 0x0120 pair.
constexpr uint32_t kTranscodeIn = 40;
constexpr uint32_t kTranscodeOut = 24;
// The probe of the DSS encoder: one frame of PCM into one codec block.
constexpr uintptr_t kProbeUser = 18785;
constexpr uint32_t kProbePcmBytes = 576;
constexpr uint32_t kProbeCodecBytes = 42;

bool is_direct_pair(const WAVEFORMATEX& s, const WAVEFORMATEX& d) {
    return s.wFormatTag == kTagDictation120 && s.nChannels == 1 && s.nSamplesPerSec == 16000 &&
           s.nAvgBytesPerSec == 4000 && s.nBlockAlign == 40 && s.wBitsPerSample == 0 && s.cbSize == 2 &&
           d.wFormatTag == kTagDictation120 && d.nChannels == 1 && d.nSamplesPerSec == 16000 &&
           d.nAvgBytesPerSec == 2400 && d.nBlockAlign == 24 && d.wBitsPerSample == 0 && d.cbSize == 2;
}

template <typename T>
void allocate(std::vector<T>& buffer, uint32_t size, const char* what) {
    try {
        buffer.assign(size, 0);
    } catch (const std::bad_alloc&) {
        VKT_TRACE_ERROR(VKT_ERR_OUT_OF_MEMORY, what);
        raise(VKT_ERR_OUT_OF_MEMORY);
    }
}

}  // namespace

CWavConvert::CWavConvert() {
    VKT_TRACE_TEXT("-----CWavConvert::CWavConvert()");
    m_progress.end = 100;
}

CWavConvert::~CWavConvert() {
    VKT_TRACE_TEXT("-----CWavConvert::~CWavConvert()");
    cleanup();
}

void CWavConvert::release_buffers() {
    m_pbySrcData.clear();
    m_pbySrcData.shrink_to_fit();
    m_pbyDstData.clear();
    m_pbyDstData.shrink_to_fit();
    m_pbyAFCSrcData.clear();
    m_pbyAFCSrcData.shrink_to_fit();
    m_pbyAFCDstData.clear();
    m_pbyAFCDstData.shrink_to_fit();
    m_pbyAdditionalData.clear();
    m_pbyAdditionalData.shrink_to_fit();
    m_pbyEncodeData.clear();
    m_pbyEncodeData.shrink_to_fit();
}

void CWavConvert::cleanup() {
    VKT_TRACE_TEXT("-----CWavConvert::cleanup()");
    if (m_hAFC) {
        AFC_streamClose(&m_hAFC);
        m_hAFC = nullptr;
    }
    if (m_hAcmXfmtPcm) {
        acmStreamClose(m_hAcmXfmtPcm, 0);
        m_hAcmXfmtPcm = nullptr;
    }
    if (m_hAcmPcmYfmt) {
        acmStreamClose(m_hAcmPcmYfmt, 0);
        m_hAcmPcmYfmt = nullptr;
    }
    m_pWavFileSrc.reset();
    m_pWavFileDst.reset();
    release_buffers();
    m_pwaveformatexSrc.clear();
    m_pwaveformatexDst.clear();
    m_cueSrc.reset();
    m_cueDst.reset();
}

// ---- init ------------------------------------------------------------------

uint32_t CWavConvert::init(const char* pcszSrc_p, const char* pcszDst_p, const WAVEFORMATEX* pwfxDst_p,
                           ProgressCallback pfnCallback_p, intptr_t lCallback_p, uint32_t dwProgressStart_p,
                           uint32_t dwProgressEnd_p, bool bWavToDss_p) {
    VKT_TRACE_TEXT("-----CWavConvert::init(...)");
    VKT_TRACE_PARAM("pcszSrc_p", "%s", pcszSrc_p);
    VKT_TRACE_PARAM("pcszDst_p", "%s", pcszDst_p);
    VKT_TRACE_PARAM("dwProgressStart_p", "%lu", dwProgressStart_p);
    VKT_TRACE_PARAM("dwProgressEnd_p", "%lu", dwProgressEnd_p);
    try {
        m_progress = vkt::Progress{pfnCallback_p, lCallback_p, dwProgressStart_p, dwProgressEnd_p,
                                   vkt::Rounding::ShareFirst, vkt::kCancelByMemberCallback};
        m_bWavToDss = bWavToDss_p;

        m_pWavFileSrc = std::make_unique<CWavFile>();
        m_pWavFileSrc->open_file(pcszSrc_p, MMIO_READ | MMIO_DENYWRITE);
        CuePoint cue{};
        if (m_pWavFileSrc->read_cue_chunk(&cue) == VKT_OK) {
            m_cueSrc = cue;
            m_cueDst = CuePoint{};
        }

        m_pWavFileSrc->get_sizeof_data(&m_dwSrcFileDataSize);
        m_dwBytesToConvert = m_dwSrcFileDataSize;
        VKT_TRACE_VALUE("m_dwSrcFileDataSize", "%lu", m_dwSrcFileDataSize);

        if (uint32_t rc = init_format_data(pwfxDst_p)) {
            VKT_TRACE_ERROR(rc, "by init_format_data(.)");
            raise(rc);
        }
        if (m_dwSrcFileDataSize != 0) {
            if (uint32_t rc = init_streams()) {
                VKT_TRACE_ERROR(rc, "by open_conv_stream()");
                raise(rc);
            }
            if (uint32_t rc = init_buffers()) raise(rc);
        }
        if (pcszDst_p) {
            m_pWavFileDst = std::make_unique<CWavFile>();
            m_pWavFileDst->create_new_wave_file(pcszDst_p, MMIO_CREATE | MMIO_READWRITE | MMIO_EXCLUSIVE,
                                                reinterpret_cast<const WAVEFORMATEX*>(m_pwaveformatexDst.data()));
        }
        return VKT_OK;
    }
    VKT_CATCH_RETURN("catched in CWavConvert::init()")
}

uint32_t CWavConvert::init_format_data(const WAVEFORMATEX* pwfDst_p) {
    VKT_TRACE_TEXT("-----CWavConvert::init_format_data(.)");
    uint32_t fmt_size = 0;
    m_pWavFileSrc->get_sizeof_format(&fmt_size);
    allocate(m_pwaveformatexSrc, std::max<uint32_t>(fmt_size, sizeof(WAVEFORMATEX)),
             "GetLastError() after HeapAlloc() source format structure");
    if (uint32_t rc = m_pWavFileSrc->read_format(m_pwaveformatexSrc.data(), fmt_size)) {
        VKT_TRACE_ERROR(rc, "Error reading source WAV format");
        return rc;
    }
    std::memcpy(&m_wfxSrc, m_pwaveformatexSrc.data(), sizeof m_wfxSrc);
    // A 16-byte fmt chunk has no cbSize: it reads as 0.
    if (fmt_size < sizeof(WAVEFORMATEX)) m_wfxSrc.cbSize = 0;

    if (pwfDst_p) {
        const uint32_t size = sizeof(WAVEFORMATEX) + pwfDst_p->cbSize;
        allocate(m_pwaveformatexDst, size, "GetLastError() after HeapAlloc() destination format structure");
        // The extra bytes of the 0x0120 and 0x0098 codecs are not taken over.
        const bool plain = pwfDst_p->wFormatTag == kTagDictation120 || pwfDst_p->wFormatTag == kTagDictation98;
        std::memcpy(m_pwaveformatexDst.data(), pwfDst_p, plain ? sizeof(WAVEFORMATEX) : size);
    } else {
        m_pwaveformatexDst.assign(m_pwaveformatexSrc.begin(), m_pwaveformatexSrc.end());
    }
    std::memcpy(&m_wfxDst, m_pwaveformatexDst.data(), sizeof m_wfxDst);

    if (VKTSameWaveFormat(m_wfxSrc, m_wfxDst)) {
        VKT_TRACE_ERROR(VKT_ERR_SAME_WAVFMT, "Source and destination format identical");
        return VKT_ERR_SAME_WAVFMT;
    }

    const bool src_pcm = m_wfxSrc.wFormatTag == WAVE_FORMAT_PCM;
    const bool dst_pcm = m_wfxDst.wFormatTag == WAVE_FORMAT_PCM;
    if (src_pcm && dst_pcm) {
        m_bAFCConv = true;
    } else if (!src_pcm && dst_pcm) {
        m_bXfmtPcmConv = true;
        m_bAFCConv = true;
        if (uint32_t rc = suggest_conv_format(&m_wfxSrc, &m_wfxAFCSrc)) {
            VKT_TRACE_ERROR(rc, "Error acm suggest format");
            return rc;
        }
        if (VKTSameWaveFormat(m_wfxAFCSrc, m_wfxDst)) {
            m_bAFCConv = false;
            m_wfxAFCSrc.wFormatTag = 0;
        }
    } else if (src_pcm && !dst_pcm) {
        m_bAFCConv = true;
        m_bPcmYfmtConv = true;
        if (uint32_t rc = suggest_conv_format(&m_wfxDst, &m_wfxAFCDst)) {
            VKT_TRACE_ERROR(rc, "Error acm suggest format");
            return rc;
        }
        if (VKTSameWaveFormat(m_wfxAFCDst, m_wfxSrc)) {
            m_bAFCConv = false;
            m_wfxAFCDst.wFormatTag = 0;
        }
    } else if (is_direct_pair(m_wfxSrc, m_wfxDst)) {
        m_bDirectConv = true;
    } else {
        m_bXfmtPcmConv = true;
        m_bAFCConv = true;
        m_bPcmYfmtConv = true;
        if (uint32_t rc = suggest_conv_format(&m_wfxSrc, &m_wfxAFCSrc)) {
            VKT_TRACE_ERROR(rc, "Error acm suggest format");
            return rc;
        }
        if (uint32_t rc = suggest_conv_format(&m_wfxDst, &m_wfxAFCDst)) {
            VKT_TRACE_ERROR(rc, "Error acm suggest format");
            return rc;
        }
        if (VKTSameWaveFormat(m_wfxAFCSrc, m_wfxAFCDst)) {
            m_bAFCConv = false;
            m_wfxAFCDst.wFormatTag = 0;
        }
    }
    VKT_TRACE_VALUE("m_pwaveformatexSrc -> wFormatTag", "%u", m_wfxSrc.wFormatTag);
    VKT_TRACE_VALUE("m_wfxAFCSrc.wFormatTag", "%u", m_wfxAFCSrc.wFormatTag);
    VKT_TRACE_VALUE("m_wfxAFCDst.wFormatTag", "%u", m_wfxAFCDst.wFormatTag);
    return VKT_OK;
}

void CWavConvert::afc_formats(const WAVEFORMATEX** ppIn, const WAVEFORMATEX** ppOut) const {
    *ppIn = m_bXfmtPcmConv ? &m_wfxAFCSrc : &m_wfxSrc;
    *ppOut = m_bPcmYfmtConv ? &m_wfxAFCDst : &m_wfxDst;
}

uint32_t CWavConvert::init_streams() {
    VKT_TRACE_TEXT("-----CWavConvert::init_streams(.)");
    if (m_bXfmtPcmConv) {
        const WAVEFORMATEX* to = (m_bAFCConv || m_bPcmYfmtConv) ? &m_wfxAFCSrc : &m_wfxDst;
        const MMRESULT mmr = acmStreamOpen(&m_hAcmXfmtPcm, nullptr, reinterpret_cast<WAVEFORMATEX*>(m_pwaveformatexSrc.data()),
                                           to, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
        if (mmr != MMSYSERR_NOERROR) {
            m_hAcmXfmtPcm = nullptr;
            VKT_TRACE_ERROR(mmr, "Error opening acm_xfmt_pcm driver");
            return VKT_ERR_CODEC;
        }
    }
    if (m_bAFCConv) {
        const WAVEFORMATEX *in = nullptr, *out = nullptr;
        afc_formats(&in, &out);
        const uint16_t res = AFC_streamOpen(&m_hAFC, in, out);
        if (res != 0) {
            m_hAFC = nullptr;
            VKT_TRACE_ERROR(res, "Error opening afc_pcm_pcm driver");
            return VKT_ERR_CODEC;
        }
    }
    if (m_bPcmYfmtConv) {
        const WAVEFORMATEX* from = m_bAFCConv ? &m_wfxAFCDst : m_bXfmtPcmConv ? &m_wfxAFCSrc : &m_wfxSrc;
        const MMRESULT mmr = acmStreamOpen(&m_hAcmPcmYfmt, nullptr, from,
                                           reinterpret_cast<WAVEFORMATEX*>(m_pwaveformatexDst.data()), nullptr, 0,
                                           0, ACM_STREAMOPENF_NONREALTIME);
        if (mmr != MMSYSERR_NOERROR) {
            m_hAcmPcmYfmt = nullptr;
            VKT_TRACE_ERROR(mmr, "Error opening acm_xfmt_pcm driver");
            return VKT_ERR_CODEC;
        }
        if (m_wfxDst.wFormatTag == WAVE_FORMAT_DSS_SP && m_bWavToDss) {
            // Preparing one header tells whether the encoder takes buffers
            // of one frame before any data is read.
            uint8_t pcm[kProbePcmBytes] = {};
            uint8_t codec[kProbeCodecBytes] = {};
            ACMSTREAMHEADER header{};
            header.cbStruct = sizeof header;
            header.dwUser = kProbeUser;
            header.pbSrc = pcm;
            header.cbSrcLength = sizeof pcm;
            header.pbDst = codec;
            header.cbDstLength = sizeof codec;
            if (MMRESULT p = acmStreamPrepareHeader(m_hAcmPcmYfmt, &header, 0)) {
                VKT_TRACE_ERROR(p, "by acmStreamPrepareHeader(...)");
                return VKT_ERR_CODEC;
            }
            if (MMRESULT u = acmStreamUnprepareHeader(m_hAcmPcmYfmt, &header, 0)) {
                VKT_TRACE_ERROR(u, "by acmStreamUnprepareHeader(..)");
                raise(VKT_ERR_CODEC);
            }
        }
    }
    return VKT_OK;
}

void CWavConvert::init_src_block_alignment() {
    m_dwSrcBlockAlignment = m_wfxSrc.nBlockAlign;
    VKT_TRACE_VALUE("*pdwSrcBlockAlign", "%lu", m_dwSrcBlockAlignment);
}

uint32_t CWavConvert::encoder_input_per_block(uint32_t* pdwBytes) {
    return size_conv_stream(pdwBytes, m_wfxDst.nBlockAlign, &m_hAFC, m_hAcmXfmtPcm, m_hAcmPcmYfmt);
}

uint32_t CWavConvert::init_afcsrc_block_alignment() {
    // E: the bytes the last stage takes as one unit.
    uint32_t e = m_wfxDst.nBlockAlign;
    if (m_bPcmYfmtConv) {
        if (m_wfxDst.wFormatTag == WAVE_FORMAT_MPEGLAYER3) {
            const WAVEFORMATEX& feed = m_bAFCConv ? m_wfxAFCDst : m_bXfmtPcmConv ? m_wfxAFCSrc : m_wfxSrc;
            e = feed.nBlockAlign;
        } else if (uint32_t rc = encoder_input_per_block(&e)) {
            VKT_TRACE_ERROR(rc, "Error calculating destination block alignment at acm source side");
            return rc;
        }
    }
    if (!m_bAFCConv) {
        m_dwAFCSrcBlockAlign = e;
    } else {
        const WAVEFORMATEX *in = nullptr, *out = nullptr;
        afc_formats(&in, &out);
        uint32_t g = 0;
        if (!InternalEuklidAlgorithm(in->nSamplesPerSec, out->nSamplesPerSec, 1, &g)) return VKT_ERR_INVALID_WAVFMT;
        // Block alignments and rates come from the file: the products are
        // formed in 64 bits and a unit beyond the buffer budget is refused.
        const uint64_t in_unit = uint64_t{in->nBlockAlign} * (in->nSamplesPerSec / g);
        uint64_t unit = in_unit;
        if (m_bPcmYfmtConv) {
            const uint64_t q = uint64_t{out->nBlockAlign} * (out->nSamplesPerSec / g);
            uint32_t l = 0;
            if (q == 0 || q > UINT32_MAX || !InternalEuklidAlgorithm(static_cast<uint32_t>(q), e, 2, &l))
                return VKT_ERR_INVALID_WAVFMT;
            unit = in_unit * (l / q);
        }
        if (unit > kBufferBudget) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "source block alignment too large");
            return VKT_ERR_INVALID_WAVFMT;
        }
        m_dwAFCSrcBlockAlign = static_cast<uint32_t>(unit);
    }
    VKT_TRACE_VALUE("*pdwAFCSrcBlockAlign", "%lu", m_dwAFCSrcBlockAlign);
    return m_dwAFCSrcBlockAlign == 0 ? VKT_ERR_INVALID_WAVFMT : VKT_OK;
}

uint32_t CWavConvert::size_stages(uint32_t dwBlock_p) {
    m_bAdditionalBuffer = false;
    m_dwAdditionalSize = m_dwAdditionalFill = m_dwAdditionalRest = 0;
    m_dwDstBufferSize = m_dwAFCSrcBufferSize = m_dwAFCDstBufferSize = 0;
    m_dwEncodeUnit = m_dwEncodeFill = 0;
    m_dwSrcFileDataBlockSize = dwBlock_p;
    if (m_bDirectConv) {
        m_dwDstBufferSize = dwBlock_p / kTranscodeIn * kTranscodeOut;
        return VKT_OK;
    }
    // A stage that would need more than the whole budget makes the caller
    // try a smaller block; the sums below then cannot wrap.
    auto too_large = [](uint32_t size) { return size > kBufferBudget; };
    uint32_t d1 = 0;
    if (m_bXfmtPcmConv) {
        if (size_conv_stream(intconv::XFMT_PCM_CONV, dwBlock_p, &d1, &m_hAFC, m_hAcmXfmtPcm, m_hAcmPcmYfmt) !=
            VKT_OK) {
            VKT_TRACE_ERROR(VKT_ERR_CODEC, "by size_conv_stream()");
            return VKT_ERR_CODEC;
        }
        if (too_large(d1)) return kBlockTooLarge;
        if (m_bAFCConv || m_bPcmYfmtConv)
            m_dwAFCSrcBufferSize = d1;
        else
            m_dwDstBufferSize = d1;
    }
    // A decoder with a filter delay gives less than its blocks' share at
    // first and the rest when the stream ends: room for one more decoded
    // block, and a carry-over buffer that evens out the pieces.
    uint32_t decode_tail = 0;
    if (m_bXfmtPcmConv && size_conv_stream(intconv::XFMT_PCM_CONV, m_wfxSrc.nBlockAlign, &decode_tail, &m_hAFC,
                                           m_hAcmXfmtPcm, m_hAcmPcmYfmt) != VKT_OK) {
        VKT_TRACE_ERROR(VKT_ERR_CODEC, "by size_conv_stream()");
        return VKT_ERR_CODEC;
    }
    if (too_large(decode_tail)) return kBlockTooLarge;
    if (m_dwAFCSrcBufferSize) m_dwAFCSrcBufferSize += decode_tail;
    else if (m_bXfmtPcmConv) m_dwDstBufferSize += decode_tail;
    if (m_bXfmtPcmConv && (m_bAFCConv || m_bPcmYfmtConv)) {
        m_bAdditionalBuffer = true;
        m_dwAdditionalSize = d1 + decode_tail + 2 * m_dwAFCSrcBlockAlign;
    }
    const uint32_t before_afc = m_bAdditionalBuffer ? m_dwAdditionalSize
                                : m_bXfmtPcmConv    ? d1
                                                    : dwBlock_p;
    uint32_t d2 = 0;
    if (m_bAFCConv) {
        if (uint32_t rc =
                size_conv_stream(intconv::AFC_CONV, before_afc, &d2, &m_hAFC, m_hAcmXfmtPcm, m_hAcmPcmYfmt)) {
            VKT_TRACE_ERROR(rc, "by size_conv_stream()");
            return rc;
        }
        if (too_large(d2)) return kBlockTooLarge;
        if (m_bPcmYfmtConv)
            m_dwAFCDstBufferSize = d2;
        else
            m_dwDstBufferSize = d2;
    }
    if (m_bPcmYfmtConv && m_bAFCConv) {
        // A rate change in several stages delivers its output in pieces
        // that need not be whole encoder blocks: room for one more block
        // that waits for the next step.
        if (encoder_input_per_block(&m_dwEncodeUnit) != VKT_OK || m_dwEncodeUnit == 0) {
            VKT_TRACE_ERROR(VKT_ERR_CODEC, "Error calculating destination block alignment at acm source side");
            return VKT_ERR_CODEC;
        }
        if (too_large(m_dwEncodeUnit)) return kBlockTooLarge;
    }
    if (m_bPcmYfmtConv) {
        const uint32_t before_encode = m_bAFCConv ? d2 + m_dwEncodeUnit : before_afc;
        if (size_conv_stream(intconv::PCM_YFMT_CONV, before_encode, &m_dwDstBufferSize, &m_hAFC, m_hAcmXfmtPcm,
                             m_hAcmPcmYfmt) != VKT_OK) {
            VKT_TRACE_ERROR(VKT_ERR_CODEC, "by size_conv_stream()");
            return VKT_ERR_CODEC;
        }
        if (too_large(m_dwDstBufferSize)) return kBlockTooLarge;
        // An encoder with a look-ahead hands out its last block when the
        // stream ends.
        m_dwDstBufferSize += m_wfxDst.nBlockAlign;
    }
    // Every step writes into the destination buffer.
    if (m_dwDstBufferSize == 0) {
        VKT_TRACE_ERROR(VKT_ERR_CODEC, "destination buffer size 0");
        return VKT_ERR_CODEC;
    }
    return VKT_OK;
}

uint32_t CWavConvert::init_buffers() {
    VKT_TRACE_TEXT("-----CWavConvert::init_buffers(.)");
    release_buffers();
    m_bAdditionalBuffer = false;
    m_dwAdditionalSize = m_dwAdditionalFill = m_dwAdditionalRest = 0;
    m_dwDstBufferSize = m_dwAFCSrcBufferSize = m_dwAFCDstBufferSize = 0;
    m_dwEncodeUnit = m_dwEncodeFill = 0;

    init_src_block_alignment();
    if (uint32_t rc = init_afcsrc_block_alignment()) {
        VKT_TRACE_ERROR(rc, "Error calculating source PCM block alignment");
        return rc;
    }
    if (!m_bXfmtPcmConv && !m_bDirectConv) {
        m_dwSrcBlockAlignment = m_dwAFCSrcBlockAlign;
        VKT_TRACE_VALUE("Update m_dwSrcBlockAlignment:", "%lu", m_dwSrcBlockAlignment);
    }
    if (m_dwSrcBlockAlignment == 0) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "source block alignment is 0");
        return VKT_ERR_INVALID_WAVFMT;
    }
    // About one second of source, in whole blocks. The second is what the
    // file declares, so it is capped: by kMaxReadBlock, and by the data
    // there is (rounded up to a whole block, so that a short recording is
    // still read in one step).
    const uint64_t align = m_dwSrcBlockAlignment;
    uint64_t second = std::min<uint64_t>(m_wfxSrc.nAvgBytesPerSec, kMaxReadBlock);
    const uint64_t held = (static_cast<uint64_t>(m_dwSrcFileDataSize) + align - 1) / align * align;
    if (second > held) second = held;
    uint64_t block = second > align ? second / align * align : align;
    // Smaller blocks until every buffer fits into the budget together.
    for (;;) {
        if (block > kBufferBudget) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "source block alignment too large");
            return VKT_ERR_INVALID_WAVFMT;
        }
        const uint32_t rc = size_stages(static_cast<uint32_t>(block));
        if (rc == VKT_OK) {
            const uint64_t total = block + uint64_t{m_dwDstBufferSize} + m_dwAFCSrcBufferSize + m_dwAdditionalSize +
                                   m_dwAFCDstBufferSize + (m_dwEncodeUnit ? uint64_t{m_dwAFCDstBufferSize} + m_dwEncodeUnit : 0);
            if (total <= kBufferBudget) break;
        } else if (rc != kBlockTooLarge) {
            return rc;
        }
        if (block <= align) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "no block of the source fits the conversion's buffers");
            return VKT_ERR_INVALID_WAVFMT;
        }
        block = std::max(align, block / 2 / align * align);
    }
    VKT_TRACE_VALUE("m_dwSrcFileDataBlockSize", "%lu", m_dwSrcFileDataBlockSize);
    allocate(m_pbySrcData, m_dwSrcFileDataBlockSize, "GetLastError() after HeapAlloc() source data buffer");
    if (m_dwEncodeUnit)
        allocate(m_pbyEncodeData, m_dwAFCDstBufferSize + m_dwEncodeUnit,
                 "GetLastError() after HeapAlloc() encoder input buffer");
    VKT_TRACE_VALUE("m_dwDstBufferSize", "%lu", m_dwDstBufferSize);
    allocate(m_pbyDstData, m_dwDstBufferSize, "GetLastError() after HeapAlloc() destination data buffer");
    if (m_dwAFCSrcBufferSize)
        allocate(m_pbyAFCSrcData, m_dwAFCSrcBufferSize, "GetLastError() after HeapAlloc() afc source data buffer");
    if (m_dwAdditionalSize)
        allocate(m_pbyAdditionalData, m_dwAdditionalSize, "GetLastError() after HeapAlloc() additional data buffer");
    if (m_dwAFCDstBufferSize)
        allocate(m_pbyAFCDstData, m_dwAFCDstBufferSize, "GetLastError() after HeapAlloc() afc destination data buffer");
    return VKT_OK;
}

// ---- conversion --------------------------------------------------------------

uint32_t CWavConvert::process_conv_stream(uint32_t dwSrcSize_p, uint32_t* pdwDstSize_p, bool bLastBlock) {
    VKT_TRACE_TEXT("-----CWavConvert::process_conv_stream()");
    *pdwDstSize_p = 0;
    uint8_t* const dst = m_pbyDstData.data();
    const uint32_t dst_size = m_dwDstBufferSize;
    if (m_bDirectConv) {
        if (uint32_t rc = process_single_stream(intconv::XFMT_BLOCK_CONV, m_pbySrcData.data(), dwSrcSize_p, dst,
                                                dst_size, pdwDstSize_p, &m_hAFC, m_hAcmXfmtPcm, m_hAcmPcmYfmt)) {
            *pdwDstSize_p = 0;
            VKT_TRACE_ERROR(rc, "Error processing XFMT_PCM_CONV stream");
            return rc;
        }
        VKT_TRACE_VALUE("*pdwDstSize_p", "%lu", *pdwDstSize_p);
        return VKT_OK;
    }

    // The input of the next stage.
    const uint8_t* data = m_pbySrcData.data();
    uint32_t length = dwSrcSize_p;
    uint32_t used = 0;  // carry-over bytes handed on in this step

    if (m_bXfmtPcmConv) {
        const bool more = m_bAFCConv || m_bPcmYfmtConv;
        uint8_t* out = more ? m_pbyAFCSrcData.data() : dst;
        const uint32_t out_size = more ? m_dwAFCSrcBufferSize : dst_size;
        uint32_t produced = 0;
        if (uint32_t rc = process_single_stream(intconv::XFMT_PCM_CONV, data, length, out, out_size, &produced,
                                                &m_hAFC, m_hAcmXfmtPcm, m_hAcmPcmYfmt)) {
            VKT_TRACE_ERROR(rc, "Error processing XFMT_PCM_CONV stream");
            return rc;
        }
        if (bLastBlock) {
            uint32_t tail = 0;
            if (uint32_t rc = flush_single_stream(intconv::XFMT_PCM_CONV, out + produced, out_size - produced, &tail,
                                                  m_hAcmXfmtPcm, m_hAcmPcmYfmt))
                return rc;
            produced += tail;
        }
        if (!more) {
            *pdwDstSize_p = produced;
            VKT_TRACE_VALUE("*pdwDstSize_p", "%lu", *pdwDstSize_p);
            return VKT_OK;
        }
        data = out;
        length = produced;
    }

    if (m_bAdditionalBuffer) {
        if (length > m_dwAdditionalSize - m_dwAdditionalFill) {
            VKT_TRACE_ERROR(VKT_ERR_CONVERSION, "additional data buffer too small");
            return VKT_ERR_CONVERSION;
        }
        std::memcpy(m_pbyAdditionalData.data() + m_dwAdditionalFill, data, length);
        const uint32_t total = m_dwAdditionalFill + length;
        used = total / m_dwAFCSrcBlockAlign * m_dwAFCSrcBlockAlign;
        m_dwAdditionalRest = total - used;
        data = m_pbyAdditionalData.data();
        length = used;
    } else if (m_bXfmtPcmConv) {
        length = length / m_dwAFCSrcBlockAlign * m_dwAFCSrcBlockAlign;
    }

    if (m_bAFCConv) {
        if (bLastBlock) {
            const WAVEFORMATEX *in = nullptr, *out = nullptr;
            afc_formats(&in, &out);
            uint32_t g = 0;
            if (InternalEuklidAlgorithm(in->nSamplesPerSec, out->nSamplesPerSec, 1, &g)) {
                const uint32_t unit = in->nBlockAlign * (in->nSamplesPerSec / g);
                if (unit) length = length / unit * unit;
            }
        }
        uint8_t* out = m_bPcmYfmtConv ? m_pbyAFCDstData.data() : dst;
        const uint32_t out_size = m_bPcmYfmtConv ? m_dwAFCDstBufferSize : dst_size;
        uint32_t produced = 0;
        if (uint32_t rc = process_single_stream(intconv::AFC_CONV, data, length, out, out_size, &produced, &m_hAFC,
                                                m_hAcmXfmtPcm, m_hAcmPcmYfmt)) {
            VKT_TRACE_ERROR(rc, "Error processing AFC_CONV stream");
            return rc;
        }
        data = out;
        length = produced;
    }

    uint32_t encode_used = 0;
    if (m_bPcmYfmtConv && m_dwEncodeUnit) {
        std::memcpy(m_pbyEncodeData.data() + m_dwEncodeFill, data, length);
        const uint32_t total = m_dwEncodeFill + length;
        encode_used = total / m_dwEncodeUnit * m_dwEncodeUnit;
        m_dwEncodeFill = total;
        data = m_pbyEncodeData.data();
        length = encode_used;
    }
    if (m_bPcmYfmtConv) {
        if (bLastBlock) {
            uint32_t unit = 0;
            if (encoder_input_per_block(&unit) != VKT_OK || unit == 0)
                VKT_TRACE_ERROR(VKT_ERR_CODEC, "Error calculating destination block alignment at acm source side");
            else
                length = length / unit * unit;
        }
        uint32_t produced = 0;
        if (uint32_t rc = process_single_stream(intconv::PCM_YFMT_CONV, data, length, dst, dst_size, &produced,
                                                &m_hAFC, m_hAcmXfmtPcm, m_hAcmPcmYfmt)) {
            VKT_TRACE_ERROR(rc, "Error processing PCM_YFMT_CONV stream");
            return rc;
        }
        if (bLastBlock) {
            uint32_t tail = 0;
            if (uint32_t rc = flush_single_stream(intconv::PCM_YFMT_CONV, dst + produced, dst_size - produced, &tail,
                                                  m_hAcmXfmtPcm, m_hAcmPcmYfmt))
                return rc;
            produced += tail;
        }
        length = produced;
    }
    *pdwDstSize_p = length;

    if (m_dwEncodeUnit) {
        const uint32_t rest = bLastBlock ? 0 : m_dwEncodeFill - encode_used;
        std::memmove(m_pbyEncodeData.data(), m_pbyEncodeData.data() + encode_used, rest);
        m_dwEncodeFill = rest;
    }
    if (!bLastBlock && m_bAdditionalBuffer) {
        std::memmove(m_pbyAdditionalData.data(), m_pbyAdditionalData.data() + used, m_dwAdditionalRest);
        m_dwAdditionalFill = m_dwAdditionalRest;
        m_dwAdditionalRest = 0;
    }
    VKT_TRACE_VALUE("*pdwDstSize_p", "%lu", *pdwDstSize_p);
    return VKT_OK;
}

uint32_t CWavConvert::run_pass(uint64_t* pdwTotalRead) {
    uint32_t left = m_dwBytesToConvert;
    uint32_t written = 0;
    while (left > 0) {
        uint32_t step = std::min(m_dwSrcFileDataBlockSize, left);
        const uint32_t got = m_pWavFileSrc->read_data(m_pbySrcData.data(), step);
        if (got < step) {
            // The file ended before its data did (it was cut while being
            // read): what was read is the last block.
            VKT_TRACE_MESSAGE("Bytes read is less than expected -> cancel operation !");
            step = left = got;
            if (got == 0) break;
        }
        left -= step;
        *pdwTotalRead += step;
        uint32_t produced = 0;
        if (uint32_t rc = process_conv_stream(step, &produced, left == 0)) {
            VKT_TRACE_ERROR(rc, "Error process conversion stream()");
            raise(rc);
        }
        if (produced && m_pWavFileDst) {
            m_pWavFileDst->write_data(m_pbyDstData.data(), produced);
            written += produced;
        }
        if (VKT_PROGRESS_STEP(m_progress, *pdwTotalRead, m_dwSrcFileDataSize)) raise(VKT_CANCELLED);
    }
    return written;
}

void CWavConvert::place_destination_cue(uint32_t dwWritten_p) {
    // The cue's time in the source: a byte offset in its data, in samples
    // for PCM (whatever rate the file declares in bytes), else by the
    // declared bytes per second.
    const uint64_t at = std::min(m_cueSrc->dwBlockStart, m_dwSrcFileDataSize);
    const uint64_t rate_out = m_wfxDst.nSamplesPerSec;
    uint64_t sample = 0;  // the destination sample at that time, rounded
    if (m_wfxSrc.wFormatTag == WAVE_FORMAT_PCM && m_wfxSrc.nBlockAlign != 0 && m_wfxSrc.nSamplesPerSec != 0)
        sample = (at / m_wfxSrc.nBlockAlign * rate_out + m_wfxSrc.nSamplesPerSec / 2) / m_wfxSrc.nSamplesPerSec;
    else if (m_wfxSrc.nAvgBytesPerSec != 0)
        sample = (at * rate_out + m_wfxSrc.nAvgBytesPerSec / 2) / m_wfxSrc.nAvgBytesPerSec;
    // In the destination's data: that sample's byte, at the start of its
    // block, and never behind the data written.
    uint64_t byte = 0;
    if (rate_out != 0) byte = sample * m_wfxDst.nAvgBytesPerSec / rate_out;
    if (m_wfxDst.nBlockAlign != 0) byte -= byte % m_wfxDst.nBlockAlign;
    byte = std::min<uint64_t>(byte, dwWritten_p);

    CuePoint& cue = *m_cueDst;
    cue.dwIdentifier = 1;
    cue.fccChunk = mmioStringToFOURCCA("data", 0);
    cue.dwChunkStart = 0;
    cue.dwSampleOffset = 0;
    cue.dwBlockStart = static_cast<uint32_t>(byte);
    cue.dwPosition = m_wfxDst.nAvgBytesPerSec == 0
                         ? 0
                         : static_cast<uint32_t>(rate_out * byte / m_wfxDst.nAvgBytesPerSec);
}

uint32_t CWavConvert::conversion() {
    VKT_TRACE_TEXT("-----CWavConvert::conversion()");
    try {
        if (!m_pWavFileSrc) raise(VKT_ERR);
        uint32_t ignored = 0;
        m_pWavFileSrc->get_sizeof_data(&ignored);  // to the first sample byte
        // One pass over all the data, also with a cue point: a pass that
        // ended at the cue would leave the partial rate-change unit before it
        // unconverted, and the bytes the stages still hold at that moment
        // would put the new cue early. The cue is placed by its time instead.
        uint64_t read = 0;
        uint32_t written = 0;
        if (m_dwSrcFileDataSize != 0) written = run_pass(&read);
        if (m_pWavFileDst) m_pWavFileDst->closing_work();
        if (m_cueSrc) place_destination_cue(written);
        return VKT_OK;
    }
    VKT_CATCH_RETURN("catched in CWavConvert::conversion()")
}

// ---- the internal function -------------------------------------------------------

uint32_t VKTWAVToWAVInternal(const char* pcszWAVSrcFileName, const char* pcszWAVDstFileName,
                             const WAVEFORMATEX* pwfxDst, ProgressCallback pfnCallback, intptr_t lCallback,
                             uint32_t dwProgressStart, uint32_t dwProgressEnd, bool bWavToDss) {
    VKT_TRACE_TEXT("-----VKTWAVToWAVInternal(...)");
    VKT_TRACE_PARAM("pcszWAVSrcFileName", "%s", pcszWAVSrcFileName);
    VKT_TRACE_PARAM("pcszWAVDstFileName", "%s", pcszWAVDstFileName);
    VKT_TRACE_PARAM("pwfxDst", "%p", pwfxDst);
    if (!pcszWAVSrcFileName || !pcszWAVDstFileName) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
        return VKT_ERR_FILE_NAME;
    }
    if (!pwfxDst) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "VKT_ERR_INVALID_WAVFMT, destination format is NULL");
        return VKT_ERR_INVALID_WAVFMT;
    }
    if (pwfxDst->wFormatTag == WAVE_FORMAT_PCM && pwfxDst->cbSize != 0) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "VKT_ERR_INVALID_WAVFMT, PCM destination format with extra bytes");
        return VKT_ERR_INVALID_WAVFMT;
    }
    if (uint32_t rc = CheckPcmDestinationFormat(*pwfxDst)) return rc;
    // Writing over the file being read would destroy it.
    if (uint32_t rc = CheckConversionDestination(pcszWAVSrcFileName, pcszWAVDstFileName)) return rc;

    vkt::platform::TempFile mixed;
    const char* source = pcszWAVSrcFileName;
    uint32_t start = dwProgressStart;
    {
        std::vector<uint8_t> fmt(kMaxSourceFormat, 0);
        const uint32_t read = VKTReadWAVFormat(pcszWAVSrcFileName, reinterpret_cast<WAVEFORMATEX*>(fmt.data()),
                                               static_cast<uint32_t>(fmt.size()));
        // A damaged fmt chunk ends the conversion here, with the code that
        // says so, before a data chunk is looked for behind it.
        if (read == VKT_ERR_INVALID_WAVFMT) return read;
        if (read == VKT_OK) {
            WAVEFORMATEX f;
            std::memcpy(&f, fmt.data(), sizeof f);
            if (f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 2 && f.wBitsPerSample == 16) {
                VKT_TRACE_TEXT(">>mixing stereo source");
                const std::string wanted = std::string(pcszWAVDstFileName) + "_tmp.wav";
                if (uint32_t rc = CreateConversionTempFile(mixed, wanted.c_str())) return rc;
                if (uint32_t rc =
                        VKTWAVMixStereoInternal(pcszWAVSrcFileName, mixed.c_str(), pfnCallback, lCallback, 0, 40)) {
                    VKT_TRACE_ERROR(rc, "Error ORVKTWAVMixStereo called at VKTWAVToWAVInternal  ");
                    return rc;
                }
                VKT_TRACE_TEXT(">>setting new source");
                source = mixed.c_str();
                start = 40;
            }
        }
    }

    std::optional<CuePoint> cue;
    uint32_t result = VKT_OK;
    try {
        CWavConvert wavConvert;
        result = wavConvert.init(source, pcszWAVDstFileName, pwfxDst, pfnCallback, lCallback, start, dwProgressEnd,
                                 bWavToDss);
        if (result == VKT_OK) result = wavConvert.conversion();
        if (result == VKT_OK && wavConvert.destination_cue()) {
            cue = *wavConvert.destination_cue();
        }
        wavConvert.cleanup();
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in VKTWAVToWAVInternal");
    }
    if (result == VKT_ERR_SAME_WAVFMT && mixed.owned()) {
        // A stereo source asked for as mono at its own rate and width: the
        // mixed file, which carries the header and the markers, is the answer.
        VKT_TRACE_TEXT(">>mixed source is the destination format");
        if (uint32_t rc = vkt::platform::move_file(mixed.c_str(), pcszWAVDstFileName, true)) {
            VKT_TRACE_ERROR(rc, "mixed file cannot be moved into place");
            return VKT_ERR_WRITE_FILE;
        }
        mixed.keep();
        // The file is whole: a cancel answered to this report changes nothing.
        vkt::Progress{pfnCallback, lCallback, start, dwProgressEnd}.report_percent(dwProgressEnd);
        return VKT_OK;
    }
    if (result != VKT_OK) {
        VKT_TRACE_ERROR(result, "by wavConvert.init() or wavConvert.conversion()");
        vkt::platform::delete_file(pcszWAVDstFileName);
        return result;
    }
    VKT_TRACE_TEXT(">>convert finished");
    if (uint32_t rc = copy_list_chunk(pcszWAVSrcFileName, pcszWAVDstFileName))
        VKT_TRACE_ERROR(rc, "by copy_list_chunk()");
    if (mixed.owned()) {
        mixed.remove();
    } else if (cue) {
        if (uint32_t rc = insert_cue_chunk(pcszWAVDstFileName, &*cue)) VKT_TRACE_ERROR(rc, "by insert_cue_chunk()");
    }
    return VKT_OK;
}
