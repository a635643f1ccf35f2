#include "media/mp3_splitter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dss/dss_layout.h"
#include "edit/dss_splitter.h"
#include "metadata/header_transport.h"
#include "metadata/spoken_instructions.h"
#include "metadata/header_operations.h"
#include "platform/progress.h"
#include "platform/byte_order.h"
#include "platform/file_identity.h"
#include "platform/id3v2.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("MP3Splitter");

using namespace vkt::platform;
using vkt::media::MediaReader;
using vkt::media::Sample;

namespace {

constexpr int64_t kUnitsPerMs = 10'000;  // 100-ns units
constexpr uint32_t kHeaderImage = vkt::dss::image::kTwoHeaders;
constexpr uint32_t kLengthMsAt = vkt::dss::image::kHeader2 + vkt::dss::h2::kLengthMs;
constexpr uint32_t kCopyPiece = 65536;

// A frame header as the word it is in the stream: first byte highest.
uint32_t header_word(const uint8_t* h) {
    return (static_cast<uint32_t>(h[0]) << 24) | (static_cast<uint32_t>(h[1]) << 16) |
           (static_cast<uint32_t>(h[2]) << 8) | h[3];
}

// Appends bytes [from, to) of a finished piece to the piece being written.
uint32_t copy_piece_bytes(const std::string& name, uint64_t from, uint64_t to, File* piece, uint64_t* written) {
    uint32_t err = 0;
    UniqueFile source(file_open(name.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &err));
    if (!source || (err = file_seek(source.get(), static_cast<int64_t>(from), FILE_BEGIN, nullptr)) != 0) {
        VKT_TRACE_ERROR(err, "cannot read the frames shared with the piece before");
        return VKT_ERR_READ_FILE;
    }
    std::vector<uint8_t> buffer(kCopyPiece);
    while (from < to) {
        const auto want = static_cast<uint32_t>(std::min<uint64_t>(kCopyPiece, to - from));
        uint32_t got = 0;
        if ((err = file_read(source.get(), buffer.data(), want, &got)) != 0 || got != want) {
            VKT_TRACE_ERROR(err, "cannot read the frames shared with the piece before");
            return VKT_ERR_READ_FILE;
        }
        uint32_t done = 0;
        if ((err = file_write(piece, buffer.data(), got, &done)) != 0 || done != got) {
            VKT_TRACE_ERROR(err, "cannot write to output file");
            return VKT_ERR_WRITE_FILE;
        }
        from += got;
        *written += got;
    }
    return VKT_OK;
}

}  // namespace

CMP3Splitter::CMP3Splitter(const char* pcszSrcFileName, const char* pcszDestinationFolder,
                           const char* pcszDestinationFileMask, uint32_t splitLength, uint32_t overlapLength,
                           uint32_t splitCount, uint32_t* pdwLastPiece, ProgressCallback pfnCallback,
                           intptr_t lCallback)
    : m_strSrcFileName(pcszSrcFileName ? pcszSrcFileName : ""),
      m_strDestinationFolder(pcszDestinationFolder ? pcszDestinationFolder : ""),
      m_strDestinationFileMask(pcszDestinationFileMask ? pcszDestinationFileMask : ""),
      m_dwSplitLength(splitLength),
      m_dwOverlapLength(overlapLength),
      m_dwSplitCount(splitCount),
      m_pdwLastPiece(pdwLastPiece),
      m_pfnCallback(pfnCallback),
      m_lCallback(lCallback) {
    VKT_TRACE_TEXT("CMP3Splitter::CMP3Splitter");
    TraceSplitParameters(VKT_TRACE_UNIT_NAME, pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask,
                         splitLength, overlapLength, splitCount, pfnCallback, lCallback);
}

CMP3Splitter::~CMP3Splitter() = default;

bool CMP3Splitter::IsReferenceFrameHeader(const uint8_t* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    if (((h[1] >> 3) & 3) == 1) return false;  // reserved version
    if (((h[1] >> 1) & 3) == 0) return false;  // reserved layer
    const int bitrate_index = h[2] >> 4;
    const int rate_index = (h[2] >> 2) & 3;
    return bitrate_index >= 1 && bitrate_index <= 14 && rate_index < 3;
}

