#include "media/wma_file.h"

#include <algorithm>
#include <cstring>

#include "media/media_audio_file.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("CWmaFile");

using namespace vkt::media;

namespace {

constexpr uint16_t kBytesPerSample = 2;  // the reader's output is 16-bit PCM

}  // namespace

CWmaFile::CWmaFile() { VKT_TRACE_TEXT("-----CWmaFile::CWmaFile()"); }

CWmaFile::~CWmaFile() { VKT_TRACE_TEXT("-----CWmaFile::~CWmaFile()"); }

uint32_t CWmaFile::create_file(const char* lpszFilepath_p) {
    VKT_TRACE_TEXT("-----CWmaFile::create_file(...)");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    try {
        open_file(lpszFilepath_p);
    } catch (...) {
        m_pReader.reset();
        return vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in open_file()");
    }
    set_initial_info();
    return VKT_OK;
}

void CWmaFile::open_file(const char* lpszFilepath_p) {
    VKT_TRACE_TEXT("-----CWmaFile::open_file(...)");
    m_pReader = std::make_unique<MediaReader>();
    const uint32_t hr = m_pReader->Open(lpszFilepath_p ? lpszFilepath_p : "");
    if (hr == NS_E_NO_AUDIO_STREAM) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "input stream not found");
        vkt::raise(VKT_ERR_INVALID_CONTENT);
    }
    if (hr != S_OK) vkt::raise(VKT_MEDIA_FAILURE(hr, "m_pReader->Open failed", VKT_ERR_OPEN_FILE));
    m_bStarted = false;
    m_dwCurrentPosInBy = 0;
}

void CWmaFile::set_initial_info() {
    VKT_TRACE_TEXT("-----CWmaFile::set_initial_info()");
    m_wfx = m_pReader->OutputFormat();
    m_wSourceBlockAlign = m_wfx.nBlockAlign;
    if (m_wfx.nChannels >= 2) {
        // Only the first channel is kept.
        m_bStereoToMono = true;
        m_wfx.nAvgBytesPerSec /= m_wfx.nChannels;
        m_wfx.nBlockAlign = static_cast<uint16_t>(m_wfx.nBlockAlign / m_wfx.nChannels);
        m_wfx.nChannels = 1;
    }
    m_wFormatTag = m_wfx.wFormatTag;
    m_wChannels = m_wfx.nChannels;
    m_dwSamplesPerSec = m_wfx.nSamplesPerSec;
    m_wBitsPerSample = m_wfx.wBitsPerSample;
    m_wBlockAlign = m_wfx.nBlockAlign;
    m_dwAvgBytesPerSec = m_wfx.nAvgBytesPerSec;
    VKT_TRACE_VALUE("m_dwSamplesPerSec", "%lu", m_dwSamplesPerSec);
    VKT_TRACE_VALUE("m_bStereoToMono", "%d", m_bStereoToMono ? 1 : 0);
}

uint32_t CWmaFile::read_format(void* pwfx_p, uint32_t dwSize_p) const {
    if (!pwfx_p) return VKT_ERR_INVALID_WAVFMT;
    std::memset(pwfx_p, 0, dwSize_p);
    std::memcpy(pwfx_p, &m_wfx, std::min<uint32_t>(dwSize_p, sizeof m_wfx));
    return VKT_OK;
}

void CWmaFile::restart() {
    if (const uint32_t hr = m_pReader->SetRange(0, 0); hr != S_OK)
        vkt::raise(VKT_MEDIA_FAILURE(hr, "m_pReader->SetRange failed", VKT_ERR_MEDIA_READER));
    m_abyPending.clear();
    m_dwPendingAt = 0;
    m_qwPendingPos = 0;
    m_bStarted = true;
}

bool CWmaFile::next_sample(uint32_t* phr) {
    *phr = m_pReader->GetNextSample(&m_sample);
    m_dwPendingAt = 0;
    m_abyPending.clear();
    if (*phr != S_OK) {
        if (*phr == NS_E_NO_MORE_SAMPLES) *phr = S_OK;
        return false;
    }
    if (!m_bStereoToMono) {
        m_abyPending.swap(m_sample.data);
        return true;
    }
    const uint32_t frames = static_cast<uint32_t>(m_sample.data.size() / m_wSourceBlockAlign);
    m_abyPending.resize(static_cast<size_t>(frames) * kBytesPerSample);
    const uint8_t* from = m_sample.data.data();
    uint8_t* to = m_abyPending.data();
    for (uint32_t i = 0; i < frames; ++i, from += m_wSourceBlockAlign, to += kBytesPerSample)
        std::memcpy(to, from, kBytesPerSample);
    return true;
}

uint32_t CWmaFile::get_sizeof_data() {
    VKT_TRACE_TEXT("-----CWmaFile::get_sizeof_data()");
    if (!m_pReader) vkt::raise(VKT_ERR);
    restart();
    uint64_t total = 0;
    for (;;) {
        const uint32_t hr = m_pReader->GetNextSample(&m_sample);
        if (hr == NS_E_NO_MORE_SAMPLES) {
            VKT_TRACE_TEXT("Last sample reached.");
            break;
        }
        if (hr != S_OK) vkt::raise(VKT_MEDIA_FAILURE(hr, "GetNextSample() failed.", VKT_ERR_READ_FILE));
        total += m_bStereoToMono ? m_sample.data.size() / m_wSourceBlockAlign * kBytesPerSample : m_sample.data.size();
    }
    // The next read starts from the beginning.
    m_bStarted = false;
    const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(total, 0xFFFFFFFFu));
    VKT_TRACE_VALUE("dwDataSize", "%lu", size);
    return size;
}

uint32_t CWmaFile::read_data(void* pvBuffer_p, uint32_t dwBufferSize_p) {
    if (!m_pReader) vkt::raise(VKT_ERR);
    if (!m_bStarted || m_dwCurrentPosInBy < m_qwPendingPos) restart();
    uint32_t hr = S_OK;
    // Skip what lies before the current position.
    while (m_qwPendingPos < m_dwCurrentPosInBy) {
        const uint32_t avail = static_cast<uint32_t>(m_abyPending.size()) - m_dwPendingAt;
        if (avail == 0) {
            if (next_sample(&hr)) continue;
            if (hr != S_OK) vkt::raise(VKT_MEDIA_FAILURE(hr, "GetNextSample() failed.", VKT_ERR_MEDIA_READER));
            return 0;
        }
        const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(avail, m_dwCurrentPosInBy - m_qwPendingPos));
        m_dwPendingAt += take;
        m_qwPendingPos += take;
    }
    auto* out = static_cast<uint8_t*>(pvBuffer_p);
    uint32_t copied = 0;
    while (copied < dwBufferSize_p) {
        const uint32_t avail = static_cast<uint32_t>(m_abyPending.size()) - m_dwPendingAt;
        if (avail == 0) {
            if (next_sample(&hr)) continue;
            if (hr != S_OK) vkt::raise(VKT_MEDIA_FAILURE(hr, "GetNextSample() failed.", VKT_ERR_MEDIA_READER));
            break;
        }
        const uint32_t take = std::min(avail, dwBufferSize_p - copied);
        std::memcpy(out + copied, m_abyPending.data() + m_dwPendingAt, take);
        m_dwPendingAt += take;
        m_qwPendingPos += take;
        copied += take;
    }
    m_dwCurrentPosInBy += copied;
    return copied;
}
