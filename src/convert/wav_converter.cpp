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
using vkt::convert::kBufferBudget;
using vkt::convert::kStageTooLarge;
using vkt::convert::StageKind;

namespace {

constexpr uint16_t kTagDictation120 = 0x0120;
constexpr uint16_t kTagDictation98 = 0x0098;
constexpr uint32_t kMaxSourceFormat = 2000;
// Bytes read from the source per step: about one second, but never more
// than this, whatever rate the file declares; all buffers of a step
// together stay within the budget.
constexpr uint64_t kMaxReadBlock = 1u << 20;

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

void CWavConvert::cleanup() {
    VKT_TRACE_TEXT("-----CWavConvert::cleanup()");
    m_stages.clear();
    m_pWavFileSrc.reset();
    m_pWavFileDst.reset();
    m_pbySrcData.clear();
    m_pbySrcData.shrink_to_fit();
    m_pwaveformatexSrc.clear();
    m_pwaveformatexDst.clear();
    m_cueSrc.reset();
    m_cueDst.reset();
}

std::vector<StageKind> CWavConvert::stage_kinds() const {
    std::vector<StageKind> kinds;
    for (const auto& stage : m_stages) kinds.push_back(stage->kind());
    return kinds;
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

    // Which stages run: a codec on either side is decoded to or encoded
    // from the PCM format it pairs with; a rate change runs between them
    // unless those PCM formats already match. A tag of 0 marks a PCM format
    // that no rate change needs.
    WAVEFORMATEX decoded_pcm{};
    WAVEFORMATEX encoder_pcm{};
    bool decode = false, change_rate = false, encode = false;
    const bool src_pcm = m_wfxSrc.wFormatTag == WAVE_FORMAT_PCM;
    const bool dst_pcm = m_wfxDst.wFormatTag == WAVE_FORMAT_PCM;
    if (src_pcm && dst_pcm) {
        change_rate = true;
    } else if (!src_pcm && dst_pcm) {
        decode = true;
        change_rate = true;
        if (uint32_t rc = suggest_conv_format(&m_wfxSrc, &decoded_pcm)) {
            VKT_TRACE_ERROR(rc, "Error acm suggest format");
            return rc;
        }
        if (VKTSameWaveFormat(decoded_pcm, m_wfxDst)) {
            change_rate = false;
            decoded_pcm.wFormatTag = 0;
        }
    } else if (src_pcm && !dst_pcm) {
        change_rate = true;
        encode = true;
        if (uint32_t rc = suggest_conv_format(&m_wfxDst, &encoder_pcm)) {
            VKT_TRACE_ERROR(rc, "Error acm suggest format");
            return rc;
        }
        if (VKTSameWaveFormat(encoder_pcm, m_wfxSrc)) {
            change_rate = false;
            encoder_pcm.wFormatTag = 0;
        }
    } else if (!is_direct_pair(m_wfxSrc, m_wfxDst)) {
        decode = true;
        change_rate = true;
        encode = true;
        if (uint32_t rc = suggest_conv_format(&m_wfxSrc, &decoded_pcm)) {
            VKT_TRACE_ERROR(rc, "Error acm suggest format");
            return rc;
        }
        if (uint32_t rc = suggest_conv_format(&m_wfxDst, &encoder_pcm)) {
            VKT_TRACE_ERROR(rc, "Error acm suggest format");
            return rc;
        }
        if (VKTSameWaveFormat(decoded_pcm, encoder_pcm)) {
            change_rate = false;
            encoder_pcm.wFormatTag = 0;
        }
    }
    VKT_TRACE_VALUE("m_pwaveformatexSrc -> wFormatTag", "%u", m_wfxSrc.wFormatTag);
    VKT_TRACE_VALUE("m_wfxAFCSrc.wFormatTag", "%u", decoded_pcm.wFormatTag);
    VKT_TRACE_VALUE("m_wfxAFCDst.wFormatTag", "%u", encoder_pcm.wFormatTag);

    // Each stage takes the format the one before it delivers.
    using namespace vkt::convert;
    m_stages.clear();
    if (!decode && !change_rate && !encode) {
        m_stages.push_back(std::make_unique<TranscodeStage>());
        return VKT_OK;
    }
    const WAVEFORMATEX* pcm = &m_wfxSrc;
    if (decode) {
        const bool more = change_rate || encode;
        m_stages.push_back(std::make_unique<DecodeStage>(m_pwaveformatexSrc, more ? decoded_pcm : m_wfxDst));
        pcm = &decoded_pcm;
    }
    if (change_rate) {
        m_stages.push_back(std::make_unique<RateStage>(*pcm, encode ? encoder_pcm : m_wfxDst));
        pcm = &encoder_pcm;
    }
    if (encode) {
        const bool probe = m_wfxDst.wFormatTag == WAVE_FORMAT_DSS_SP && m_bWavToDss;
        m_stages.push_back(std::make_unique<EncodeStage>(*pcm, m_pwaveformatexDst, change_rate, probe));
    }
    return VKT_OK;
}

uint32_t CWavConvert::init_streams() {
    VKT_TRACE_TEXT("-----CWavConvert::init_streams(.)");
    for (auto& stage : m_stages) {
        if (uint32_t rc = stage->open()) return rc;
    }
    return VKT_OK;
}

uint32_t CWavConvert::chain_input_unit(uint32_t* pdwUnit) {
    // From the back: the last stage hands out destination blocks; each
    // stage before it takes what makes whole units of the next one's input.
    // A decoder in front takes the source's own blocks.
    uint32_t unit = m_wfxDst.nBlockAlign;
    const size_t first = m_stages.front()->kind() == StageKind::Decode ? 1 : 0;
    for (size_t i = m_stages.size(); i-- > first;) {
        if (uint32_t rc = m_stages[i]->input_unit(unit, i + 1 == m_stages.size(), &unit)) return rc;
    }
    *pdwUnit = unit;
    VKT_TRACE_VALUE("*pdwAFCSrcBlockAlign", "%lu", unit);
    return unit == 0 ? VKT_ERR_INVALID_WAVFMT : VKT_OK;
}

uint32_t CWavConvert::size_stages(uint32_t dwBlock_p) {
    m_dwSrcFileDataBlockSize = dwBlock_p;
    uint32_t handed_on = dwBlock_p;
    for (auto& stage : m_stages) {
        if (uint32_t rc = stage->size_for(handed_on, &handed_on)) return rc;
    }
    // Every step writes into the destination buffer.
    if (m_stages.back()->output_capacity() == 0) {
        VKT_TRACE_ERROR(VKT_ERR_CODEC, "destination buffer size 0");
        return VKT_ERR_CODEC;
    }
    return VKT_OK;
}

uint32_t CWavConvert::init_buffers() {
    VKT_TRACE_TEXT("-----CWavConvert::init_buffers(.)");
    m_pbySrcData.clear();
    m_pbySrcData.shrink_to_fit();

    m_dwSrcBlockAlignment = m_wfxSrc.nBlockAlign;
    VKT_TRACE_VALUE("*pdwSrcBlockAlign", "%lu", m_dwSrcBlockAlignment);
    uint32_t chain_unit = 0;
    if (uint32_t rc = chain_input_unit(&chain_unit)) {
        VKT_TRACE_ERROR(rc, "Error calculating source PCM block alignment");
        return rc;
    }
    // A codec source is read in its own blocks; PCM in whole units of the chain.
    const StageKind front = m_stages.front()->kind();
    if (front == StageKind::Decode) {
        if (m_stages.size() > 1)
            static_cast<vkt::convert::DecodeStage&>(*m_stages.front()).hand_on_in_units_of(chain_unit);
    } else if (front != StageKind::Transcode) {
        m_dwSrcBlockAlignment = chain_unit;
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
            uint64_t total = block;
            for (const auto& stage : m_stages) total += stage->buffer_bytes();
            if (total <= kBufferBudget) break;
        } else if (rc != kStageTooLarge) {
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
    VKT_TRACE_VALUE("m_dwDstBufferSize", "%lu", m_stages.back()->output_capacity());
    for (size_t i = 0; i < m_stages.size(); ++i) m_stages[i]->allocate(i + 1 == m_stages.size());
    return VKT_OK;
}

// ---- conversion --------------------------------------------------------------

uint32_t CWavConvert::process_conv_stream(uint32_t dwSrcSize_p, const uint8_t** ppOut, uint32_t* pdwDstSize_p,
                                          bool bLastBlock) {
    VKT_TRACE_TEXT("-----CWavConvert::process_conv_stream()");
    *pdwDstSize_p = 0;
    const uint8_t* data = m_pbySrcData.data();
    uint32_t length = dwSrcSize_p;
    for (auto& stage : m_stages) {
        if (uint32_t rc = stage->run(data, length, bLastBlock, &data, &length)) return rc;
    }
    *ppOut = data;
    *pdwDstSize_p = length;
    VKT_TRACE_VALUE("*pdwDstSize_p", "%lu", *pdwDstSize_p);
    return VKT_OK;
}

uint32_t CWavConvert::run_pass(uint64_t* pdwTotalRead) {
    uint32_t left = m_dwSrcFileDataSize;
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
        const uint8_t* converted = nullptr;
        uint32_t produced = 0;
        if (uint32_t rc = process_conv_stream(step, &converted, &produced, left == 0)) {
            VKT_TRACE_ERROR(rc, "Error process conversion stream()");
            raise(rc);
        }
        if (produced && m_pWavFileDst) {
            m_pWavFileDst->write_data(converted, produced);
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
            WAVEFORMATEX source_format;
            std::memcpy(&source_format, fmt.data(), sizeof source_format);
            if (source_format.wFormatTag == WAVE_FORMAT_PCM && source_format.nChannels == 2 &&
                source_format.wBitsPerSample == 16) {
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