bool CMP3Splitter::MatchesReferenceFrameHeader(const uint8_t* h, uint32_t dwReference) {
    return ((header_word(h) ^ dwReference) & kFrameHeaderKeptBits) == 0;
}

uint32_t CMP3Splitter::check_parameters() const {
    // Length 0 would never leave the first second; an overlap as long as a
    // piece would start every piece at the same place.
    if (m_dwSplitLength == 0 || m_dwOverlapLength >= m_dwSplitLength) {
        VKT_TRACE_ERROR(VKT_ERR, "invalid splitLength or overlapLength");
        return VKT_ERR;
    }
    std::string first;
    if (!CDSSSplitter::FormatPieceName(m_strDestinationFileMask, 1, first)) {
        VKT_TRACE_ERROR(VKT_ERR, "invalid pcszDestinationFileMask");
        return VKT_ERR;
    }
    return VKT_OK;
}

uint32_t CMP3Splitter::SplitFile() {
    VKT_TRACE_TEXT("CMP3Splitter::CMSplitFileP3Splitter");
    if (m_dwSplitCount != 0) {
        if (uint32_t rc = check_parameters()) return rc;
    }
    {
        // A source without a tag is split into pieces without one.
        UniqueFile file;
        if (vkt::platform::LoadID3v2Header(m_strSrcFileName.c_str(), &m_abyID3v2Tag, &m_dwID3v2TagSize, &file, false)) {
            VKT_TRACE_VALUE("m_dwID3v2TagSize", "%lu", m_dwID3v2TagSize);
        } else {
            m_abyID3v2Tag.clear();
            m_dwID3v2TagSize = 0;
        }
    }
    if (uint32_t rc = m_audioFile.open(m_strSrcFileName.c_str())) return rc;
    MediaReader& reader = *m_audioFile.reader();
    if (const uint32_t hr = reader.SetReadStreamSamples(true); hr != vkt::media::S_OK)
        return VKT_MEDIA_FAILURE(hr, "pReader->SetReadStreamSamples failed", VKT_ERR_MEDIA_READER);
    int64_t duration = 0;
    if (uint32_t rc = m_audioFile.get_duration(&duration)) return rc;
    if (m_dwSplitCount == 0) return VKT_OK;

    const uint32_t rc = split_pieces(reader, duration);
    if (rc == VKT_OK) vkt::Progress{m_pfnCallback, m_lCallback}.report_percent(100);
    return rc;
}

bool CMP3Splitter::report_progress(uint32_t dwPieceNumber) const {
    if (!m_pfnCallback) return false;
    const vkt::Progress progress{m_pfnCallback, m_lCallback, 0, 100, vkt::Rounding::ScaleFirst};
    return VKT_PROGRESS_PERCENT(progress, progress.percent_of(dwPieceNumber, m_dwSplitCount));
}

