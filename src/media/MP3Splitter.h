// CMP3Splitter: cuts an MP3 recording into pieces without re-encoding. The
// media reader hands out the stored frames of each piece's time range; each
// piece gets a copy of the source's ID3v2 tag, then its frames, and then
// its markers and the length in its dictation header are corrected.
//
// Pieces start every splitLength seconds, or every splitLength -
// overlapLength seconds with an overlap, and last splitLength seconds; the
// piece numbered splitCount takes the rest of the recording, and no piece
// starts at or after its end. Names come from a printf-style mask with one
// integer placeholder, numbered from 1, in the destination folder.
//
// Loading the tag is also what rewrites the dictation header image inside
// an MP3 file (CMP3Helper).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "media/WMFAudioFile.h"
#include "platform/fileio.h"

class CMP3Splitter {
public:
    CMP3Splitter(const char* pcszSrcFileName, const char* pcszDestinationFolder, const char* pcszDestinationFileMask,
                 uint32_t splitLength, uint32_t overlapLength, uint32_t splitCount, uint32_t* pdwLastPiece,
                 ProgressCallback pfnCallback, intptr_t lCallback);
    ~CMP3Splitter();
    CMP3Splitter(const CMP3Splitter&) = delete;
    CMP3Splitter& operator=(const CMP3Splitter&) = delete;

    // Runs the split; 0 or a result code. Pieces finished before a failure
    // stay on disk; the piece being written is removed.
    uint32_t SplitFile();

    // Keeps the markers of the file's header that touch [startTime,
    // endTime] (ms), cut to that range and counted from startTime. Failures
    // are only logged.
    static void RecalculateSpokenInstructions(const char* filePath, uint32_t startTime, uint32_t endTime);
    // Stores duration (ms) as the length in header 2 of the file's dictation
    // header. Failures are only logged.
    static void UpdateLength(const char* filePath, uint32_t duration);

    // Reads the whole ID3v2 tag at the start of a file (header included)
    // into tagBuffer. The file is opened for reading, or for reading and
    // writing when bWritable is set, existing files only. True when the whole
    // tag was read; the file then stays open in *file. On every failure the
    // file is closed and false is returned.
    static bool LoadID3v2Header(const char* fileName, std::vector<uint8_t>* tagBuffer, uint32_t* tagSize,
                                vkt::platform::UniqueFile* file, bool bWritable);

    // True when the four bytes can start the first frame of a recording:
    // sync, a version and layer that exist, a bit rate index from 1 to 14
    // and a sampling-rate index below 3.
    static bool IsReferenceFrameHeader(const uint8_t* pbyHeader);
    // True when a frame header agrees with the reference everywhere outside
    // the bits of kFrameHeaderFreeBits (both read as little-endian words).
    static bool MatchesReferenceFrameHeader(const uint8_t* pbyHeader, uint32_t dwReference);
    // The bits of the little-endian header word a later piece's first frame
    // may differ in: the first sync byte; of the second byte the protection
    // bit, the low layer bit, the high version bit and the sync bits; the
    // private bit. Bit rate, sampling rate, padding and the whole fourth
    // byte (channel mode, mode extension, flags) must agree.
    static constexpr uint32_t kFrameHeaderFreeBits = 0x0001F3FFu;

private:
    uint32_t check_parameters() const;
    uint32_t split_pieces(vkt::media::MediaReader& reader, int64_t qwDuration);
    // Writes the samples of the reader's current range into the piece.
    uint32_t write_piece_samples(vkt::media::MediaReader& reader, vkt::platform::File* piece);
    bool report_progress(uint32_t dwPieceNumber) const;

    std::string m_strSrcFileName;
    std::string m_strDestinationFolder;
    std::string m_strDestinationFileMask;
    uint32_t m_dwSplitLength;
    uint32_t m_dwOverlapLength;
    uint32_t m_dwSplitCount;
    uint32_t* m_pdwLastPiece;
    ProgressCallback m_pfnCallback;
    intptr_t m_lCallback;

    std::vector<uint8_t> m_abyID3v2Tag;  // empty when the source has none
    uint32_t m_dwID3v2TagSize = 0;
    uint32_t m_dwReferenceHeader = 0;  // 0 until the first frame is found
    bool m_bHaveReference = false;
    CWMFAudioFile m_audioFile;
};
