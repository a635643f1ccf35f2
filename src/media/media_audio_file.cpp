#include "media/media_audio_file.h"

#include <cstdio>
#include <cstring>

#include "dss/dss_layout.h"
#include "metadata/mp3_dictation_header.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("WMFAudioFile");

using namespace vkt::media;

uint32_t VKT_trace_media_failure(uint32_t hr, const char* what, uint32_t code, const char* file, int line) {
    char text[256];
    std::snprintf(text, sizeof text, "0x%08x : %s", hr, what);
    ::TraceError(vkt::trace::kModule, file, line, code, text);
    return code;
}

CWMFAudioFile::CWMFAudioFile() { VKT_TRACE_TEXT("-----CWMFAudioFile::CWMFAudioFile()"); }

CWMFAudioFile::~CWMFAudioFile() {
    VKT_TRACE_TEXT("-----CWMFAudioFile::~CWMFAudioFile()");
    release();
}

void CWMFAudioFile::release() {
    if (m_pReader && m_bOpened) m_pReader->Close();
    m_pReader.reset();
    m_bOpened = false;
    m_wStreamNumber = 0;
    m_dwOutputNumber = 0;
}

uint32_t CWMFAudioFile::open(const char* pcszFileName) {
    VKT_TRACE_TEXT("-----CWMFAudioFile::open(...)");
    VKT_TRACE_PARAM("pcszFileName", "%s", pcszFileName);
    release();
    m_pReader = std::make_unique<MediaReader>();
    const uint32_t hr = m_pReader->Open(pcszFileName ? pcszFileName : "");
    if (hr == NS_E_NO_AUDIO_STREAM) {
        // The file was parsed, but none of its streams is audio.
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "input stream not found");
        release();
        return VKT_ERR_INVALID_CONTENT;
    }
    if (hr != S_OK) {
        VKT_MEDIA_FAILURE(hr, "pReader->Open failed", VKT_ERR_MEDIA_READER);
        release();
        return VKT_ERR_OPEN_FILE;
    }
    m_bOpened = true;
    // The reader selects the first audio stream on opening and hands out
    // only its samples, on its single output.
    m_wStreamNumber = m_pReader->StreamNumber();
    m_dwOutputNumber = 0;
    VKT_TRACE_VALUE("m_wStreamNumber", "%u", m_wStreamNumber);
    return VKT_OK;
}

uint32_t CWMFAudioFile::get_duration(int64_t* pqwDuration) {
    VKT_TRACE_TEXT("-----CWMFAudioFile::get_duration(...)");
    if (!m_bOpened) return VKT_MEDIA_FAILURE(NS_E_NOT_OPENED, "pHeaderInfo->GetAttributeByName(Duration) failed",
                                             VKT_ERR_MEDIA_READER);
    const auto values = m_pReader->GetAttribute("Duration");
    if (values.size() != 1 || values[0].size() != sizeof(int64_t))
        return VKT_MEDIA_FAILURE(ASF_E_NOTFOUND, "pHeaderInfo->GetAttributeByName(Duration) failed",
                                 VKT_ERR_MEDIA_READER);
    std::memcpy(pqwDuration, values[0].data(), sizeof(int64_t));
    VKT_TRACE_VALUE("qwDuration", "%ld", *pqwDuration);
    return VKT_OK;
}

uint32_t CWMFAudioFile::get_output_format(WAVEFORMATEX* pwfx) {
    VKT_TRACE_TEXT("-----CWMFAudioFile::get_output_format(...)");
    if (!m_bOpened)
        return VKT_MEDIA_FAILURE(NS_E_NOT_OPENED, "pReader->GetOutputProps failed", VKT_ERR_MEDIA_READER);
    const WAVEFORMATEX f = m_pReader->OutputFormat();
    if (f.nChannels == 0 || f.nSamplesPerSec == 0) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "non audio output");
        return VKT_ERR_INVALID_CONTENT;
    }
    std::memcpy(pwfx, &f, sizeof f);
    return VKT_OK;
}

uint32_t CWMFAudioFile::ReadDSSHeaders(uint8_t* buffer, uint32_t size) {
    VKT_TRACE_TEXT("-----CWMFAudioFile::ReadDSSHeaders(...)");
    VKT_TRACE_PARAM("size", "%lu", size);
    if (size == 0 || size % vkt::dss::kHeaderBlockSize != 0) {
        VKT_TRACE_ERROR(VKT_ERR_BUFFER_TOO_SMALL, "size must be a multiple of 512");
        return VKT_ERR_BUFFER_TOO_SMALL;
    }
    if (!m_bOpened)
        return VKT_MEDIA_FAILURE(NS_E_NOT_OPENED, "pHeaderInfo->GetAttributeIndices(ID3/PRIV) failed",
                                 VKT_ERR_MEDIA_READER);
    return CMP3Helper::SelectDSSHeaderImage(m_pReader->GetAttribute("ID3/PRIV"), buffer, size);
}