uint32_t CMP3Splitter::split_pieces(MediaReader& reader, int64_t qwDuration) {
    const int64_t step = static_cast<int64_t>(m_dwSplitLength - m_dwOverlapLength) * vkt::media::kUnitsPerSecond;
    const int64_t length = static_cast<int64_t>(m_dwSplitLength) * vkt::media::kUnitsPerSecond;
    // The source is read once, from where the freshly opened reader stands,
    // its first frame. A seek lands where the file's table of contents or
    // its bit rate says, which in a variable-bit-rate file can be frames
    // away from the time asked for (and a seek to the start of a file with
    // an information frame lands behind the first audio frame).
    m_qwStep = step;
    m_qwDuration = qwDuration;
    m_dwNextStart = 1;
    m_startOffsets.clear();

    std::string previous;  // the piece before, which holds the frames this one shares with it
    uint64_t previous_end = 0;
    for (uint32_t i = 0; i < m_dwSplitCount; ++i) {
        const int64_t start = static_cast<int64_t>(i) * step;
        if (start >= qwDuration) break;
        const int64_t rest = qwDuration - start;
        const bool last = i == m_dwSplitCount - 1;
        const int64_t piece_length = last ? rest : std::min(length, rest);
        // A piece that reaches the end reads to the end: the stated duration
        // may fall short of the last frames.
        const int64_t end = piece_length == rest ? 0 : start + piece_length;

        const uint32_t number = i + 1;
        std::string name;
        CDSSSplitter::FormatPieceName(m_strDestinationFileMask, number, name);
        const std::string path = combine_path(m_strDestinationFolder, name);
        // Creating the piece would cut the recording still being read.
        if (same_file(path, m_strSrcFileName)) {
            VKT_TRACE_ERROR(VKT_ERR, "piece name is the source file");
            return VKT_ERR;
        }
        uint32_t err = 0;
        UniqueFile piece(file_open(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, 0, &err));
        if (!piece) {
            VKT_TRACE_ERROR(err, "cannot create output file");
            return VKT_ERR_OPEN_FILE;
        }
        if (m_pdwLastPiece) *m_pdwLastPiece = number;

        uint32_t rc = VKT_OK;
        uint64_t written = 0;
        m_bPieceStarted = false;
        if (!m_abyID3v2Tag.empty()) {
            uint32_t done = 0;
            if ((err = file_write(piece.get(), m_abyID3v2Tag.data(), m_dwID3v2TagSize, &done)) != 0 ||
                done != m_dwID3v2TagSize) {
                VKT_TRACE_ERROR(err, "cannot write to output file");
                rc = VKT_ERR_WRITE_FILE;
            }
            written = m_dwID3v2TagSize;
        }
        // The frames from this piece's start to the end of the piece before
        // are in that piece already.
        if (rc == VKT_OK && i > 0) {
            uint64_t from = previous_end;
            if (!m_startOffsets.empty()) {
                from = m_startOffsets.front();
                m_startOffsets.pop_front();
            } else {
                m_dwNextStart = std::max(m_dwNextStart, number);
            }
            for (uint64_t& offset : m_startOffsets) offset = offset - from + written;
            if (from < previous_end) {
                rc = copy_piece_bytes(previous, from, previous_end, piece.get(), &written);
                m_bPieceStarted = true;
            }
        }
        if (rc == VKT_OK) rc = write_piece_samples(reader, piece.get(), end, &written);
        // A stated duration longer than the recording can leave a range
        // without frames: no piece is made for it.
        if (rc == VKT_OK && !m_bPieceStarted) {
            piece.reset();
            delete_file(path.c_str());
            if (m_pdwLastPiece) *m_pdwLastPiece = i;
            break;
        }
        if (rc == VKT_OK && report_progress(number)) rc = VKT_CANCELLED;
        if (rc == VKT_OK && (err = file_close(piece.release())) != 0) {
            VKT_TRACE_ERROR(err, "cannot write to output file");
            rc = VKT_ERR_WRITE_FILE;
        }
        if (rc != VKT_OK) {
            // The unfinished piece goes; the finished ones before it stay.
            piece.reset();
            delete_file(path.c_str());
            if (m_pdwLastPiece) *m_pdwLastPiece = i;
            return rc;
        }
        RecalculateSpokenInstructions(path.c_str(), static_cast<uint32_t>(start / kUnitsPerMs),
                                      static_cast<uint32_t>((start + piece_length) / kUnitsPerMs));
        UpdateLength(path.c_str(), static_cast<uint32_t>(piece_length / kUnitsPerMs));
        previous = path;
        previous_end = written;
    }
    return VKT_OK;
}

uint32_t CMP3Splitter::write_piece_samples(MediaReader& reader, File* piece, int64_t qwEnd, uint64_t* pqwWritten) {
    for (;;) {
        if (!m_bSamplePending) {
            if (m_bReaderDone) return VKT_OK;
            const uint32_t hr = reader.GetNextSample(&m_pendingSample);
            if (hr == vkt::media::NS_E_NO_MORE_SAMPLES) {
                m_bReaderDone = true;
                return VKT_OK;
            }
            if (hr != vkt::media::S_OK)
                return VKT_MEDIA_FAILURE(hr, "pReader->GetNextSample failed", VKT_ERR_MEDIA_READER);
            m_bSamplePending = true;
        }
        const int64_t t = m_pendingSample.time;
        if (qwEnd != 0 && t >= qwEnd) return VKT_OK;  // the first sample of the next piece
        m_bSamplePending = false;
        // Later pieces that start at or before this sample copy from here.
        while (m_dwNextStart < m_dwSplitCount) {
            const int64_t next = static_cast<int64_t>(m_dwNextStart) * m_qwStep;
            if (next > t || next >= m_qwDuration) break;
            m_startOffsets.push_back(*pqwWritten);
            ++m_dwNextStart;
        }
        if (uint32_t rc = write_sample(piece, m_pendingSample, pqwWritten)) return rc;
    }
}

