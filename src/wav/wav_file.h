// CWavFile: the library's one way into RIFF WAVE files. It writes new files
// in the fixed chunk order fmt, fact, data; reads format and samples of
// existing files; and reads and writes the chunks that carry dictation
// metadata: LIST/INFO with ICMT (header image), IKEY (marker array) and ISRF
// (format history), and a cue chunk with one cue point.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"
#include "platform/mmio.h"

// One RIFF cue point: identifier, position, chunk id, chunk start, block
// start, sample offset.
struct CuePoint {
    uint32_t dwIdentifier = 0;
    uint32_t dwPosition = 0;
    FOURCC fccChunk = 0;
    uint32_t dwChunkStart = 0;
    uint32_t dwBlockStart = 0;
    uint32_t dwSampleOffset = 0;
};
static_assert(sizeof(CuePoint) == 24, "a cue point record is 24 bytes");

// Turns a multimedia-file error number into a result code and logs which
// one it became. 0 gives 0 (and a warning: no caller should pass it).
uint32_t VKT_map_mmio_to_vkt_error(MMRESULT mmr);

class CWavFile {
public:
    static constexpr uint32_t kKeyChunkSize = 280;
    static constexpr uint32_t kCueChunkSize = 28;

    CWavFile();
    virtual ~CWavFile();
    CWavFile(const CWavFile&) = delete;
    CWavFile& operator=(const CWavFile&) = delete;

    // ---- writing a new file (all throw their result codes) -------------
    void create_new_wave_file(const char* lpszFilepath_p, uint32_t dwOpenFlags_p, const WAVEFORMATEX* pwfx_p);
    uint32_t write_data(const void* pvBuffer_p, uint32_t dwBufferSize_p);
    // Patches the data and RIFF sizes and the fact sample count, then closes.
    void closing_work();

    // ---- reading --------------------------------------------------------
    void open_file(const char* lpszFilepath_p, uint32_t dwOpenFlags_p);
    // Leaves the file at the start of the fmt content. Throws 10 when no
    // file is open, 21 for a chunk shorter than 16 bytes, longer than
    // 18 + 65535 bytes, or longer than the rest of the file.
    void get_sizeof_format(uint32_t* pdwSizeWavFmt);
    // Reads exactly dwSizeWavFmt bytes at the current position: 0 or 21.
    uint32_t read_format(void* pwaveFormatEx_p, uint32_t dwSizeWavFmt);
    // Leaves the file at the first sample byte. The size is the data
    // chunk's, or the bytes behind its start when the file ends before it.
    // Throws 10 when no file is open.
    void get_sizeof_data(uint32_t* pdwSizeData);
    // Bytes read; 0 at the end of the file; throws 16 on a read error.
    uint32_t read_data(void* pvBuffer_p, uint32_t dwBufferSize_p);
    // 0, or the mapped close error (the handle is kept then).
    uint32_t close_file();

    // ---- metadata chunks --------------------------------------------------
    // ICMT: read into the caller's buffer (throws 26 when absent, 25 when
    // larger than the buffer); pdwSizeRead_p receives the byte count.
    void read_icmt_chunk(char* lpszIcmtChunkInfo_p, uint32_t dwBufferSize_p, uint32_t* pdwSizeRead_p = nullptr);
    void write_icmt_chunk(const char* lpszIcmtChunkInfo_p, uint32_t dwLength_p);
    // IKEY, always 280 bytes when written; read into a 280-byte buffer.
    void read_listinfo_subchunk(uint8_t* pbyBuffer_p, uint32_t* pdwSizeRead_p = nullptr);
    void write_listinfo_subchunk(const uint8_t* pbyBuffer_p);

    // The whole LIST/INFO: its size (including its 4-byte type); returns a
    // code instead of throwing.
    uint32_t get_sizeof_list(uint32_t* pdwSizeList);
    // Reads as many bytes as the LIST/INFO size from behind the list type.
    void read_list_chunk(uint8_t* lpszListChunkInfo_p, uint32_t dwBufferSize_p);
    // Replaces the LIST/INFO content (the bytes behind the list type).
    void write_list_chunk(const uint8_t* lpszListChunkInfo_p, uint32_t dwLength_p);

    // One cue point; both return codes (32 for a null record).
    uint32_t read_cue_chunk(CuePoint* pCuePoint_p);
    uint32_t write_cue_chunk(const CuePoint* pCuePoint_p);

    HMMIO handle() const { return m_hMmio; }

private:
    enum WantedChunk { kRiffOnly = 1, kFactChunk = 3 };
    // Seeks to 0, descends into RIFF/WAVE and, for kFactChunk, into the fact
    // chunk inside it. Returns the platform code (0 = found); the caller
    // decides what a failure means.
    MMRESULT descend_from_start(WantedChunk nWantedChunk_p, MMCKINFO* pMmckRiff_p, MMCKINFO* pMmckWanted_p);
    // The RIFF descent of the metadata operations: throws the mapped code.
    void descend_into_riff(MMCKINFO* pMmckRiff_p);
    void cleanup();
    // Bytes of the file from dwOffset_p to its end (0 when it is shorter).
    uint64_t bytes_behind(uint32_t dwOffset_p) const;
    void update_fact_chunk(uint32_t dwSampleLength_p);
    void read_info_subchunk(FOURCC id, uint8_t* buffer, uint32_t capacity, uint32_t* size_read);
    void write_info_subchunk(FOURCC id, const uint8_t* data, uint32_t length);

    HMMIO m_hMmio = nullptr;
    MMCKINFO m_mmckInfoRiff{};
    MMCKINFO m_mmckInfoData{};
    MMCKINFO m_mmckInfoParent{};
    // The first 16 bytes of the format given to create_new_wave_file.
    WAVEFORMATEX m_pcmWaveFormat{};
};
