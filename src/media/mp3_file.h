// MPEG audio frame-header parser: the format and length of an .mp3 file
// without decoding it. Frames are found from the first valid header on (an
// ID3v2 tag at the start and an encoder's information frame are stepped
// over) and walked by their lengths.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"
#include "dss/traced_file_io.h"

class CMp3File {
public:
    CMp3File();
    ~CMp3File();
    CMp3File(const CMp3File&) = delete;
    CMp3File& operator=(const CMp3File&) = delete;

    // Opens the file and reads its format and frame count; 0 or a result code.
    uint32_t create_file(const char* lpszFilepath_p);
    // The format as a wave format record (tag 0x0055, extra size 12); at
    // least 18 bytes are needed, else 22.
    uint32_t read_format(WAVEFORMATEX* pwfx, uint32_t dwSize);

    uint32_t GetTotalNrOfFrames() const { return m_dwTotalNrOfFrames; }
    bool IsVariableBitrate() const { return m_bVariableBitrate; }
    // Whole-millisecond frame duration times the number of frames.
    uint32_t GetLengthInMs() const { return m_dwFrameDurationMs * m_dwTotalNrOfFrames; }

    // True when the four bytes are a frame header this parser accepts.
    static bool check_frame_header(const uint8_t* pbyHeader);
    // Length in bytes of the frame whose header is given (0 for an invalid header).
    static uint32_t frame_length(const uint8_t* pbyHeader);

private:
    void set_initial_info_from_file();
    // Steps over an encoder's information frame at the first frame: it
    // carries no audio, and its bit rate is not the recording's.
    void skip_info_frame();
    void set_codingtype_and_sampleinfo();
    void ascertain_total_nr_of_frames();
    void close_file();

    KRVHANDLE m_hFile = nullptr;
    uint8_t m_abyHeader[4] = {};
    uint32_t m_dwFirstFrameOffset = 0;
    uint16_t m_wChannels = 0;
    uint16_t m_wBitsPerSample = 0;
    uint32_t m_dwAvgBytesPerSec = 0;
    uint32_t m_dwSamplingRate = 0;
    uint16_t m_wBlockAlign = 1;
    uint32_t m_dwSamplesPerFrame = 0;
    uint32_t m_dwFrameDurationMs = 0;
    uint32_t m_dwMinBitrate = 0;
    uint32_t m_dwMaxBitrate = 0;
    bool m_bVariableBitrate = false;
    uint32_t m_dwTotalNrOfFrames = 0;
};
