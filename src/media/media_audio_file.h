// CWMFAudioFile: one MP3 (or any other readable media file) opened through
// the media reader with its first audio stream selected. It reports the
// reader's output format and the duration, and reads the dictation header
// image an MP3 file carries in its ID3 private frame. The conversion to WAV
// and the MP3 splitter take their samples from its reader.
#pragma once

#include <cstdint>
#include <memory>

#include "OrvaneVktapi.h"
#include "platform/media_reader.h"
#include "platform/vkt_trace.h"

// Writes a failed reader call to the trace log as "0x%08x : <what>" under
// the result code `code`, and returns that code.
uint32_t VKT_trace_media_failure(uint32_t hr, const char* what, uint32_t code, const char* file, int line);
#define VKT_MEDIA_FAILURE(hr, what, code) VKT_trace_media_failure((hr), (what), (code), VKT_TRACE_UNIT_NAME, __LINE__)

class CWMFAudioFile {
public:
    CWMFAudioFile();
    ~CWMFAudioFile();
    CWMFAudioFile(const CWMFAudioFile&) = delete;
    CWMFAudioFile& operator=(const CWMFAudioFile&) = delete;

    // Opens the file and selects its first audio stream. 14 when the reader
    // cannot open it (missing, unreadable, no media file), 38 when it holds
    // no audio stream.
    uint32_t open(const char* pcszFileName);
    // The duration in 100-ns units; 46 when the reader does not know it.
    uint32_t get_duration(int64_t* pqwDuration);
    // The first 18 bytes of the output's wave format: 16-bit PCM, or the
    // stored format once compressed samples were asked for.
    uint32_t get_output_format(WAVEFORMATEX* pwfx);
    // Copies min(size, 1536) bytes of the header image of our ID3 private
    // frame into buffer. size must be a positive multiple of 512 (else 25);
    // no such frame, or only ones of another version or length: 47.
    uint32_t ReadDSSHeaders(uint8_t* buffer, uint32_t size);

    // The opened reader; null before a successful open.
    vkt::media::MediaReader* reader() { return m_bOpened ? m_pReader.get() : nullptr; }
    uint16_t stream_number() const { return m_wStreamNumber; }
    uint32_t output_number() const { return m_dwOutputNumber; }

private:
    void release();

    std::unique_ptr<vkt::media::MediaReader> m_pReader;
    uint16_t m_wStreamNumber = 0;
    uint32_t m_dwOutputNumber = 0;
    bool m_bOpened = false;
};
