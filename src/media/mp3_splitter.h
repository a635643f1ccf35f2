// CMP3Splitter: cuts an MP3 recording into pieces without re-encoding. The
// media reader hands out the stored frames from start to end, once; each
// piece gets a copy of the source's ID3v2 tag, then the frames that start in
// its time range, and then its markers and the length in its dictation
// header are corrected. Where pieces overlap, the frames they share are
// copied from the piece before, so that the source is never read twice and
// no frame is lost between pieces.
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
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "media/media_audio_file.h"
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

    // True when the four bytes can start the first frame of a recording:
    // sync, a version and layer that exist, a bit rate index from 1 to 14
    // and a sampling-rate index below 3.
    static bool IsReferenceFrameHeader(const uint8_t* pbyHeader);
    // True when a frame header agrees with the reference in the bits of
    // kFrameHeaderKeptBits (both read as words in stream byte order).
    static bool MatchesReferenceFrameHeader(const uint8_t* pbyHeader, uint32_t dwReference);
    // The bits of the header word, in stream byte order, that every frame of
    // one recording shares: sync (11 bits), version, layer and sampling
    // rate. Bit rate, padding, protection, private bit, channel mode and the
    // flags may change from frame to frame (variable bit rate, alternating
    // padding, joint stereo) and are not compared.
    static constexpr uint32_t kFrameHeaderKeptBits = 0xFFFE0C00u;

private:
    uint32_t check_parameters() const;
    uint32_t split_pieces(vkt::media::MediaReader& reader, int64_t qwDuration);
    // Writes the reader's samples that start before qwEnd (100-ns units; 0:
    // to the end) into the piece, which holds *pqwWritten bytes, and keeps
    // the first one behind the range for the next piece.
    uint32_t write_piece_samples(vkt::media::MediaReader& reader, vkt::platform::File* piece, int64_t qwEnd,
                                 uint64_t* pqwWritten);
    // Writes a sample's bytes; the first of a piece starts at a frame header.
    uint32_t write_sample(vkt::platform::File* piece, const vkt::media::Sample& sample, uint64_t* pqwWritten);
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
    std::optional<uint32_t> m_dwReferenceHeader;  // set by the first frame found
    // The source is read once from start to end; the sample that ended one
    // piece is the next piece's first.
    vkt::media::Sample m_pendingSample;
    bool m_bSamplePending = false;
    bool m_bReaderDone = false;
    bool m_bPieceStarted = false;  // the current piece holds a frame
    int64_t m_qwStep = 0;          // between piece starts, 100-ns units
    int64_t m_qwDuration = 0;
    // Offsets in the current piece of the first frames at or after the
    // starts of later pieces, in order; the last one is that of the piece
    // numbered m_dwNextStart (counted from 0). A later piece copies the
    // frames it shares with this one from there.
    uint32_t m_dwNextStart = 1;
    std::deque<uint64_t> m_startOffsets;
    CWMFAudioFile m_audioFile;
};