uint32_t CMP3Splitter::write_sample(File* piece, const Sample& sample, uint64_t* pqwWritten) {
    const uint8_t* data = sample.data.data();
    uint32_t size = static_cast<uint32_t>(sample.data.size());
    if (!m_bPieceStarted) {
        // The piece starts at a frame header: the first of the recording
        // becomes the reference, later pieces start at one that agrees with
        // it. Samples without one are dropped.
        if (size <= 4) return VKT_OK;
        uint32_t at = 0;
        for (; at + 4 <= size; ++at) {
            if (data[at] != 0xFF || (data[at + 1] & 0xE0) != 0xE0) continue;
            if (!m_dwReferenceHeader) {
                if (!IsReferenceFrameHeader(data + at)) continue;
                m_dwReferenceHeader = header_word(data + at);
                VKT_TRACE_VALUE("m_dwReferenceHeader", "%8x", *m_dwReferenceHeader);
                break;
            }
            if (MatchesReferenceFrameHeader(data + at, *m_dwReferenceHeader)) break;
        }
        if (at + 4 > size) return VKT_OK;
        m_bPieceStarted = true;
        data += at;
        size -= at;
    }
    uint32_t done = 0;
    if (uint32_t err = file_write(piece, data, size, &done); err != 0 || done != size) {
        VKT_TRACE_ERROR(err, "cannot write to output file");
        return VKT_ERR_WRITE_FILE;
    }
    *pqwWritten += size;
    return VKT_OK;
}

void CMP3Splitter::RecalculateSpokenInstructions(const char* filePath, uint32_t startTime, uint32_t endTime) {
    VKT_TRACE_TEXT("CMP3Splitter::RecalculateSpokenInstructions");
    VKT_TRACE_PARAM("filePath", "%s", filePath);
    VKT_TRACE_PARAM("startTime", "%lu", startTime);
    VKT_TRACE_PARAM("endTime", "%lu", endTime);
    uint8_t markers[kMarkerArraySize];
    if (vkt::metadata::read_markers(filePath, markers) != VKT_OK) {
        VKT_TRACE_WARNING("ORVKTReadSpokenInstructionMarkers failed in RecalculateSpokenInstructions");
        return;
    }
    uint8_t kept[kMarkerArraySize];
    std::memset(kept, 0xFF, sizeof kept);
    uint32_t count = 0;
    for (uint32_t i = 0; i < kMarkerCount; ++i) {
        const SpokenInstructionMarker m = MarkerAt(markers, i);
        if (m.start == kNoMarker) break;
        if (m.end < startTime || m.start > endTime) continue;
        SetMarker(kept, count++, {std::max(m.start, startTime) - startTime, std::min(m.end, endTime) - startTime});
    }
    if (vkt::metadata::write_markers(filePath, kept) != VKT_OK)
        VKT_TRACE_WARNING("ORVKTWriteSpokenInstructionMarkers failed in RecalculateSpokenInstructions");
}

void CMP3Splitter::UpdateLength(const char* filePath, uint32_t duration) {
    VKT_TRACE_TEXT("CMP3Splitter::UpdateLength");
    VKT_TRACE_PARAM("filePath", "%s", filePath);
    VKT_TRACE_PARAM("duration", "%lu", duration);
    uint8_t image[kHeaderImage];
    uint32_t size = kHeaderImage;
    if (ReadZRM2HeaderDataToMemory(filePath, image, &size) != VKT_OK) {
        VKT_TRACE_WARNING("ReadZRM2HeaderDataToMemory failed in UpdateLength");
        return;
    }
    if (size < kHeaderImage) {
        VKT_TRACE_WARNING("BufferSize < DSS_HEADERBLOCK_SIZE * 2 in UpdateLength");
        return;
    }
    vkt::put_le32(image + kLengthMsAt, duration);
    if (WriteZRM2HeaderDataToFile(filePath, image, size, false) != VKT_OK)
        VKT_TRACE_WARNING("WriteZRM2HeaderDataToFile failed in UpdateLength");
}
