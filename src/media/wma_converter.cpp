#include "media/wma_converter.h"

#include <cmath>
#include <new>

#include "platform/progress.h"
#include "platform/fileio.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("CWmaConv");

CWmaConvert::CWmaConvert() { VKT_TRACE_TEXT("-----CWmaConvert::CWmaConvert()"); }

CWmaConvert::~CWmaConvert() { VKT_TRACE_TEXT("-----CWmaConvert::~CWmaConvert()"); }

uint32_t CWmaConvert::init(const char* pcszWMAFileName_p, const char* pcszWAVFileName_p,
                           ProgressCallback pfnCallback_p, intptr_t lCallback_p) {
    VKT_TRACE_TEXT("-----CWmaConvert::init(...)");
    VKT_TRACE_PARAM("pcszWMAFileName_p", "%s", pcszWMAFileName_p);
    VKT_TRACE_PARAM("pcszWAVFileName_p", "%s", pcszWAVFileName_p);
    m_pfnCallback = pfnCallback_p;
    m_lCallback = lCallback_p;
    m_dwProgressStart = 0;
    m_dwProgressRange = 50;

    m_pWmaFile = std::make_unique<CWmaFile>();
    if (uint32_t rc = m_pWmaFile->create_file(pcszWMAFileName_p)) {
        VKT_TRACE_ERROR(rc, "by m_pWmaFile->create_file(.)");
        return rc;
    }
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = m_pWmaFile->GetChannels();
    pcm.nSamplesPerSec = m_pWmaFile->GetSamplesPerSec();
    pcm.nAvgBytesPerSec = 2 * pcm.nSamplesPerSec;
    pcm.nBlockAlign = 2;
    pcm.wBitsPerSample = 16;
    pcm.cbSize = 0;

    // One second of decoded audio per step.
    try {
        m_pbyAcmSrcBuffer.assign(m_pWmaFile->GetAvgBytesPerSec(), 0);
    } catch (const std::bad_alloc&) {
        VKT_TRACE_ERROR(VKT_ERR_OUT_OF_MEMORY, "out of memory when allocating AcmSrcBuffer");
        return VKT_ERR_OUT_OF_MEMORY;
    }
    if (m_pbyAcmSrcBuffer.empty()) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "WMA output without bytes per second");
        return VKT_ERR_INVALID_WAVFMT;
    }

    m_strWavFileName = pcszWAVFileName_p;
    m_pWavFile = std::make_unique<CWavFile>();
    const bool existed = vkt::platform::file_exists(pcszWAVFileName_p);
    try {
        m_pWavFile->create_new_wave_file(pcszWAVFileName_p, MMIO_CREATE | MMIO_READWRITE | MMIO_EXCLUSIVE, &pcm);
    } catch (...) {
        const uint32_t rc = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in CWmaConvert::init()");
        // A file that was there before is not ours to remove.
        if (existed) m_strWavFileName.clear();
        remove_destination();
        return rc;
    }
    return VKT_OK;
}

void CWmaConvert::remove_destination() {
    m_pWavFile.reset();
    if (!m_strWavFileName.empty()) vkt::platform::delete_file(m_strWavFileName.c_str());
}

uint32_t CWmaConvert::conversion() {
    VKT_TRACE_TEXT("-----CWmaConvert::conversion()");
    try {
        if (!m_pWmaFile || !m_pWavFile) vkt::raise(VKT_ERR);
        const uint32_t total = m_pWmaFile->get_sizeof_data();
        VKT_TRACE_VALUE("dwTotal", "%lu", total);
        for (;;) {
            const uint32_t got =
                m_pWmaFile->read_data(m_pbyAcmSrcBuffer.data(), static_cast<uint32_t>(m_pbyAcmSrcBuffer.size()));
            if (got == 0) break;
            m_pWavFile->write_data(m_pbyAcmSrcBuffer.data(), got);
            if (total > 0) {
                const vkt::Progress progress{m_pfnCallback, m_lCallback, m_dwProgressStart,
                                             m_dwProgressStart + m_dwProgressRange, vkt::Rounding::ScaleFirst,
                                             vkt::kCancelByMemberCallback};
                if (VKT_PROGRESS_PERCENT(progress, progress.percent_of(m_pWmaFile->GetCurrentPos(), total))) {
                    remove_destination();
                    return VKT_CANCELLED;
                }
            }
        }
        m_pWavFile->closing_work();
        m_pWavFile.reset();
        return VKT_OK;
    } catch (...) {
        const uint32_t rc = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in CWmaConvert::conversion()");
        remove_destination();
        return rc;
    }
}

uint32_t VKTWMAToWAVInternal(const char* pcszWMAFileName, const char* pcszWAVFileName, ProgressCallback pfnCallback,
                             intptr_t lCallback) {
    VKT_TRACE_TEXT("-----VKTWMAToWAVInternal(...)");
    VKT_TRACE_PARAM("pcszWMAFileName", "%s", pcszWMAFileName);
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    CWmaConvert convert;
    if (uint32_t rc = convert.init(pcszWMAFileName, pcszWAVFileName, pfnCallback, lCallback)) return rc;
    return convert.conversion();
}
