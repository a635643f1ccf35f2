// CDSSSplitter cuts one DSS or DS2 recording of our own family (licensee 3)
// into pieces of a given length, optionally overlapping, by copying frames:
// nothing is decoded. Every piece gets the source's header blocks, its own
// recording length, and the spoken-instruction markers that fall into its
// time range, moved to the piece's start. With a password the source is
// decrypted and every piece is encrypted again under the same password (with
// a salt of its own).
//
// Piece names come from a mask with at most one integer placeholder in the
// manner of printf ("memo_%03d.ds2"), numbered from 1, in the destination
// folder. Pieces are finished and closed in order; at most two are open at
// once (the current one and the next one, started early for the overlap).
//
// A split that fails or is cancelled removes the pieces it had open; pieces
// that were already finished stay on disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"

// The split parameters as one block of trace lines, under the trace unit of
// the caller (the export, the DSS splitter and the MP3 splitter each write it).
void TraceSplitParameters(const char* unit, const char* pcszSrcFileName, const char* pcszDestinationFolder,
                          const char* pcszDestinationFileMask, uint32_t splitLength, uint32_t overlapLength,
                          uint32_t splitCount, ProgressCallback pfnCallback, intptr_t lCallback);

class CDSSSplitter {
public:
    CDSSSplitter(const char* pcszSrcFileName, const char* pcszDestinationFolder, const char* pcszDestinationFileMask,
                 const char* pcszPassword, uint32_t splitLength, uint32_t overlapLength, uint32_t splitCount,
                 ProgressCallback pfnCallback, intptr_t lCallback);
    ~CDSSSplitter();
    CDSSSplitter(const CDSSSplitter&) = delete;
    CDSSSplitter& operator=(const CDSSSplitter&) = delete;

    // Runs the whole operation; returns 0 or a result code.
    uint32_t split();
    // Pieces started so far (also the number in the last piece's name).
    uint32_t GetPiecesCreated() const { return m_dwPiecesCreated; }

    // The file name the mask gives for number n: false when the mask has
    // more than one placeholder, one that is not an integer conversion, a
    // path separator, or the name would not fit in 260 characters.
    static bool FormatPieceName(const std::string& mask, uint32_t n, std::string& name);
    // True when the mask holds an integer placeholder.
    static bool MaskHasPlaceholder(const std::string& mask);

private:
    struct Piece {
        std::unique_ptr<CDssFile> file;
        std::string name;
        uint32_t start_ms = 0;
        uint64_t frames = 0;
    };

    void run();
    void check_parameters() const;
    // Builds the next piece file (headers written) in slot and returns it
    // open. The piece belongs to slot as soon as it exists on disk.
    CDssFile& create_next_piece(Piece& slot, uint32_t start_ms);
    // Completes header 1 and the markers of header 3 of a piece.
    void finish_piece(Piece& piece, uint32_t start_ms, uint32_t end_ms);
    // Finishes, closes and checks a piece; it then stays on disk.
    void complete_piece(Piece& piece, uint32_t end_ms);
    void write_frame(const uint8_t* pbyFrame);
    // Closes and deletes the pieces still open (after a failure).
    void discard_open_pieces();
    bool report_progress(uint64_t elapsed_ms);

    std::string m_strSrcFileName;
    std::string m_strDestinationFolder;
    std::string m_strDestinationFileMask;
    std::string m_strPassword;
    bool m_bPassword = false;
    uint32_t m_dwSplitLength;
    uint32_t m_dwOverlapLength;
    uint32_t m_dwSplitCount;
    ProgressCallback m_pfnCallback;
    intptr_t m_lCallback;

    CDssFile m_sourceFile;
    uint32_t m_dwPiecesCreated = 0;
    uint32_t m_dwFrameLength = 0;  // ms per frame
    uint32_t m_dwFrameSize = 0;    // bytes per codec block
    uint64_t m_qwTotalLengthMs = 0;

    Piece m_current;
    Piece m_overlap;
};

// The export's work: builds the splitter, runs it and stores the number of
// pieces in *pdwCreatedCount (may be null) when it succeeds.
uint32_t VKTSplitDSSFile(const char* pcszSrcFileName, const char* pcszDestinationFolder,
                         const char* pcszDestinationFileMask, const char* pcszPassword, uint32_t splitLength,
                         uint32_t overlapLength, uint32_t splitCount, uint32_t* pdwCreatedCount,
                         ProgressCallback pfnCallback, intptr_t lCallback);
