// CWmaFile: a WMA file (or any other file the media reader decodes) seen as
// 16-bit mono PCM. A source of more than one channel gives its first
// channel only: each sample frame keeps its first two bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "OrvaneVktapi.h"
#include "platform/media_reader.h"

class CWmaFile {
public:
    CWmaFile();
    ~CWmaFile();
    CWmaFile(const CWmaFile&) = delete;
    CWmaFile& operator=(const CWmaFile&) = delete;

    // Opens the file and takes the format of its output: 0, 14 when the
    // reader cannot open it, 38 when it holds no audio stream.
    uint32_t create_file(const char* lpszFilepath_p);
    // Copies the format (18 bytes, or fewer when dwSize is smaller; bytes
    // asked for beyond them are zeros).
    uint32_t read_format(void* pwfx_p, uint32_t dwSize_p) const;
    // The number of PCM bytes the whole file decodes to (after the channel
    // reduction); reads the file once. Throws 16 when decoding fails.
    uint32_t get_sizeof_data();
    // Copies decoded bytes from the current position until the buffer is
    // full or the data ends; returns the count (0 at the end) and advances
    // the position. Throws 46 when decoding fails.
    uint32_t read_data(void* pvBuffer_p, uint32_t dwBufferSize_p);

    const WAVEFORMATEX& format() const { return m_wfx; }
    bool IsStereoToMono() const { return m_bStereoToMono; }
    uint16_t GetChannels() const { return m_wChannels; }
    uint32_t GetSamplesPerSec() const { return m_dwSamplesPerSec; }
    uint32_t GetAvgBytesPerSec() const { return m_dwAvgBytesPerSec; }
    uint32_t GetCurrentPos() const { return m_dwCurrentPosInBy; }

private:
    void open_file(const char* lpszFilepath_p);
    void set_initial_info();
    // Starts reading at the beginning of the file again.
    void restart();
    // Decodes the next sample into m_abyPending; false at the end.
    bool next_sample(uint32_t* phr);

    std::unique_ptr<vkt::media::MediaReader> m_pReader;
    WAVEFORMATEX m_wfx{};  // the format handed out (mono after the reduction)
    bool m_bStereoToMono = false;
    uint16_t m_wChannels = 0;
    uint32_t m_dwSamplesPerSec = 0;
    uint16_t m_wBitsPerSample = 0;
    uint16_t m_wBlockAlign = 0;
    uint32_t m_dwAvgBytesPerSec = 0;
    uint16_t m_wFormatTag = 0;
    uint16_t m_wSourceBlockAlign = 0;  // bytes of one sample frame as decoded
    uint32_t m_dwCurrentPosInBy = 0;

    // Reading goes on where the previous read stopped; only a position
    // behind the decoded one makes the reader start again. m_abyPending
    // holds the reduced bytes of the last sample from m_dwPendingAt on;
    // m_qwPendingPos is the data position of its first byte.
    vkt::media::Sample m_sample;
    std::vector<uint8_t> m_abyPending;
    uint32_t m_dwPendingAt = 0;
    uint64_t m_qwPendingPos = 0;
    bool m_bStarted = false;
};
